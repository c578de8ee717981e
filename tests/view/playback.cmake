include(${CMAKE_CURRENT_LIST_DIR}/TestScenes.cmake)
ml_add_test(NAME test_view_playback LABEL view GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_view_playback.cpp
  LIBS ml_test_scenes)
