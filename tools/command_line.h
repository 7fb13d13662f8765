// The vellmar command line: its commands and options.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct OutputFormat;
enum class NamesOption : int;

enum class Command { kNone, kExport, kConvert, kInfo, kVersion, kHelp };

struct CommandLine {
  Command command = Command::kNone;
  std::vector<std::string> inputs;
  std::string output;  // one input: the output file, "-" for standard output
  // What export and convert write: dotXSI for export; for convert the format
  // named by --format or by the output's extension.
  const OutputFormat* output_format = nullptr;

  // The options that read a value of their own.
  std::string format;  // --format; empty: from the output's extension
  // --max-document-size: the largest document text read, an archive's
  // entry or a file that is not a regular file (a device, a pipe).
  uint64_t max_document_size = uint64_t{1} << 30;
  float scale = 1.0f;       // --scale
  int axis[3] = {1, 2, 4};  // --axes: source axis bits, with 8 to negate
  size_t jobs = 0;          // --jobs; 0: the machine's cores
  NamesOption names{};  // --names (zero: the format's default)

  // The flags and texts, from their list.
#define FLAG_OPTION(field, ...) bool field = false;
#define TEXT_OPTION(field, ...) std::string field;
#define VALUE_OPTION(...)
#include "tools/command_line_options.inc"
#undef FLAG_OPTION
#undef TEXT_OPTION
#undef VALUE_OPTION
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
