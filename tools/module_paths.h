// Where the tool's own files are: the module that holds an address, and the
// folder of the running executable.
#pragma once

#include <string>

// The file name of the loaded module that contains address, or "".
std::string ModulePathOf(const void* address);
// The folder of the running executable, with a trailing separator.
std::string ExecutableFolder();
// The plug-in module's file name in a folder.
std::string PluginFileIn(const std::string& folder);
// The stand-in host module that this tool runs on: the plug-in binds the
// host's interface from it.
std::string StandInHostPath();
// The plug-in module: the one given (--plugin), or the one beside the tool.
std::string PluginPath(const std::string& given);
