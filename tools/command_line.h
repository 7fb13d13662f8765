// The vellmar command line: its commands and options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class Command { kNone, kExport, kConvert, kInfo, kHelp };

struct CommandLine {
  Command command = Command::kNone;
  std::vector<std::string> inputs;
  std::string output;   // one input: the output file
  std::string out_dir;  // several inputs: where their outputs go
  std::string plugin;   // empty: the plug-in installed beside the tool
  std::string format;   // convert: empty means from the output's extension
  // The largest document text read: an archive's entry, or a file that is
  // not a regular file (a device, a pipe).
  uint64_t max_document_size = uint64_t{1} << 30;
  float scale = 1.0f;
  int axis[3] = {1, 2, 4};  // source axis bits, with 8 to negate
  bool cancel = false;
  bool freeze = false;        // lathe, mirror and subdivision as the host shows them
  bool visible_only = false;  // leave out the objects the document hides
  bool help = false;
};

// Parses argv. On a usage error returns false with error set to one line.
bool ParseCommandLine(int argc, char** argv, CommandLine& line, std::string& error);

// The help text of a command (kNone: the overview).
const char* HelpText(Command command);
