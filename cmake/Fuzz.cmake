# libFuzzer targets (tests/fuzz). They need clang and a build directory of their own, because
# every library they link is instrumented too:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCORVANE_FUZZ=ON
# scripts/fuzz does this and runs them. Without CORVANE_FUZZ the same targets are built as plain
# executables that replay their corpus (the regression cases) under CTest.
include_guard(GLOBAL)

option(CORVANE_FUZZ "Build the libFuzzer targets (clang; everything built with ASan and UBSan)" OFF)

if(CORVANE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "CORVANE_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  if(CORVANE_SANITIZE)
    message(FATAL_ERROR "CORVANE_FUZZ already builds with the sanitizers; leave CORVANE_SANITIZE off")
  endif()
  # Coverage for the fuzzer in every library; undefined behaviour aborts, so the fuzzer keeps it
  # as a finding instead of printing a warning and going on. clang 14 cannot emit the "function"
  # check for coroutines ("Cannot represent a difference across sections"): it is left out.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=function
                      -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()
