// Parsing the vellmar command line. Commands and options are declared once,
// in the tables below, for both the parser and the help text.
#include "tools/command_line.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>

#include "w_lib/util/decimal_text.h"
#include "tools/output_formats.h"
#include "tools/jobs.h"
#include "tools/output_names.h"

#ifndef VELLMAR_VERSION
#error "VELLMAR_VERSION must name the project's version"
#endif

namespace {

struct CommandSpec {
  Command command;
  const char* name;
  unsigned bit;  // 0 for commands without options
  const char* summary;  // for the overview
  const char* usage;    // the help text's head, up to its options
};

const CommandSpec kCommands[] = {
    {Command::kExport, "export", kForExport, "export documents to dotXSI through the plug-in module",
     "Usage: vellmar export IN.mqo OUT.xsi [OPTIONS]\n"
     "       vellmar export IN.mqo... --out-dir DIR [OPTIONS]\n"
     "\n"
     "Loads each document (.mqo, .mqoz) into the stand-in host and exports it through\n"
     "the plug-in module exactly as the host does (MQInit, then MQExportFile). OUT\n"
     "ends in .xsi; OUT '-' writes the file to standard output; IN '-' reads one\n"
     "document from standard input.\n"},
    {Command::kConvert, "convert", kForConvert,
     "convert documents to dotXSI, DirectX, OBJ, .mqo, DXF, glTF or a scene dump",
     "Usage: vellmar convert IN OUT [--format FORMAT] [OPTIONS]\n"
     "       vellmar convert IN... --out-dir DIR --format FORMAT [OPTIONS]\n"
     "\n"
     "Reads the document (.mqo, .mqoz) as an export does, or a dotXSI file (.xsi,\n"
     "or text that starts with \"xsi \") as it is, and writes it in FORMAT, each in\n"
     "its own format's conventions (see the README). Without --format the format\n"
     "comes from OUT's extension; an extension of another format than --format is\n"
     "refused. OUT '-' writes the file to standard output (not for formats of\n"
     "several files); IN '-' reads one document or dotXSI file from standard input,\n"
     "told apart by its first bytes, with its textures in the current folder.\n"},
    {Command::kInfo, "info", kForInfo, "describe documents, or show what the plug-in module reports about itself",
     "Usage: vellmar info [--plugin PATH]\n"
     "       vellmar info FILE... [--json]\n"
     "\n"
     "Without files: the plug-in module's name, interface version, identifiers and\n"
     "file types, and the formats that convert writes. With files (.mqo, .mqoz,\n"
     ".xsi; '-' for standard input): each document's\n"
     "format version, code page, objects (hidden, mirrored, lathed, subdivided),\n"
     "vertices, faces by corner count, lines, materials and textures (and whether\n"
     "each texture file is there beside the document); for a dotXSI file its\n"
     "models with their depth in the hierarchy and the signed volume of each closed\n"
     "mesh, and what it holds that is not read.\n"},
    {Command::kVersion, "version", 0, "print the name and version", "Usage: vellmar version\n"},
    {Command::kHelp, "help", 0, "print the help of a command", "Usage: vellmar help [COMMAND]\n"},
};

bool ParseAxis(const std::string& text, int& axis) {
  const bool negate = !text.empty() && text[0] == '-';
  const std::string name = negate ? text.substr(1) : text;
  int bit = 0;
  if (name == "x" || name == "X") bit = 1;
  if (name == "y" || name == "Y") bit = 2;
  if (name == "z" || name == "Z") bit = 4;
  if (!bit) return false;
  axis = bit | (negate ? 8 : 0);
  return true;
}

bool ParseAxes(const std::string& text, int axes[3]) {
  size_t start = 0;
  for (int i = 0; i < 3; ++i) {
    const size_t comma = text.find(',', start);
    if ((comma == std::string::npos) != (i == 2)) return false;
    if (!ParseAxis(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start), axes[i]))
      return false;
    start = comma + 1;
  }
  return ((axes[0] | axes[1] | axes[2]) & 7) == 7;  // each source axis once
}

