# Cross build for 64-bit Windows with Debian's mingw-w64 (the POSIX-threads
# variant, package g++-mingw-w64-x86-64-posix):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
# Test programs run under wine when it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVANTI_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVANTI_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVANTI_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVANTI_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVANTI_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(KORVANTI_WINE NAMES wine64 wine)
if(KORVANTI_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVANTI_WINE})
endif()
