// export: each input through the plug-in module, as the host runs it.
#include <cerrno>
#include <string>

#include "w_lib/writers/write_result.h"
#include "tools/batch.h"
#include "tools/commands.h"
#include "tools/console.h"
#include "tools/exit_status.h"
#include "tools/module_paths.h"
#include "tools/plugin_module.h"

namespace {

// Exports one loaded input to the output through the plug-in's entry point.
int ExportInput(const PluginModule& plugin, LoadedInput& input, const std::string& output) {
  ProgressStage("exporting");
  // The entry point's signature has no room for the reason: the plug-in
  // hands it over in errno, which all modules of the process share, set
  // right before it returns, and it is read once, here. Cleared first, so
  // that a plug-in which sets none gives EIO rather than a stale reason.
  errno = 0;
  if (plugin.MQExportFile(0, output.c_str(), input.document->get()) == 1) return 0;
  return LastSystemError();
}

}  // namespace

int RunExport(const CommandLine& line) {
  PluginModule plugin;
  std::string error;
  if (!plugin.Load(PluginPath(line.plugin), error) || !plugin.CheckIsXsiExporter(error)) {
    PrintError(error);
    return kBadInput;
  }
  const std::string host_path = StandInHostPath();
  HostTable host;
  if (plugin.MQInit(host_path.c_str()) != 1 || !BindHost(host_path.c_str(), host)) {
    PrintError("the plug-in could not bind the host interface from " + host_path);
    return kBadInput;
  }
  using namespace std::placeholders;
  return RunBatch(line, *line.output_format, host, false, std::bind(ExportInput, std::cref(plugin), _1, _2));
}
