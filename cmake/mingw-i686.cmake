# 32-bit Windows (package g++-mingw-w64-i686-posix): the host loads the
# plug-in as a 32-bit DLL.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VELLMAR_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-cross.cmake)
