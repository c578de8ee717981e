# Compile options shared by every target of the project, carried by an interface
# target rather than global flags.
add_library(ml_options INTERFACE)
target_compile_features(ml_options INTERFACE cxx_std_17)
target_compile_options(ml_options INTERFACE
  $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wno-unused-parameter>)
if(ML_SANITIZE STREQUAL "thread")
  target_compile_options(ml_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(ml_options INTERFACE -fsanitize=thread)
elseif(ML_SANITIZE)
  target_compile_options(ml_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                              -fno-sanitize-recover=undefined)
  target_link_options(ml_options INTERFACE -fsanitize=address,undefined)
endif()
