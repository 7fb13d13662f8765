// The plug-in module as the host sees it: loaded by file name, its entry
// points (Vellmar/plugin_entry_list.inc) looked up by name.
#pragma once

#include <cstdint>
#include <string>

#include "Vellmar/host_interface.h"

struct PluginModule {
  void* module = nullptr;
  // One member per entry point, named as the entry point.
#define MQ_PLUGIN_ENTRY(result, name, parameters) PFN_##name name = nullptr;
#include "Vellmar/plugin_entry_list.inc"
#undef MQ_PLUGIN_ENTRY

  PluginModule() = default;
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;
  ~PluginModule();

  // Loads the module and looks up every entry point.
  bool Load(const std::string& path, std::string& error);
  // The host's checks before it offers the plug-in: interface version, an
  // export plug-in, and file type 0 being dotXSI.
  bool CheckIsXsiExporter(std::string& error) const;
};
