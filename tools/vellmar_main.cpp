// vellmar: exports host documents through the plug-in module, converts them
// to other formats, describes them, and shows what the plug-in reports about
// itself. This file reads the command line and hands it to its command
// (tools/commands.h).
#include <cstdio>
#include <new>
#include <string>

#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/console.h"
#include "tools/exit_status.h"
#include "tools/interrupt_cleanup.h"
#include "tools/large_pages.h"
#include "tools/output_names.h"

int main(int argc, char** argv) {
  RestartWithLargePages(argv);
  InstallInterruptCleanup();
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(argc, argv, line, error)) {
    PrintError(error);
    return kBadInput;
  }
  if (line.command == Command::kHelp || line.help) {
    std::fputs(HelpText(line.help ? line.command : Command::kNone).c_str(), stdout);
    return kOk;
  }
  if (line.command == Command::kVersion) {
    std::printf("%s\n", VersionLine());
    return kOk;
  }
  SetUpConsole(line.quiet);
  if (!OutputNameFitsFormat(line, error)) {
    PrintError(error);
    return kBadInput;
  }
  try {
    switch (line.command) {
      case Command::kExport: return RunExport(line);
      case Command::kConvert: return RunConvert(line);
      case Command::kInfo: return RunInfo(line);
      default: return kBadInput;
    }
  } catch (const std::bad_alloc&) {
    PrintError("out of memory");
    return kBadInput;
  }
}
