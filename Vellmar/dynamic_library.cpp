// The platform's dynamic loader behind one small interface. A build for the
// browser has no loader: its modules are linked into the program, which
// defines these functions over them (tools/linked_modules.cpp).
#include "Vellmar/dynamic_library.h"

#if defined(_WIN32)
#include <windows.h>

void* OpenLibrary(const char* path) { return reinterpret_cast<void*>(LoadLibraryA(path)); }

LibraryProc FindLibraryProc(void* module, const char* name) {
  return reinterpret_cast<LibraryProc>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void CloseLibrary(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

const char* LibraryError() {
  static char text[64];
  wsprintfA(text, "Windows error %lu", GetLastError());
  return text;
}

#elif !defined(__EMSCRIPTEN__)
#include <dlfcn.h>

void* OpenLibrary(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }

LibraryProc FindLibraryProc(void* module, const char* name) {
  return reinterpret_cast<LibraryProc>(dlsym(module, name));
}

void CloseLibrary(void* module) { dlclose(module); }

const char* LibraryError() {
  const char* text = dlerror();
  return text ? text : "";
}

#endif
