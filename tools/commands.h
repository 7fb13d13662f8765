// The commands of vellmar, each run over its parsed command line; each
// returns the exit status (tools/exit_status.h).
#pragma once

#include "tools/command_line.h"

// Exports host documents through the plug-in module's entry points.
int RunExport(const CommandLine& line);
// Converts host documents and dotXSI files to the format of the command
// line.
int RunConvert(const CommandLine& line);
// Describes documents, or with none the plug-in module.
int RunInfo(const CommandLine& line);
