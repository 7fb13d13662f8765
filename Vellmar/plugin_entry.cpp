// The plug-in's entry points (plugin_entry_list.inc), which the host finds
// by name.
#include <cerrno>
#include <cstdint>
#include <new>
#include <type_traits>

#include "Vellmar/export_driver.h"
#include "Vellmar/host_binding.h"
#include "Vellmar/plugin_info.h"

#if defined(_WIN32)
#include <windows.h>
// The export table comes from the module definition file.
#define MQ_PLUGIN_EXPORT
#else
#define MQ_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// The host's functions as MQInit bound them, which every export is given.
// The host talks to the plug-in through these entry points only, so they own
// the module's one table.
HostTable g_host;

// One export, with nothing thrown inside it let out: the scene is released
// on the way out and the export fails. A host that has not bound its
// functions, or a call with no file or document, fails too (EINVAL).
WriteResult Export(int32_t index, const char* filename, MQDocument doc) {
  if (index != 0 || !filename || !doc || !ExportFunctionsBound(g_host)) return WriteResult::Failure(EINVAL);
  try {
    return ExportDocument(g_host, filename, doc);
  } catch (const std::bad_alloc&) {
    return WriteResult::Failure(ENOMEM);
  } catch (...) {
    return WriteResult::Failure(EIO);
  }
}

}  // namespace

extern "C" {

MQ_PLUGIN_EXPORT uint32_t MQ_PLUGINAPI MQCheckVersion(uint32_t) { return kPluginInterfaceVersion; }

MQ_PLUGIN_EXPORT int32_t MQ_PLUGINAPI MQGetPlugInType(void) { return kPluginTypeExport; }

MQ_PLUGIN_EXPORT void MQ_PLUGINAPI MQGetPlugInID(uint32_t* product, uint32_t* id) {
  if (product) *product = kPluginProductId;
  if (id) *id = kPluginId;
}

MQ_PLUGIN_EXPORT const char* MQ_PLUGINAPI MQGetPlugInName(void) { return kPluginName; }

MQ_PLUGIN_EXPORT const char* MQ_PLUGINAPI MQEnumFileType(int32_t index) {
  return index == 0 ? kXsiFileType : nullptr;
}

MQ_PLUGIN_EXPORT const char* MQ_PLUGINAPI MQEnumFileExt(int32_t index) {
  return index == 0 ? kXsiFileExtension : nullptr;
}

// 1 when the file was written, 0 otherwise.
// The host's signature has no room for the reason of a failure. This is the
// one place where that reason leaves the plug-in: a failed export sets errno
// from its result right before returning 0, the platform's convention for
// a caller in the same process (the command line reads it once, right after
// this call). Inside the plug-in the reason is a value; the host ignores it.
MQ_PLUGIN_EXPORT int32_t MQ_PLUGINAPI MQExportFile(int32_t index, const char* filename, MQDocument doc) {
  const WriteResult result = Export(index, filename, doc);
  if (!result) errno = result.error();
  return result ? 1 : 0;
}

// A failed initialisation leaves the plug-in unbound, so that no export runs
// on a binding the host has been told failed.
MQ_PLUGIN_EXPORT int32_t MQ_PLUGINAPI MQInit(const char* host_module) {
  HostTable table;
  if (!host_module || !BindHost(host_module, table)) {
    g_host = HostTable();
    return 0;
  }
  g_host = table;
  return 1;
}

}  // extern "C"

// Each entry point of the list is defined here, with exactly the type
// through which the host calls it.
#define MQ_PLUGIN_ENTRY(result, name, parameters) \
  static_assert(std::is_same_v<decltype(&name), PFN_##name>, #name " does not match PFN_" #name);
#include "Vellmar/plugin_entry_list.inc"
#undef MQ_PLUGIN_ENTRY

#if defined(_WIN32)
// The library's entry function: C linkage so that the runtime's start-up
// calls this one; it keeps nothing and accepts every reason.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
