// Loading and checking the plug-in module.
#include "tools/plugin_module.h"

#include <cstring>

#include "Vellmar/dynamic_library.h"

PluginModule::~PluginModule() {
  if (module) CloseLibrary(module);
}

bool PluginModule::Load(const std::string& path, std::string& error) {
  module = OpenLibrary(path.c_str());
  if (!module) {
    error = "cannot load the plug-in module " + path + ": " + LibraryError();
    return false;
  }
  bool complete = true;
  auto find = [&](auto& slot, const char* name) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(FindLibraryProc(module, name));
    if (!slot && complete) {
      error = path + " is not a plug-in module: it lacks " + name;
      complete = false;
    }
  };
  find(check_version, "MQCheckVersion");
  find(get_type, "MQGetPlugInType");
  find(get_id, "MQGetPlugInID");
  find(get_name, "MQGetPlugInName");
  find(enum_file_type, "MQEnumFileType");
  find(enum_file_ext, "MQEnumFileExt");
  find(export_file, "MQExportFile");
  find(init, "MQInit");
  return complete;
}

bool PluginModule::CheckIsXsiExporter(std::string& error) const {
  constexpr uint32_t kInterfaceVersion = 0x231;
  if (check_version(kInterfaceVersion) != kInterfaceVersion) {
    error = "the plug-in speaks another interface version";
    return false;
  }
  if (get_type() != 2) {
    error = "the plug-in is not an export plug-in";
    return false;
  }
  const char* type = enum_file_type(0);
  const char* ext = enum_file_ext(0);
  if (!type || !ext || std::strcmp(type, "XSI (*.xsi)") != 0 || std::strcmp(ext, "xsi") != 0) {
    error = "the plug-in's first file type is not \"XSI (*.xsi)\"";
    return false;
  }
  return true;
}
