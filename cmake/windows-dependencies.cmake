# Dependencies of the Windows cross build, all from Debian packages:
# - xxHash header-only: its one header copied into the build tree, since
#   /usr/include on a mingw include path would pull in glibc's headers;
# - zlib from libz-mingw-w64-dev, the static archive rather than the DLL's
#   import library;
# - PNG decoding through the Windows Imaging Component (system DLLs);
# - GoogleTest compiled from Debian's sources with the cross compiler.
set(MIVO_XXHASH_HEADER /usr/include/xxhash.h CACHE FILEPATH "xxhash.h to build header-only")
if(NOT EXISTS ${MIVO_XXHASH_HEADER})
  message(FATAL_ERROR "${MIVO_XXHASH_HEADER} not found (Debian package libxxhash-dev)")
endif()
set(MIVO_XXHASH_DIR ${PROJECT_BINARY_DIR}/xxhash)
configure_file(${MIVO_XXHASH_HEADER} ${MIVO_XXHASH_DIR}/xxhash.h COPYONLY)
add_library(mivo_xxhash INTERFACE)
target_include_directories(mivo_xxhash SYSTEM INTERFACE ${MIVO_XXHASH_DIR})
target_compile_definitions(mivo_xxhash INTERFACE XXH_INLINE_ALL)

find_library(MIVO_ZLIB_STATIC NAMES libz.a REQUIRED)
find_path(MIVO_ZLIB_INCLUDE zlib.h REQUIRED)
add_library(mivo_zlib INTERFACE)
target_link_libraries(mivo_zlib INTERFACE ${MIVO_ZLIB_STATIC})
target_include_directories(mivo_zlib SYSTEM INTERFACE ${MIVO_ZLIB_INCLUDE})

add_library(mivo_png_backend INTERFACE)
target_link_libraries(mivo_png_backend INTERFACE windowscodecs ole32 uuid)

# The C99 printf family of mingw-w64 instead of msvcrt's: %zu and %lld, and
# floating-point text identical to the Linux build's.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)

# Every program in one folder, as it ships: bin/.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)

# No DLL beyond the system's: the C++ runtime and winpthreads go in too.
add_link_options(-static)

if(MIVO_BUILD_TESTS)
  set(MIVO_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian package googletest)")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  # Its CMake project defines GTest::gtest and GTest::gtest_main itself.
  add_subdirectory(${MIVO_GOOGLETEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
