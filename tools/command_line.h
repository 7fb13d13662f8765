// The vellmar command line: its commands and options.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "w_lib/writers/writer_options.h"

struct OutputFormat;

enum class Command { kNone, kExport, kConvert, kInfo, kVersion, kHelp };

// Bits of the commands that an option applies to.
constexpr unsigned kForExport = 1, kForConvert = 2, kForInfo = 4;
constexpr unsigned kForWriting = kForExport | kForConvert;

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

  // The writer options, as convert hands them to the writer, and the
  // WriterOption bits of those given.
  WriterOptions writer;
  unsigned writer_options_given = 0;

  // The flags and texts, from their list.
#define FLAG_OPTION(field, ...) bool field = false;
#define TEXT_OPTION(field, ...) std::string field;
#define VALUE_OPTION(...)
#define WRITER_FLAG(...)
#define WRITER_CHOICE(...)
#include "tools/command_line_options.inc"
#undef FLAG_OPTION
#undef TEXT_OPTION
#undef VALUE_OPTION
#undef WRITER_FLAG
#undef WRITER_CHOICE
};

// An option of the command line: a row of the table that the parser and
// the help read, made from the list of options.
struct OptionSpec {
  const char* name;
  const char* alias;       // a short form, or null
  const char* value_name;  // null for an option without a value
  // Help lines; "\n" starts another line of the same option.
  const char* help;
  unsigned commands;  // bits of the commands it applies to
  // Applies the option (value is null for one without a value); false with
  // error set for a value it cannot take.
  bool (*apply)(CommandLine& line, const char* value, std::string& error);
  // A writer option's WriterOption bit; 0 for the others.
  unsigned writer_option;
  // Its meaning in the README's table of options, which is made from these
  // texts; null for an option that export and convert do not take.
  const char* readme;
};

// Every option, in the order of the help text; count gets their number.
const OptionSpec* AllOptions(size_t& count);

// The place, counted from 1, of value among the choices "a|b|c" of a
// writer option; 0 when it is none of them.
unsigned ChoicePlace(const char* choices, const std::string& value);

// Parses argv. On a usage error returns false with error set to one line.
// Options take their value as the next argument or after '=' (--scale=2);
// "--" ends the options; "-" alone is an argument (standard output).
bool ParseCommandLine(int argc, char** argv, CommandLine& line, std::string& error);

// The help text of a command (kNone and kHelp: the overview), made from the
// tables of commands, options and formats.
std::string HelpText(Command command);

// The tool's version, as --version prints it: "vellmar 1.00".
const char* VersionLine();
