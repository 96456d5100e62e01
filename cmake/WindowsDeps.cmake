# What a Windows build takes from sources instead of installed packages: Debian ships the
# mingw-w64 compiler and zlib for it, but GoogleTest, CLI11 and libdeflate only for Linux. The
# same targets as the Linux build's packages are defined here (GTest::gtest_main, CLI11::CLI11,
# quorvel::libdeflate), so the rest of the tree doesn't tell the two apart.

# CLI11 is header-only: a folder holding just its headers, so none of the host's other headers
# ever reach the cross-compiler.
set(QUORVEL_CLI11_HEADERS /usr/include/CLI CACHE PATH "CLI11's header folder (libcli11-dev)")
if(EXISTS ${QUORVEL_CLI11_HEADERS}/CLI.hpp AND NOT TARGET CLI11::CLI11)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/cli11-include)
  file(CREATE_LINK ${QUORVEL_CLI11_HEADERS} ${CMAKE_BINARY_DIR}/cli11-include/CLI SYMBOLIC)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/cli11-include)
endif()

# GoogleTest from Debian's source package (googletest), built with our toolchain.
set(QUORVEL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source (googletest)")
if(BUILD_TESTING AND NOT TARGET GTest::gtest_main)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QUORVEL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
# Test programs list their cases when ctest runs (under the emulator), not while building, so a
# build needs no Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# libdeflate from Debian's source package, unpacked by scripts/libdeflate-source.sh. Without
# it quorvel-cli is built without the libdeflate engine.
set(QUORVEL_LIBDEFLATE_SOURCE "" CACHE PATH "Unpacked libdeflate source package")
if(QUORVEL_LIBDEFLATE_SOURCE AND EXISTS ${QUORVEL_LIBDEFLATE_SOURCE}/libdeflate.h)
  enable_language(C)
  file(GLOB libdeflate_sources ${QUORVEL_LIBDEFLATE_SOURCE}/lib/*.c
       ${QUORVEL_LIBDEFLATE_SOURCE}/lib/x86/*.c)
  add_library(quorvel_libdeflate STATIC ${libdeflate_sources})
  target_include_directories(quorvel_libdeflate SYSTEM PUBLIC ${QUORVEL_LIBDEFLATE_SOURCE})
  target_compile_definitions(quorvel_libdeflate PRIVATE LIBDEFLATE_STATIC)
  target_compile_options(quorvel_libdeflate PRIVATE -O2 -w)
  add_library(quorvel::libdeflate ALIAS quorvel_libdeflate)
endif()
