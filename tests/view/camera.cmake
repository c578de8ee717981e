include(${CMAKE_CURRENT_LIST_DIR}/SceneHelpers.cmake)
ml_add_test(NAME test_view_camera LABEL view GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_view_camera.cpp
  LIBS ml_view_scene_helpers)
