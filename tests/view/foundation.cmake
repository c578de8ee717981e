ml_add_test(NAME test_view_foundation LABEL view GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_view_foundation.cpp
  LIBS ml_view_harness)
