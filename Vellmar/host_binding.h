// The table of host operations: one slot per host function, filled by name
// from the host's module when the host initialises the plug-in, and passed
// to every later call into the host.
#pragma once

#include "Vellmar/dynamic_library.h"
#include "Vellmar/host_interface.h"

enum HostFunction : int {
#define MQ_HOST_FUNCTION(name) kHost_##name,
#define MQ_EXPORT_FUNCTION(result, name, parameters) kHost_##name,
#include "Vellmar/host_function_list.inc"
#undef MQ_EXPORT_FUNCTION
#undef MQ_HOST_FUNCTION
  kHostFunctionCount
};
// The host's interface has this many functions: a line of
// host_function_list.inc lost or added stops the build here.
static_assert(kHostFunctionCount == 122, "the host's interface has 122 functions");

// The names, in binding order.
extern const char* const kHostFunctionNames[kHostFunctionCount];

// The type of each host function that an export calls, by its slot.
template <HostFunction f>
struct ExportFunctionType;
#define MQ_HOST_FUNCTION(name)
#define MQ_EXPORT_FUNCTION(result, name, parameters) \
  template <>                                         \
  struct ExportFunctionType<kHost_##name> {           \
    using Type = PFN_##name;                          \
  };
#include "Vellmar/host_function_list.inc"
#undef MQ_EXPORT_FUNCTION
#undef MQ_HOST_FUNCTION

// The types of the functions that only the stand-in host offers.
extern "C" {
#define STAND_IN_FUNCTION(result, name, parameters) typedef result (*PFN_##name) parameters;
#include "Vellmar/stand_in_function_list.inc"
#undef STAND_IN_FUNCTION
}

// The stand-in host's own functions, each null where the module lacks it
// (a real host lacks them all).
struct StandInFunctions {
#define STAND_IN_FUNCTION(result, name, parameters) PFN_##name name = nullptr;
#include "Vellmar/stand_in_function_list.inc"
#undef STAND_IN_FUNCTION
};

// The host's functions as one binding found them. Whoever binds a table owns
// it (the plug-in's entry points, the command line) and hands it to the
// export driver; nothing reads a table that was not passed to it.
struct HostTable {
  LibraryProc slots[kHostFunctionCount] = {};
  // Optional: bound beside the host's interface, never required by it.
  StandInFunctions stand_in;

  // A host function that an export calls, as its real type.
  template <HostFunction f>
  typename ExportFunctionType<f>::Type Function() const {
    return reinterpret_cast<typename ExportFunctionType<f>::Type>(slots[f]);
  }
  // Fills a slot with a function of that type (a host of one's own, in tests).
  template <HostFunction f>
  void SetFunction(typename ExportFunctionType<f>::Type function) {
    slots[f] = reinterpret_cast<LibraryProc>(function);
  }
};

// How BindHost reaches the module; tests substitute their own.
struct ModuleLoader {
  void* (*open)(const char* path);
  LibraryProc (*find)(void* module, const char* name);
  void (*close)(void* module);
};
extern const ModuleLoader kSystemModuleLoader;

// Opens the module at path and looks up every host function in order.
// Returns false at once, with no slot changed, when the module does not
// load; false at the first missing function (slots bound before it keep
// their new addresses, later slots stay as they were); true when all are
// bound, and then the stand-in's own functions are looked up as well, each
// left null where the module lacks it. The module is closed again in every case: its addresses stay
// usable only while the host keeps the module loaded itself, as the running
// host does.
[[nodiscard]] bool BindHost(const char* path, HostTable& table, const ModuleLoader& loader = kSystemModuleLoader);

// Whether every host function that an export calls (MQ_EXPORT_FUNCTION in
// host_function_list.inc) is bound: an export with an empty slot would call
// through a null address.
bool ExportFunctionsBound(const HostTable& table);
