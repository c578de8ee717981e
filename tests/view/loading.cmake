include(${CMAKE_CURRENT_LIST_DIR}/TestScenes.cmake)
# The export checks run the Khronos glTF Validator through scripts/gltf-validate,
# which installs it with npm under the build tree the first time.
ml_add_test(NAME test_view_loading LABEL view GUI TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_view_loading.cpp
  LIBS ml_test_scenes)
