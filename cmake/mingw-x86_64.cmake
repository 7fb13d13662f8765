# 64-bit Windows (package g++-mingw-w64-x86-64-posix): the same code built
# for the 64-bit Windows that 64-bit Wine runs, where 32-bit Wine cannot run.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELLMAR_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-cross.cmake)
