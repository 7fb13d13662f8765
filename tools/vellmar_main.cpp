// vellmar: exports host documents through the plug-in module, converts them
// to other formats, and shows what the plug-in reports about itself.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "Vellmar/export_driver.h"
#include "Vellmar/host_binding.h"
#include "host/host_api.h"
#include "w_lib/util/text.h"
#include "tools/command_line.h"
#include "tools/document_preparation.h"
#include "tools/file_identity.h"
#include "tools/interrupt_cleanup.h"
#include "tools/large_pages.h"
#include "tools/module_paths.h"
#include "tools/output_formats.h"
#include "tools/plugin_module.h"

namespace {

constexpr int kOk = 0;
constexpr int kCannotWrite = 1;
constexpr int kBadInput = 2;

void Fail(const std::string& message) { std::fprintf(stderr, "vellmar: %s\n", message.c_str()); }

// The stand-in host module that this tool runs on, by file name: the plug-in
// binds the host's interface from it.
std::string HostModulePath() { return ModulePathOf(reinterpret_cast<const void*>(&VHost_CreateDocument)); }

// A document loaded into the stand-in host, released on every path.
class LoadedDocument {
 public:
  LoadedDocument(const std::string& path, uint64_t max_size) {
    char error[1024] = {};
    char warning[1024] = {};
    doc_ = VHost_LoadDocumentLimited(path.c_str(), max_size, error, sizeof error, warning, sizeof warning);
    if (!doc_) error_ = error;
    warning_ = warning;
  }
  ~LoadedDocument() {
    if (doc_) VHost_DestroyDocument(doc_);
  }
  LoadedDocument(const LoadedDocument&) = delete;
  LoadedDocument& operator=(const LoadedDocument&) = delete;
  MQDocument get() const { return doc_; }
  const std::string& error() const { return error_; }
  const std::string& warning() const { return warning_; }

