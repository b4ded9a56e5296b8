# Cross-building the suite for 32-bit Windows with Debian's MinGW-w64 (POSIX threads), for printer
# makers' SDK DLLs that come in 32 bits only. Programs run under 32-bit Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Self-contained executables and libraries: no MinGW runtime DLLs to carry around.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# DLLs export __stdcall functions under their plain names, as FTDI's and the printer maker's do.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -Wl,--kill-at")
