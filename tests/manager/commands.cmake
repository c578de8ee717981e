include(${CMAKE_CURRENT_LIST_DIR}/../view/SceneHelpers.cmake)
ml_add_test(NAME test_manager_commands LABEL manager GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_manager_commands.cpp
  LIBS ml_view_scene_helpers)
