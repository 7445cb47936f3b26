# Cross build for Windows x86-64 with Debian's mingw-w64 toolchain (posix
# thread model, so std::thread and std::mutex behave as on Linux). Programs
# built here run on Linux through Wine: ctest and test discovery use it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MIVO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MIVO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MIVO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MIVO_MINGW_TRIPLE}-windres)

# Only the mingw tree: /usr/include would bring glibc's headers in.
set(CMAKE_FIND_ROOT_PATH /usr/${MIVO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(MIVO_WINE wine)
if(MIVO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MIVO_WINE})
endif()