bool ParseScale(const char* text, float& scale) {
  const char* end = text + std::strlen(text);
  auto result = DecimalFromChars(text, end, scale);
  return result.ec == std::errc() && result.ptr == end && std::isfinite(scale) && scale != 0.0f;
}

// A byte count with an optional K, M or G (binary) suffix; more than 0.
bool ParseSize(const char* text, uint64_t& size) {
  const char* end = text + std::strlen(text);
  uint64_t value = 0;
  auto result = std::from_chars(text, end, value);
  if (result.ec != std::errc() || value == 0) return false;
  int shift = 0;
  if (result.ptr != end) {
    const char unit = static_cast<char>(*result.ptr | 0x20);
    shift = unit == 'k' ? 10 : unit == 'm' ? 20 : unit == 'g' ? 30 : -1;
    if (shift < 0 || result.ptr + 1 != end) return false;
  }
  if (value > (UINT64_MAX >> shift)) return false;
  size = value << shift;
  return true;
}

// The readers of options that only switch a setting on or keep their value.
template <bool CommandLine::*flag>
bool SetFlag(CommandLine& line, const char*, std::string&) {
  line.*flag = true;
  return true;
}
template <std::string CommandLine::*text>
bool SetText(CommandLine& line, const char* value, std::string&) {
  line.*text = value;
  return true;
}

// The readers of the writer options: the value into the field of
// WriterOptions. The bit of the options given is set by ReadOption.
template <bool WriterOptions::*flag>
bool SetWriterFlag(CommandLine& line, const char*, std::string&) {
  line.writer.*flag = true;
  return true;
}
template <class Type, Type WriterOptions::*field, const char* name, const char* choices>
bool SetWriterChoice(CommandLine& line, const char* value, std::string& error) {
  const unsigned place = ChoicePlace(choices, value);
  line.writer.*field = static_cast<Type>(place);
  if (place) return true;
  error = std::string(name) + " needs one of " + choices + ", not '" + value + "'";
  return false;
}

// The readers of the options that read a value into a field of their own.
bool ApplyFormat(CommandLine& line, const char* value, std::string& error) {
  line.format = value;
  if (FindFormat(value)) return true;
  error = "unknown format '" + line.format + "' (" + FormatNames() + ")";
  return false;
}

bool ApplyScale(CommandLine& line, const char* value, std::string& error) {
  if (ParseScale(value, line.scale)) return true;
  error = std::string("--scale needs a finite number other than 0, not '") + value + "'";
  return false;
}

bool ApplyAxes(CommandLine& line, const char* value, std::string& error) {
  if (ParseAxes(value, line.axis)) return true;
  error = std::string("--axes needs three of x, y, z (each once, optionally with '-'), not '") + value + "'";
  return false;
}

bool ApplyMaxDocumentSize(CommandLine& line, const char* value, std::string& error) {
  if (ParseSize(value, line.max_document_size)) return true;
  error = std::string("--max-document-size needs a byte count above 0, optionally with K, M or G, not '") + value +
          "'";
  return false;
}

// The name and choices of each writer option that takes one, as template
// arguments of its reader.
#define WRITER_FLAG(...)
#define WRITER_CHOICE(field, type, name, choices, ...) \
  constexpr char field##_name[] = name;                \
  constexpr char field##_choices[] = choices;
#include "w_lib/writers/writer_option_list.inc"
#undef WRITER_FLAG
#undef WRITER_CHOICE

// At most this many jobs: more would only wait for the cores.
constexpr size_t kMaxJobs = kMostJobs;

bool ApplyJobs(CommandLine& line, const char* value, std::string& error) {
  size_t jobs = 0;
  const char* end = value + std::strlen(value);
  const auto result = std::from_chars(value, end, jobs);
  if (result.ec == std::errc() && result.ptr == end && jobs >= 1 && jobs <= kMaxJobs) {
    line.jobs = jobs;
    return true;
  }
  error = std::string("--jobs needs a whole number from 1 to ") + std::to_string(kMaxJobs) + ", not '" + value + "'";
  return false;
}

