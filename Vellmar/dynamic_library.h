// Loading a shared library and looking up functions in it: LoadLibraryA,
// GetProcAddress and FreeLibrary on Windows; dlopen, dlsym and dlclose
// elsewhere.
#pragma once

// Any function's address, as the lookup returns it; cast to the real type.
using LibraryProc = void (*)();

// The module at path, or null when it does not load.
void* OpenLibrary(const char* path);
// The exported function of that name, or null.
LibraryProc FindLibraryProc(void* module, const char* name);
void CloseLibrary(void* module);
// The system's last loading error as text (empty when there is none).
const char* LibraryError();
