# 32-bit Windows, for printer makers' SDK DLLs that come in 32 bits only.
set(MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
# DLLs export __stdcall functions under their plain names, as FTDI's and the printer maker's do.
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,--kill-at")
