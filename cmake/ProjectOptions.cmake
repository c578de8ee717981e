# Compile options shared by every target of the project, carried by an interface
# target rather than global flags.
add_library(ml_options INTERFACE)
target_compile_features(ml_options INTERFACE cxx_std_17)
target_compile_options(ml_options INTERFACE
  $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wno-unused-parameter>)
if(ML_SANITIZE STREQUAL "thread")
  target_compile_options(ml_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(ml_options INTERFACE -fsanitize=thread)
elseif(ML_SANITIZE OR ML_BUILD_FUZZER)
  target_compile_options(ml_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                              -fno-sanitize-recover=undefined)
  target_link_options(ml_options INTERFACE -fsanitize=address,undefined)
endif()
if(ML_BUILD_FUZZER)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "The fuzz targets need clang's libFuzzer: configure with CXX=clang++")
  endif()
  # Coverage feedback from all of the project's code; only the targets link libFuzzer.
  target_compile_options(ml_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
