// The batch loop of export and convert: each input loaded in turn and its
// output written, each input ending in one outcome.
#pragma once

#include <functional>
#include <string>

#include "tools/command_line.h"
#include "tools/input_loading.h"
#include "tools/output_formats.h"

// What became of one input.
struct InputOutcome {
  enum class Kind {
    kWritten,   // its output is complete
    kUpToDate,  // --newer: its outputs were newer than it, and it was not read
    kSkipped,  // refused before it was read: its output clashes or cannot be written
    kFailed,   // reading it or writing its output failed
  };
  Kind kind = Kind::kFailed;
  int status = 0;      // its exit status (tools/exit_status.h)
  std::string output;  // written: the output's path, or "-"
  std::string reason;  // skipped or failed: the line reported, naming the file
};

// Makes the output at the path from a loaded input, which it may release
// once it has read it; returns 0 or the system error code (an errno value)
// that says why it failed.
using WriteInput = std::function<int(LoadedInput& input, const std::string& output)>;

// Loads each input of the command line (a dotXSI file only where
// reads_dotxsi) and writes its output in the format through write. A bad
// input or a failed output is reported and the batch goes on; returns the
// worst status.
// A run in which an output would be one of the inputs, or whose output
// cannot take the format, is refused before any work. Two inputs of one name
// would write the same output, the second over the first; the second is
// skipped instead. An output that is standard output goes there through a
// scratch file, and then no other line goes there.
// The folder of --out-dir is made first. Documents are read through host.
int RunBatch(const CommandLine& line, const OutputFormat& format, const HostTable& host, bool reads_dotxsi,
             const WriteInput& write);