 private:
  MQDocument doc_ = nullptr;
  std::string error_;
  std::string warning_;
};

// The file name of a path without its folder and extension.
std::string Stem(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string OutputFor(const CommandLine& line, const std::string& input, const char* extension) {
  if (line.out_dir.empty()) return line.output;
  const char last = line.out_dir.back();
  const bool has_separator = last == '/' || last == '\\';
  return line.out_dir + (has_separator ? "" : "/") + Stem(input) + extension;
}

void ApplyDialogOptions(const CommandLine& line) {
  VHost_SetExportOptions(line.scale, line.axis[0], line.axis[1], line.axis[2], line.cancel ? 1 : 0);
}

// Worst status first: bad input, then unwritable output.
int Combine(int status, int next) {
  if (status == kBadInput || next == kBadInput) return kBadInput;
  return status == kCannotWrite || next == kCannotWrite ? kCannotWrite : kOk;
}

// The files that writing output makes: the output, and an OBJ file's
// material file beside it.
std::vector<std::string> FilesWrittenFor(const std::string& output, bool with_material_file) {
  std::vector<std::string> files{output};
  if (with_material_file) {
    const std::string material = ReplaceExtension(output.c_str(), ".mtl");
    if (material != output) files.push_back(material);
  }
  return files;
}

// Refuses, before any work, a run in which an output is one of the inputs,
// however either is spelled: writing it would destroy the document.
bool OutputsSpareInputs(const CommandLine& line, const char* extension, bool with_material_file) {
  std::vector<std::pair<FileIdentity, const std::string*>> inputs;
  for (const std::string& input : line.inputs) {
    FileIdentity identity;
    if (IdentifyFile(input, identity) && identity.regular) inputs.emplace_back(identity, &input);
  }
  bool spared = true;
  for (const std::string& input : line.inputs) {
    for (const std::string& file : FilesWrittenFor(OutputFor(line, input, extension), with_material_file)) {
      FileIdentity identity;
      if (!IdentifyFile(file, identity)) continue;
      for (const auto& [known, name] : inputs) {
        if (SameFile(identity, known)) {
          Fail(file + ": not written: it is the input " + *name);
          spared = false;
          break;
        }
      }
    }
  }
  return spared;
}

// The reason of a failed write, from the errno it left.
std::string Reason(int error) { return error != 0 ? std::strerror(error) : "the file could not be written"; }

// Loads each input in turn into the stand-in host and lets write make its
// output; write returns 0, or the errno of its failure. A bad input or a
// failed output is reported and the batch goes on. Returns the worst status.
// Two inputs of one name would write the same output, the second over the
// first; the second is refused instead.
template <class Write>
int ForEachInput(const CommandLine& line, const char* extension, bool with_material_file, Write&& write) {
  if (!OutputsSpareInputs(line, extension, with_material_file)) return kBadInput;
  int status = kOk;
  std::map<std::string, std::string> written;  // output -> its input
  for (const std::string& input : line.inputs) {
    const std::string output = OutputFor(line, input, extension);
    const auto earlier = written.find(output);
    if (earlier != written.end()) {
      Fail(input + ": not written, " + output + " already holds the output of " + earlier->second);
      status = Combine(status, kBadInput);
      continue;
    }
    LoadedDocument doc(input, line.max_document_size);
    if (!doc.get()) {
      Fail(doc.error());
      status = Combine(status, kBadInput);
      continue;
    }
    if (!doc.warning().empty()) std::fprintf(stderr, "vellmar: warning: %s\n", doc.warning().c_str());
    std::string error, note;
    if (!PrepareDocument(line, doc.get(), error, note)) {
      Fail(input + ": " + error);
      status = Combine(status, kBadInput);
      continue;
    }
    if (!note.empty()) std::fprintf(stderr, "vellmar: note: %s: %s\n", input.c_str(), note.c_str());
    ApplyDialogOptions(line);
    char object[256] = {};
    if (VHost_FindNonFiniteObject(doc.get(), object, sizeof object) >= 0) {
      Fail(input + ": object \"" + object + "\" has a coordinate that is not a finite number after --scale and "
                   "--axes; nothing written");
      status = Combine(status, kBadInput);
      continue;
    }
    BeginOutputs(FilesWrittenFor(output, with_material_file));
    const int write_error = write(doc.get(), output);
    EndOutputs();
    if (write_error != 0) {
      Fail(output + ": cannot write: " + Reason(write_error));
      status = Combine(status, kCannotWrite);
      continue;
    }
    written.emplace(output, input);
    std::printf("%s -> %s\n", input.c_str(), output.c_str());
  }
  return status;
}

// errno after a failed write, never 0.
int WriteError() { return errno != 0 ? errno : EIO; }

std::string PluginPath(const CommandLine& line) {
  return line.plugin.empty() ? PluginFileIn(ExecutableFolder()) : line.plugin;
}

int RunExport(const CommandLine& line) {
  PluginModule plugin;
  std::string error;
  if (!plugin.Load(PluginPath(line), error) || !plugin.CheckIsXsiExporter(error)) {
    Fail(error);
    return kBadInput;
  }
  const std::string host = HostModulePath();
  if (plugin.init(host.c_str()) != 1) {
    Fail("the plug-in could not bind the host interface from " + host);
    return kBadInput;
  }
  return ForEachInput(line, ".xsi", false, [&](MQDocument doc, const std::string& output) {
    // The plug-in leaves the reason of a failure in errno, which all modules
    // of the process share.
    errno = 0;
    return plugin.export_file(0, output.c_str(), doc) == 1 ? 0 : WriteError();
  });
}

int RunConvert(const CommandLine& line) {
  const OutputFormat* format = line.format.empty() ? FormatForPath(line.output) : FindFormat(line.format);
  if (!format) {
    if (line.format.empty())
      Fail("cannot tell the format from '" + line.output + "'; give --format (" + FormatNames() + ")");
    else
      Fail("unknown format '" + line.format + "' (" + FormatNames() + ")");
    return kBadInput;
  }
  if (!format->write) {
    Fail(std::string("the ") + format->name + " writer is not available in this build");
    return kBadInput;
  }
  const std::string host_path = HostModulePath();
  HostTable host;
  if (!BindHost(host_path.c_str(), host)) {
    Fail("cannot bind the host interface from " + host_path);
    return kBadInput;
  }
  const bool with_material_file = std::string(format->name) == "obj";
  return ForEachInput(line, format->extension, with_material_file, [&](MQDocument doc, const std::string& output) {
    WScene scene;
    format->prepare(host, doc, scene);
    errno = 0;
    return format->write(output.c_str(), scene) ? 0 : WriteError();
  });
}

int RunInfo(const CommandLine& line) {
  PluginModule plugin;
  std::string error;
  const std::string path = PluginPath(line);
  if (!plugin.Load(path, error)) {
    Fail(error);
    return kBadInput;
  }
  uint32_t product = 0, id = 0;
  plugin.get_id(&product, &id);
  std::printf("module:            %s\n", path.c_str());
  std::printf("name:              %s\n", plugin.get_name());
  std::printf("interface version: 0x%X\n", static_cast<unsigned>(plugin.check_version(0)));
  std::printf("type:              %d%s\n", static_cast<int>(plugin.get_type()),
              plugin.get_type() == 2 ? " (export)" : "");
  std::printf("product id:        0x%08X\n", static_cast<unsigned>(product));
  std::printf("plug-in id:        0x%08X\n", static_cast<unsigned>(id));
  for (int32_t i = 0; plugin.enum_file_type(i); ++i) {
    const char* ext = plugin.enum_file_ext(i);
    std::printf("file type %d:       %s, extension %s\n", static_cast<int>(i), plugin.enum_file_type(i),
                ext ? ext : "(none)");
  }
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  RestartWithLargePages(argv);
  InstallInterruptCleanup();
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(argc, argv, line, error)) {
    Fail(error);
    return kBadInput;
  }
  if (line.command == Command::kHelp || line.help) {
    std::fputs(HelpText(line.help ? line.command : Command::kNone), stdout);
    return kOk;
  }
  if (!line.out_dir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(line.out_dir, ec);
    if (ec) {
      Fail(line.out_dir + ": cannot create the folder: " + ec.message());
      return kCannotWrite;
    }
  }
  try {
    switch (line.command) {
      case Command::kExport: return RunExport(line);
      case Command::kConvert: return RunConvert(line);
      case Command::kInfo: return RunInfo(line);
      default: return kBadInput;
    }
  } catch (const std::bad_alloc&) {
    Fail("out of memory");
    return kBadInput;
  }
}