const OptionSpec kOptions[] = {
#define FLAG_OPTION(field, name, alias, help, commands, readme) \
  {name, alias, nullptr, help, commands, SetFlag<&CommandLine::field>, 0, readme},
#define TEXT_OPTION(field, name, value_name, help, commands, readme) \
  {name, nullptr, value_name, help, commands, SetText<&CommandLine::field>, 0, readme},
#define VALUE_OPTION(name, value_name, help, commands, apply, readme) \
  {name, nullptr, value_name, help, commands, apply, 0, readme},
#define WRITER_FLAG(field, name, help, readme) \
  {name, nullptr, nullptr, help, kForConvert, SetWriterFlag<&WriterOptions::field>, WriterOption::field, readme},
#define WRITER_CHOICE(field, type, name, choices, help, readme)                                       \
  {name, nullptr, choices, help, kForConvert,                                                         \
   SetWriterChoice<type, &WriterOptions::field, field##_name, field##_choices>, WriterOption::field, \
   readme},
#include "tools/command_line_options.inc"
#undef FLAG_OPTION
#undef TEXT_OPTION
#undef VALUE_OPTION
#undef WRITER_FLAG
#undef WRITER_CHOICE
};

const CommandSpec* FindCommand(const std::string& name) {
  for (const CommandSpec& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

const OptionSpec* FindOption(const std::string& name) {
  for (const OptionSpec& o : kOptions)
    if (name == o.name || (o.alias && name == o.alias)) return &o;
  return nullptr;
}

std::string OverviewText() {
  std::string text =
      "Usage: vellmar COMMAND [ARGS]\n"
      "\n"
      "Exports host documents (.mqo, .mqoz) as dotXSI through the Vellmar plug-in,\n"
      "converts them and dotXSI files (.xsi) to other formats, or describes them.\n"
      "Inputs: .mqo and .mqoz documents, .xsi files (convert and info), and '-' for\n"
      "one document or dotXSI file read from standard input.\n"
      "\n"
      "Commands:\n";
  for (const CommandSpec& c : kCommands) {
    text += "  " + std::string(c.name);
    text.append(9 - std::strlen(c.name), ' ');
    text += c.summary + std::string("\n");
  }
  text +=
      "\n"
      "Run 'vellmar help COMMAND' or 'vellmar COMMAND --help' for a command's options;\n"
      "'vellmar --version' prints the version.\n"
      "Exit status: 0 success, 1 an output could not be written, 2 bad input or usage,\n"
      "130, 143 and 129 interrupted by SIGINT, SIGTERM and SIGHUP (no partial file is\n"
      "left), 141 when the reader of standard output goes away.\n";
  return text;
}

// "  --name VALUE    help", continued lines under the help's column. A
// writer option's help starts with the formats that take it.
void AppendOptionHelp(std::string& text, const OptionSpec& option) {
  constexpr size_t kColumn = 20;
  std::string label = "  ";
  if (option.alias) label += std::string(option.alias) + ", ";
  label += option.name;
  if (option.value_name) label += std::string(" ") + option.value_name;
  text += label;
  if (label.size() + 2 <= kColumn)
    text.append(kColumn - label.size(), ' ');
  else
    text += "\n" + std::string(kColumn, ' ');
  if (option.writer_option) {
    const std::string formats = FormatNamesTaking(option.writer_option);
    text += (formats.empty() ? "not in this build" : formats) + ": ";
  }
  for (const char* c = option.help; *c; ++c) {
    text += *c;
    if (*c == '\n') text.append(kColumn, ' ');
  }
  text += '\n';
}

void AppendFormats(std::string& text) {
  size_t count = 0;
  const OutputFormat* formats = AllFormats(count);
  for (size_t i = 0; i < count; ++i) {
    const OutputFormat& f = formats[i];
    std::string label = "  " + std::string(f.name);
    label.append(label.size() < 16 ? 16 - label.size() : 1, ' ');
    std::string extensions;
    for (const char* e : f.extensions)
      if (e) extensions += (extensions.empty() ? "" : ", ") + std::string(e);
    if (f.companion_extension) extensions += std::string(" and ") + f.companion_extension;
    text += label + f.description + " (" + extensions + ")" + (f.can_stream ? "" : ", not to standard output") +
            (f.write ? "" : ", not in this build") + "\n";
  }
}

bool LooksLikeOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

// The arguments of help (at most a command, whose help is shown) and of
// version (none).
bool ReadHelpOrVersionArguments(int argc, char** argv, CommandLine& line, std::string& error) {
  if (line.command == Command::kVersion) {
    if (argc <= 2) return true;
    error = "version takes no arguments";
    return false;
  }
  if (argc > 3) {
    error = "help takes at most one command";
    return false;
  }
  if (argc == 3) {
    const CommandSpec* topic = FindCommand(argv[2]);
    if (!topic) {
      error = "unknown command '" + std::string(argv[2]) + "' (try 'vellmar --help')";
      return false;
    }
    line.command = topic->command;
    line.help = true;
  }
  return true;
}

// One option at argv[i], "--name", "--name=value" or "--name value" (then
// i moves to the value), applied to line.
bool ReadOption(const CommandSpec& command, int argc, char** argv, int& i, CommandLine& line, std::string& error) {
  const std::string arg = argv[i];
  const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
  const std::string name = arg.substr(0, equals);
  const OptionSpec* option = FindOption(name);
  if (!option) {
    error = "unknown option '" + name + "' for " + command.name;
    return false;
  }
  if (!(option->commands & command.bit)) {
    error = "option '" + name + "' does not apply to " + command.name;
    return false;
  }
  const char* value = nullptr;
  if (option->value_name) {
    if (equals != std::string::npos) {
      value = argv[i] + equals + 1;
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      error = name + " needs a value";
      return false;
    }
  } else if (equals != std::string::npos) {
    error = name + " takes no value";
    return false;
  }
  if (!option->apply(line, value, error)) return false;
  line.writer_options_given |= option->writer_option;
  return true;
}

// The arguments after the command: options go into line, the others (and
// all after "--") into positional.
bool ReadArguments(const CommandSpec& command, int argc, char** argv, CommandLine& line,
                   std::vector<std::string>& positional, std::string& error) {
  bool options_ended = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_ended || !LooksLikeOption(arg)) {
      positional.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (!ReadOption(command, argc, argv, i, line, error)) {
      return false;
    }
  }
  return true;
}

// Standard input ("-") is read as the one input, and its output is named.
bool StandardInputFits(const CommandSpec& command, const std::vector<std::string>& positional,
                       const CommandLine& line, std::string& error) {
  // Without --out-dir, export and convert read the first and write the second.
  const bool all_inputs = line.command == Command::kInfo || !line.out_dir.empty();
  const size_t inputs = all_inputs ? positional.size() : (positional.empty() ? 0 : 1);
  bool reads_stdin = false;
  for (size_t i = 0; i < inputs; ++i) reads_stdin = reads_stdin || positional[i] == "-";
  if (!reads_stdin) return true;
  if (inputs > 1) {
    error = "standard input ('-') is read as the only input, not beside others";
    return false;
  }
  if (line.command != Command::kInfo && !line.out_dir.empty()) {
    error = std::string(command.name) + " of standard input ('-') writes the output named as OUT (a path or '-'), "
                                        "not into --out-dir";
    return false;
  }
  return true;
}

// The files named: info's documents; IN and OUT; or inputs with --out-dir.
bool ReadFiles(const CommandSpec& command, const std::vector<std::string>& positional, CommandLine& line,
               std::string& error) {
  if (!StandardInputFits(command, positional, line, error)) return false;
  if (line.command == Command::kInfo) {
    line.inputs = positional;
    if (line.json && line.inputs.empty()) {
      error = "info --json describes documents: give one or more files";
      return false;
    }
    return true;
  }
  if (line.out_dir.empty()) {
    if (positional.size() != 2) {
      error = std::string(command.name) + " needs IN and OUT, or several inputs with --out-dir";
      return false;
    }
    line.inputs.push_back(positional[0]);
    line.output = positional[1];
    return true;
  }
  if (positional.empty()) {
    error = std::string(command.name) + " needs at least one input";
    return false;
  }
  line.inputs = positional;
  if (line.command == Command::kConvert && line.format.empty()) {
    error = "convert with --out-dir needs --format";
    return false;
  }
  return true;
}

// What export and convert write (whether the output's name fits it is
// checked apart, OutputNameFitsFormat).
bool ChooseOutputFormat(CommandLine& line, std::string& error) {
  if (line.command == Command::kExport) {
    line.output_format = FindFormat("xsi");
    return true;
  }
  if (!line.format.empty()) {
    line.output_format = FindFormat(line.format);
    return true;
  }
  if (line.output == "-") {
    error = "standard output has no extension to tell the format by; give --format (" + FormatNames() + ")";
    return false;
  }
  line.output_format = FormatForPath(line.output);
  if (!line.output_format && !(error = NotWrittenLine(line.output)).empty()) return false;
  if (!line.output_format) {
    error = "cannot tell the format from '" + line.output + "'; give --format (" + FormatNames() + ")";
    return false;
  }
  return true;
}

// A writer option applies to the formats whose rows in the table of
// formats take it.
bool WriterOptionsFit(const CommandLine& line, std::string& error) {
  for (const OptionSpec& o : kOptions) {
    if (!(line.writer_options_given & o.writer_option) || (line.output_format->options & o.writer_option)) continue;
    const std::string formats = FormatNamesTaking(o.writer_option);
    error = std::string(o.name) +
            (formats.empty() ? " is not available in this build"
                             : " applies to " + formats + ", not to " + line.output_format->name);
    return false;
  }
  return true;
}

}  // namespace

