# The fuzz build (QUORVEL_BUILD_FUZZ): every library the fuzz targets link is compiled with
# libFuzzer's coverage instrumentation and checked by AddressSanitizer and
# UndefinedBehaviorSanitizer, so a fault deep in the core is found and reported where it happens.
# Only the fuzz targets themselves link libFuzzer's main (tests/fuzz/CMakeLists.txt).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "QUORVEL_BUILD_FUZZ needs clang with libFuzzer "
                      "(the fuzz preset: cmake --preset fuzz)")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)
