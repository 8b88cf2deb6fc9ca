# The fuzz targets in fuzz/, built with clang as a project of their own (the tool builds
# with g++, libFuzzer needs clang) and run as tests: each one fuzzes for
# QUORVANE_FUZZ_SECONDS from its seed corpus in fuzz/corpus/<name>/, and fails on the
# first crash, sanitizer finding or broken property. What the runs learn stays in the
# build tree (fuzz-corpus/), and so does an input that failed (fuzz-artifacts/).
# Not in the sanitizer build: the targets carry the sanitizers already.
find_program(QUORVANE_FUZZ_CXX NAMES clang++-14 clang++)
option(QUORVANE_FUZZ "Build the fuzz targets with clang and run them as tests" ON)
set(QUORVANE_FUZZ_SECONDS 20 CACHE STRING "How long each fuzz target runs in the suite")

if(QUORVANE_FUZZ AND BUILD_TESTING AND NOT QUORVANE_SANITIZE)
  if(NOT QUORVANE_FUZZ_CXX)
    message(FATAL_ERROR "The fuzz targets need clang++ (scripts/install-deps installs it), or -DQUORVANE_FUZZ=OFF")
  endif()
  include(ExternalProject)
  set(fuzz_build ${CMAKE_BINARY_DIR}/fuzz)
  ExternalProject_Add(quorvane_fuzz
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/fuzz
    BINARY_DIR ${fuzz_build}
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${QUORVANE_FUZZ_CXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
               -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
               -DQt5_DIR=${Qt5_DIR}
               -DQUORVANE_GENERATED_DIR=${PROJECT_BINARY_DIR}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")

  # A finding's stack with functions, files and lines: Debian puts the symbolizer on the PATH
  # under a versioned name only, which the sanitizer runtime does not look for.
  find_program(QUORVANE_SYMBOLIZER llvm-symbolizer PATHS /usr/lib/llvm-14/bin NO_DEFAULT_PATH)
  include(${PROJECT_SOURCE_DIR}/fuzz/targets.cmake)
  foreach(target IN LISTS quorvane_fuzz_targets)
    set(learned ${CMAKE_BINARY_DIR}/fuzz-corpus/${target})
    set(artifacts ${CMAKE_BINARY_DIR}/fuzz-artifacts)
    file(MAKE_DIRECTORY ${learned} ${artifacts})
    # The first folder takes what the run learns; the seeds are only read. At a lower
    # priority, so that a fuzzer beside a device test does not delay the test's replies.
    add_test(NAME fuzz_${target}
      COMMAND nice -n 10 ${fuzz_build}/fuzz_${target} -max_total_time=${QUORVANE_FUZZ_SECONDS} -timeout=10
              -print_final_stats=1 -artifact_prefix=${artifacts}/${target}-
              ${learned} ${PROJECT_SOURCE_DIR}/fuzz/corpus/${target})
    set_tests_properties(fuzz_${target} PROPERTIES LABELS fuzz TIMEOUT 300)
    if(QUORVANE_SYMBOLIZER)
      set_tests_properties(fuzz_${target} PROPERTIES ENVIRONMENT ASAN_SYMBOLIZER_PATH=${QUORVANE_SYMBOLIZER})
    endif()
  endforeach()
endif()
