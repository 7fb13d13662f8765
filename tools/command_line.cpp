// Parsing the vellmar command line.
#include "tools/command_line.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

const char kOverview[] =
    "Usage: vellmar COMMAND [ARGS]\n"
    "\n"
    "Exports host documents (.mqo, .mqoz) as dotXSI through the Vellmar plug-in,\n"
    "or converts them to other formats.\n"
    "\n"
    "Commands:\n"
    "  export   export documents to dotXSI through the plug-in module\n"
    "  convert  convert documents to dotXSI, DirectX, OBJ, .mqo, DXF or a scene dump\n"
    "  info     show what the plug-in module reports about itself\n"
    "\n"
    "Run 'vellmar COMMAND --help' for a command's options.\n"
    "Exit status: 0 success, 1 an output could not be written, 2 bad input or usage,\n"
    "130 and 143 interrupted by SIGINT and SIGTERM (no partial file is left).\n";

const char kExportHelp[] =
    "Usage: vellmar export IN.mqo OUT.xsi [OPTIONS]\n"
    "       vellmar export IN.mqo... --out-dir DIR [OPTIONS]\n"
    "\n"
    "Loads each document into the stand-in host and exports it through the plug-in\n"
    "module exactly as the host does (MQInit, then MQExportFile).\n"
    "\n"
    "Options:\n"
    "  --plugin PATH   the plug-in module (default: the one beside this tool)\n"
    "  --scale F       scale the document by F before export (default 1)\n"
    "  --axes A,B,C    the document axes that become x, y and z, each one of\n"
    "                  x, y, z, -x, -y, -z (default x,y,z)\n"
    "  --cancel        cancel the export options dialog (the export goes on\n"
    "                  with the plug-in's own defaults, as in the host)\n"
    "  --freeze        export each object as the host shows it: its lathe, mirror\n"
    "                  and subdivision surface become plain faces\n"
    "  --visible-only  leave out the objects the document hides\n"
    "  --out-dir DIR   write DIR/NAME.xsi for each input\n"
    "  --max-document-size N\n"
    "                  refuse a document whose text passes N bytes (K, M, G:\n"
    "                  KiB, MiB, GiB) inside a .mqoz archive or read from a\n"
    "                  device or pipe (default 1G)\n"
    "  -h, --help      show this help\n";

const char kConvertHelp[] =
    "Usage: vellmar convert IN.mqo OUT [--format FORMAT]\n"
    "       vellmar convert IN.mqo... --out-dir DIR --format FORMAT\n"
    "\n"
    "Reads the document as an export does and writes it in FORMAT, each in its\n"
    "own format's conventions (see the README):\n"
    "  xsi           dotXSI 3.0 (.xsi)\n"
    "  x             DirectX text (.x)\n"
    "  obj           Wavefront OBJ with its material file (.obj)\n"
    "  mqo           the host's own document text (.mqo)\n"
    "  dxf           DXF with 3DFACE entities (.dxf)\n"
    "  dxf-polyface  DXF with polyface meshes\n"
    "  dump          a diagnostic listing of the scene (.txt)\n"
    "  gltf          glTF 2.0 with its buffer file (.gltf, .bin)\n"
    "  glb           binary glTF 2.0 (.glb)\n"
    "Without --format the format comes from OUT's extension.\n"
    "\n"
    "Options:\n"
    "  --format FORMAT  the output format\n"
    "  --scale F, --axes A,B,C, --cancel, --freeze, --visible-only,\n"
    "  --max-document-size N\n"
    "                   as for export\n"
    "  --out-dir DIR    write DIR/NAME.EXT for each input\n"
    "  -h, --help       show this help\n";

const char kInfoHelp[] =
    "Usage: vellmar info [--plugin PATH]\n"
    "\n"
    "Prints the plug-in module's name, interface version, identifiers and file types.\n"
    "\n"
    "Options:\n"
    "  --plugin PATH   the plug-in module (default: the one beside this tool)\n"
    "  -h, --help      show this help\n";

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
  auto result = std::from_chars(text, end, scale);
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

}  // namespace

const char* HelpText(Command command) {
  switch (command) {
    case Command::kExport: return kExportHelp;
    case Command::kConvert: return kConvertHelp;
    case Command::kInfo: return kInfoHelp;
    default: return kOverview;
  }
}

bool ParseCommandLine(int argc, char** argv, CommandLine& line, std::string& error) {
  if (argc < 2) {
    error = "no command given (try 'vellmar --help')";
    return false;
  }
  const std::string command = argv[1];
  if (command == "export") line.command = Command::kExport;
  else if (command == "convert") line.command = Command::kConvert;
  else if (command == "info") line.command = Command::kInfo;
  else if (command == "-h" || command == "--help" || command == "help") {
    line.command = Command::kHelp;
    return true;
  } else {
    error = "unknown command '" + command + "' (try 'vellmar --help')";
    return false;
  }

  std::vector<std::string> positional;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* option) -> const char* {
      if (i + 1 >= argc) {
        error = std::string(option) + " needs a value";
        return nullptr;
      }
      return argv[++i];
    };
    if (arg == "-h" || arg == "--help") {
      line.help = true;
    } else if (arg == "--plugin") {
      const char* v = value("--plugin");
      if (!v) return false;
      line.plugin = v;
    } else if (arg == "--out-dir" && line.command != Command::kInfo) {
      const char* v = value("--out-dir");
      if (!v) return false;
      line.out_dir = v;
    } else if (arg == "--format" && line.command == Command::kConvert) {
      const char* v = value("--format");
      if (!v) return false;
      line.format = v;
    } else if (arg == "--scale" && line.command != Command::kInfo) {
      const char* v = value("--scale");
      if (!v) return false;
      if (!ParseScale(v, line.scale)) {
        error = std::string("--scale needs a finite number other than 0, not '") + v + "'";
        return false;
      }
    } else if (arg == "--axes" && line.command != Command::kInfo) {
      const char* v = value("--axes");
      if (!v) return false;
      if (!ParseAxes(v, line.axis)) {
        error = std::string("--axes needs three of x, y, z (each once, optionally with '-'), not '") + v + "'";
        return false;
      }
    } else if (arg == "--max-document-size" && line.command != Command::kInfo) {
      const char* v = value("--max-document-size");
      if (!v) return false;
      if (!ParseSize(v, line.max_document_size)) {
        error = std::string("--max-document-size needs a byte count above 0, optionally with K, M or G, not '") + v +
                "'";
        return false;
      }
    } else if (arg == "--cancel" && line.command != Command::kInfo) {
      line.cancel = true;
    } else if (arg == "--freeze" && line.command != Command::kInfo) {
      line.freeze = true;
    } else if (arg == "--visible-only" && line.command != Command::kInfo) {
      line.visible_only = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option '" + arg + "' for " + command;
      return false;
    } else {
      positional.push_back(arg);
    }
  }
  if (line.help) return true;

  if (line.command == Command::kInfo) {
    if (!positional.empty()) {
      error = "info takes no file arguments";
      return false;
    }
    return true;
  }
  if (line.out_dir.empty()) {
    if (positional.size() != 2) {
      error = command + " needs IN and OUT, or several inputs with --out-dir";
      return false;
    }
    line.inputs.push_back(positional[0]);
    line.output = positional[1];
  } else {
    if (positional.empty()) {
      error = command + " needs at least one input";
      return false;
    }
    line.inputs = positional;
    if (line.command == Command::kConvert && line.format.empty()) {
      error = "convert with --out-dir needs --format";
      return false;
    }
  }
  return true;
}
