# Cross build for Windows with Debian's MinGW-w64 compilers (posix threads):
# the plug-in DLL that the host loads, the stand-in host and the vellmar tool
# as Windows programs. Included by the toolchain file of each target, which
# sets CMAKE_SYSTEM_PROCESSOR and VELLMAR_MINGW_PREFIX first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VELLMAR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELLMAR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VELLMAR_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${VELLMAR_MINGW_PREFIX}-objdump)

# Libraries and headers of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VELLMAR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
