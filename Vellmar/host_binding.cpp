// Binding the host's interface by name.
#include "Vellmar/host_binding.h"

const char* const kHostFunctionNames[kHostFunctionCount] = {
#define MQ_HOST_FUNCTION(name) #name,
#define MQ_EXPORT_FUNCTION(result, name, parameters) #name,
#include "Vellmar/host_function_list.inc"
#undef MQ_EXPORT_FUNCTION
#undef MQ_HOST_FUNCTION
};

const ModuleLoader kSystemModuleLoader = {OpenLibrary, FindLibraryProc, CloseLibrary};

bool BindHost(const char* path, HostTable& table, const ModuleLoader& loader) {
  void* module = loader.open(path);
  if (!module) return false;
  for (int i = 0; i < kHostFunctionCount; ++i) {
    LibraryProc proc = loader.find(module, kHostFunctionNames[i]);
    if (!proc) {
      loader.close(module);
      return false;
    }
    table.slots[i] = proc;
  }
  // The stand-in's own functions: optional, found by their names.
#define STAND_IN_FUNCTION(result, name, parameters) \
  table.stand_in.name = reinterpret_cast<PFN_##name>(loader.find(module, #name));
#include "Vellmar/stand_in_function_list.inc"
#undef STAND_IN_FUNCTION
  loader.close(module);
  return true;
}

bool ExportFunctionsBound(const HostTable& table) {
  static constexpr HostFunction kExportFunctions[] = {
#define MQ_HOST_FUNCTION(name)
#define MQ_EXPORT_FUNCTION(result, name, parameters) kHost_##name,
#include "Vellmar/host_function_list.inc"
#undef MQ_EXPORT_FUNCTION
#undef MQ_HOST_FUNCTION
  };
  for (HostFunction f : kExportFunctions)
    if (!table.slots[f]) return false;
  return true;
}
