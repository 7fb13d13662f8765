// The plug-in module as the host sees it: loaded by file name, its eight
// entry points looked up by name.
#pragma once

#include <cstdint>
#include <string>

#include "Vellmar/host_interface.h"

struct PluginModule {
  void* module = nullptr;
  PFN_MQCheckVersion check_version = nullptr;
  PFN_MQGetPlugInType get_type = nullptr;
  PFN_MQGetPlugInID get_id = nullptr;
  PFN_MQGetPlugInName get_name = nullptr;
  PFN_MQEnumFileType enum_file_type = nullptr;
  PFN_MQEnumFileExt enum_file_ext = nullptr;
  PFN_MQExportFile export_file = nullptr;
  PFN_MQInit init = nullptr;

  PluginModule() = default;
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;
  ~PluginModule();

  // Loads the module and looks up all eight entry points.
  bool Load(const std::string& path, std::string& error);
  // The host's checks before it offers the plug-in: interface version, an
  // export plug-in, and file type 0 being dotXSI.
  bool CheckIsXsiExporter(std::string& error) const;
};
