# Helpers shared by the camera, appearance and selection tests.
include_guard(GLOBAL)
add_library(ml_view_scene_helpers STATIC
  ${CMAKE_CURRENT_LIST_DIR}/SceneHelpers.cpp ${CMAKE_CURRENT_LIST_DIR}/SceneHelpers.h)
target_include_directories(ml_view_scene_helpers PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(ml_view_scene_helpers PUBLIC ml_view_harness)
