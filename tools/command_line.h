// The vellmar command line: its commands and options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct OutputFormat;

enum class Command { kNone, kExport, kConvert, kInfo, kVersion, kHelp };

struct CommandLine {
  Command command = Command::kNone;
  std::vector<std::string> inputs;
  std::string output;   // one input: the output file, "-" for standard output
  std::string out_dir;  // several inputs: where their outputs go
  std::string plugin;   // empty: the plug-in installed beside the tool
  std::string format;   // convert: empty means from the output's extension
  // What export and convert write: dotXSI for export; for convert the format
  // named by --format or by the output's extension.
  const OutputFormat* output_format = nullptr;
  // The largest document text read: an archive's entry, or a file that is
  // not a regular file (a device, a pipe).
  uint64_t max_document_size = uint64_t{1} << 30;
  float scale = 1.0f;
  int axis[3] = {1, 2, 4};  // source axis bits, with 8 to negate
  bool cancel = false;
  bool freeze = false;        // lathe, mirror and subdivision as the host shows them
  bool visible_only = false;  // leave out the objects the document hides
  bool keep_order = false;    // glTF: meshes in the document's order, not ordered for drawing
  bool compress = false;      // glTF: quantised and compressed meshes
  bool quiet = false;         // no notes, progress or summary; errors and warnings stay
  bool json = false;          // info: the description of documents as JSON
  bool help = false;          // show the help of command instead of running it
};

// Parses argv. On a usage error returns false with error set to one line.
// Options take their value as the next argument or after '=' (--scale=2);
// "--" ends the options; "-" alone is an argument (standard output).
bool ParseCommandLine(int argc, char** argv, CommandLine& line, std::string& error);

// The help text of a command (kNone and kHelp: the overview), made from the
// tables of commands, options and formats.
std::string HelpText(Command command);

// The tool's version, as --version prints it: "vellmar 1.00".
const char* VersionLine();
