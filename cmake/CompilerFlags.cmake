# Flags shared by every target: warnings, exact float arithmetic, sanitizers.
add_library(vellmar_flags INTERFACE)

target_compile_options(vellmar_flags INTERFACE
  -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion -Wnon-virtual-dtor
  # Float results must be the same bytes on every platform: no fused
  # multiply-add, no reassociation.
  -ffp-contract=off -fno-fast-math)

if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$" AND NOT EMSCRIPTEN)
  # x87 keeps extended precision in registers; SSE2 rounds every float op.
  target_compile_options(vellmar_flags INTERFACE -msse2 -mfpmath=sse)
endif()

if(MINGW)
  # The plug-in DLL must load into the host with nothing beside it: the
  # compiler's runtime (libgcc, libstdc++, winpthread) is linked in, so only
  # Windows system DLLs are imported.
  target_link_options(vellmar_flags INTERFACE -static -static-libgcc -static-libstdc++)
endif()

if(EMSCRIPTEN)
  # The code catches std::bad_alloc and a thread that cannot be started;
  # emscripten compiles catching out unless asked.
  target_compile_options(vellmar_flags INTERFACE -fexceptions)
  target_link_options(vellmar_flags INTERFACE -fexceptions)
endif()

if(VELLMAR_WERROR)
  target_compile_options(vellmar_flags INTERFACE -Werror)
endif()

if(VELLMAR_SANITIZE)
  target_compile_options(vellmar_flags INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(vellmar_flags INTERFACE -fsanitize=address,undefined)
endif()

if(VELLMAR_FUZZ)
  # Coverage for libFuzzer in every target; the fuzz programs add its main.
  target_compile_options(vellmar_flags INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(vellmar_flags INTERFACE -fsanitize=address,undefined)
endif()
