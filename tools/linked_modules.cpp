// The loader of a build without dynamic loading (the browser's): the
// stand-in host is linked into the program, and "opening" it by name gives
// a table of its functions, looked up by name as a loader looks them up in
// the module. No plug-in module can be loaded there.
#if defined(__EMSCRIPTEN__)

#include <cstring>

#include "Vellmar/dynamic_library.h"
#include "host/host_api.h"

namespace {

struct LinkedFunction {
  const char* name;
  LibraryProc proc;
};

const LinkedFunction kHostFunctions[] = {
#define MQ_HOST_FUNCTION(name) {#name, reinterpret_cast<LibraryProc>(&name)},
#define MQ_EXPORT_FUNCTION(result, name, parameters) MQ_HOST_FUNCTION(name)
#include "Vellmar/host_function_list.inc"
#undef MQ_EXPORT_FUNCTION
#undef MQ_HOST_FUNCTION
// The stand-in's own functions, which the binding looks up by name too.
#define STAND_IN_FUNCTION(result, name, parameters) {#name, reinterpret_cast<LibraryProc>(&name)},
#include "Vellmar/stand_in_function_list.inc"
#undef STAND_IN_FUNCTION
};

// The one module there is; any other address is no module.
int host_module;
const char* last_error = "";

}  // namespace

void* OpenLibrary(const char* path) {
  if (std::strcmp(path, "vellmar_host") == 0) return &host_module;
  last_error = "only the stand-in host is linked into this build; no module can be loaded";
  return nullptr;
}

LibraryProc FindLibraryProc(void* module, const char* name) {
  if (module != &host_module) return nullptr;
  for (const LinkedFunction& f : kHostFunctions)
    if (std::strcmp(f.name, name) == 0) return f.proc;
  return nullptr;
}

void CloseLibrary(void*) {}

const char* LibraryError() { return last_error; }

#endif
