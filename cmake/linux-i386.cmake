# 32-bit x86 Linux with the build machine's compiler (package g++-multilib):
# the scene library, the writers, the stand-in host, the plug-in and the tool
# with the float code of the 32-bit Windows DLL, so that 32-bit arithmetic is
# checked on any machine. Where the kernel cannot run 32-bit programs, set
# CMAKE_CROSSCOMPILING_EMULATOR to qemu's user-mode emulator (qemu-i386-static).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
# Libraries are looked for in the i386 folders, never in the 64-bit ones.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# 64-bit time_t and file offsets, as in the 32-bit Windows build: time
# stamps past 2038 and files past 2 GiB work as on 64-bit systems.
set(CMAKE_C_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
set(CMAKE_CXX_FLAGS_INIT "-m32 -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
