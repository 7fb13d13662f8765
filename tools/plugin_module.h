// The plug-in module as the host sees it: loaded by file name, its eight
// entry points looked up by name.
#pragma once

#include <cstdint>
#include <string>

#include "Vellmar/host_interface.h"

struct PluginModule {
  void* module = nullptr;
  uint32_t (*check_version)(uint32_t) = nullptr;
  int32_t (*get_type)() = nullptr;
  void (*get_id)(uint32_t*, uint32_t*) = nullptr;
  const char* (*get_name)() = nullptr;
  const char* (*enum_file_type)(int32_t) = nullptr;
  const char* (*enum_file_ext)(int32_t) = nullptr;
  int32_t (*export_file)(int32_t, const char*, MQDocument) = nullptr;
  int32_t (*init)(const char*) = nullptr;

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
