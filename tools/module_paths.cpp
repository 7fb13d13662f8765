// Module and executable paths on Windows and on systems with dladdr.
#include "tools/module_paths.h"

#include "host/host_api.h"
#include "w_lib/util/path_parts.h"

#if defined(_WIN32)
#include <windows.h>

std::string ModulePathOf(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCSTR>(address), &module))
    return "";
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(path, n) : "";
}

std::string ExecutableFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text(path, n < MAX_PATH ? n : 0);
  const std::string folder = SystemFolderOf(text);
  return folder.empty() ? std::string(".\\") : folder;
}

std::string PluginFileIn(const std::string& folder) { return folder + "Vellmar.dll"; }

#elif defined(__EMSCRIPTEN__)

// In the browser the modules are linked into the program: they go by the
// names that tools/linked_modules.cpp answers to.
std::string ModulePathOf(const void*) { return "vellmar_host"; }

std::string ExecutableFolder() { return "/"; }

std::string PluginFileIn(const std::string& folder) { return folder + "Vellmar"; }

#else
#include <dlfcn.h>
#include <unistd.h>

#include <vector>

std::string ModulePathOf(const void* address) {
  Dl_info info;
  if (!dladdr(address, &info) || !info.dli_fname) return "";
  return info.dli_fname;
}

std::string ExecutableFolder() {
  std::vector<char> path(4096);
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return "./";
  std::string text(path.data(), static_cast<size_t>(n));
  const std::string folder = SystemFolderOf(text);
  return folder.empty() ? std::string("./") : folder;
}

std::string PluginFileIn(const std::string& folder) { return folder + "Vellmar.so"; }

#endif

std::string StandInHostPath() { return ModulePathOf(reinterpret_cast<const void*>(&VHost_CreateDocument)); }

std::string PluginPath(const std::string& given) { return given.empty() ? PluginFileIn(ExecutableFolder()) : given; }
