ml_add_test(NAME test_manager_state LABEL manager
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_manager_state.cpp
  LIBS ml_core)
ml_add_test(NAME test_manager_threads LABEL manager GUI
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_manager_threads.cpp
  LIBS ml_view_harness)
