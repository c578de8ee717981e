include(${CMAKE_CURRENT_LIST_DIR}/../view/TestScenes.cmake)
ml_add_test(NAME test_manager_tree LABEL manager GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_manager_tree.cpp
  LIBS ml_test_scenes)
