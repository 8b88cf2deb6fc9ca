# The sanitizer build (scripts/test --sanitize): AddressSanitizer and UndefinedBehaviorSanitizer
# over the tool, the fakes, the simulator and every test. Built with clang, the compiler the
# fuzz targets need anyway: clang links the sanitizer runtime statically into each
# executable, so the runtime's interceptors come with the program itself and umockdev's
# preload library can stay first (and alone) in LD_PRELOAD, as the emulation expects.
# Every finding stops the program (-fno-sanitize-recover), so a finding fails its test.
option(QUORVANE_SANITIZE "Build everything with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(QUORVANE_SANITIZE)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUORVANE_SANITIZE needs clang (CXX=clang++-14): see cmake/sanitize.cmake")
  endif()
  set(sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${sanitize_flags})
  add_link_options(${sanitize_flags})
endif()
