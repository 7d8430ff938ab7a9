# Fuzz build: the libFuzzer targets of tests/fuzz, with the address and
# undefined-behaviour sanitizers, in a build tree of their own (tools/fuzz
# makes build-fuzz). Needs clang and its libFuzzer runtime; the normal
# build never includes any of this.
option(TERVOX_FUZZ "Build the libFuzzer targets of tests/fuzz (clang)" OFF)
if(TERVOX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TERVOX_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer")
  check_cxx_source_compiles("
    #include <cstddef>
    #include <cstdint>
    extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }"
    TERVOX_HAVE_LIBFUZZER)
  unset(CMAKE_REQUIRED_FLAGS)
  if(NOT TERVOX_HAVE_LIBFUZZER)
    message(FATAL_ERROR "TERVOX_FUZZ: clang cannot link with -fsanitize=fuzzer (libclang-rt-14-dev)")
  endif()
  # Everything is instrumented for coverage; only the targets get
  # libFuzzer's main (tests/fuzz/CMakeLists.txt).
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  set(TERVOX_TESTS OFF CACHE BOOL "" FORCE)
endif()
if(TERVOX_FUZZ)
  # The renderer's and sound chips' per-pixel and per-sample loops compare
  # nothing that comes from the input: tracing their comparisons for the
  # fuzzer would only slow every frame down.
  set_source_files_properties(src/video/render.cpp src/sound/psg.cpp src/sound/psg2.cpp
    PROPERTIES COMPILE_OPTIONS "-fno-sanitize-coverage=trace-cmp")
endif()
