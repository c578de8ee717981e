# Hand-written glTF scenes and the signal trace, shared by the loading, playback,
# file, tree and animation tests.
include_guard(GLOBAL)
add_library(ml_test_scenes STATIC
  ${CMAKE_CURRENT_LIST_DIR}/TestScenes.cpp ${CMAKE_CURRENT_LIST_DIR}/TestScenes.h
  ${CMAKE_CURRENT_LIST_DIR}/SignalTrace.h)
target_include_directories(ml_test_scenes PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(ml_test_scenes PUBLIC ml_view_harness)
