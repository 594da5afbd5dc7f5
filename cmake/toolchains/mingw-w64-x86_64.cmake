# 64-bit Windows build with Debian's mingw-w64 cross compilers.
#
# The -posix compilers are used because the default (win32 thread model)
# ones have no std::mutex, which GoogleTest needs. libgcc, libstdc++ and
# winpthread are linked statically so that nothing but Windows' own DLLs and
# the host's libraries is needed next to the plug-in.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TARVEX_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
