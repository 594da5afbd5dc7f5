# 32-bit Windows build with Debian's mingw-w64 cross compilers (see
# mingw-w64-x86_64.cmake for the choice of the -posix compilers).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TARVEX_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