const char* VersionLine() { return "vellmar " VELLMAR_VERSION; }

const OptionSpec* AllOptions(size_t& count) {
  count = std::size(kOptions);
  return kOptions;
}

unsigned ChoicePlace(const char* choices, const std::string& value) {
  unsigned place = 1;
  for (const char* start = choices;; ++place) {
    const char* end = std::strchr(start, '|');
    const size_t length = end ? static_cast<size_t>(end - start) : std::strlen(start);
    if (!value.empty() && value.compare(0, std::string::npos, start, length) == 0) return place;
    if (!end) return 0;
    start = end + 1;
  }
}

std::string HelpText(Command command) {
  for (const CommandSpec& c : kCommands) {
    if (c.command != command || command == Command::kHelp) continue;
    std::string text = c.usage;
    if (c.bit == 0) return text;
    text += "\nOptions:\n";
    for (const OptionSpec& o : kOptions)
      if (o.commands & c.bit) AppendOptionHelp(text, o);
    if (command == Command::kConvert) {
      text += "\nFormats:\n";
      AppendFormats(text);
    }
    return text;
  }
  return OverviewText();
}

bool ParseCommandLine(int argc, char** argv, CommandLine& line, std::string& error) {
  if (argc < 2) {
    error = "no command given (try 'vellmar --help')";
    return false;
  }
  const std::string first = argv[1];
  // The help and the version as options: what follows them is not read.
  if (first == "-h" || first == "--help" || first == "--version") {
    line.command = first == "--version" ? Command::kVersion : Command::kHelp;
    return true;
  }
  const CommandSpec* command = FindCommand(first);
  if (!command) {
    error = "unknown command '" + first + "' (try 'vellmar --help')";
    return false;
  }
  line.command = command->command;
  if (command->bit == 0) return ReadHelpOrVersionArguments(argc, argv, line, error);
  std::vector<std::string> positional;
  if (!ReadArguments(*command, argc, argv, line, positional, error)) return false;
  if (line.help) return true;
  if (!ReadFiles(*command, positional, line, error)) return false;
  return line.command == Command::kInfo || (ChooseOutputFormat(line, error) && WriterOptionsFit(line, error));
}
