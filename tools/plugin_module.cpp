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
#define MQ_PLUGIN_ENTRY(result, name, parameters) find(name, #name);
#include "Vellmar/plugin_entry_list.inc"
#undef MQ_PLUGIN_ENTRY
  return complete;
}

bool PluginModule::CheckIsXsiExporter(std::string& error) const {
  constexpr uint32_t kInterfaceVersion = 0x231;
  if (MQCheckVersion(kInterfaceVersion) != kInterfaceVersion) {
    error = "the plug-in speaks another interface version";
    return false;
  }
  if (MQGetPlugInType() != 2) {
    error = "the plug-in is not an export plug-in";
    return false;
  }
  const char* type = MQEnumFileType(0);
  const char* ext = MQEnumFileExt(0);
  if (!type || !ext || std::strcmp(type, "XSI (*.xsi)") != 0 || std::strcmp(ext, "xsi") != 0) {
    error = "the plug-in's first file type is not \"XSI (*.xsi)\"";
    return false;
  }
  return true;
}
