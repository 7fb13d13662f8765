// vellmar: exports host documents through the plug-in module, converts them
// to other formats, describes them, and shows what the plug-in reports about
// itself.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "Vellmar/export_driver.h"
#include "Vellmar/host_binding.h"
#include "host/host_api.h"
#include "host/mqo_reader.h"
#include "w_lib/readers/xsi_reader.h"
#include "w_lib/util/text.h"
#include "w_lib/writers/file_replace.h"
#include "tools/command_line.h"
#include "tools/console.h"
#include "tools/cut_names.h"
#include "tools/document_info.h"
#include "tools/document_preparation.h"
#include "tools/file_identity.h"
#include "tools/interrupt_cleanup.h"
#include "tools/large_pages.h"
#include "tools/module_paths.h"
#include "tools/output_formats.h"
#include "tools/output_names.h"
#include "tools/plugin_module.h"
#include "tools/standard_output.h"
#include "tools/texture_files.h"

namespace {

constexpr int kOk = 0;
constexpr int kCannotWrite = 1;
constexpr int kBadInput = 2;

void Fail(const std::string& message) { PrintError(message); }

// The stand-in host module that this tool runs on, by file name: the plug-in
// binds the host's interface from it.
std::string HostModulePath() { return ModulePathOf(reinterpret_cast<const void*>(&VHost_CreateDocument)); }

// The host's interface bound from that module once, as the plug-in binds
// it; null when it cannot be bound.
const HostTable* BoundHost() {
  static HostTable host;
  static const bool bound = BindHost(HostModulePath().c_str(), host);
  return bound ? &host : nullptr;
}

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
  // Frees the document before its end of scope, once nothing needs it.
  void Release() {
    if (doc_) VHost_DestroyDocument(doc_);
    doc_ = nullptr;
  }
  const std::string& error() const { return error_; }
  const std::string& warning() const { return warning_; }

 private:
  MQDocument doc_ = nullptr;
  std::string error_;
  std::string warning_;
};

// An input as read: a host document loaded into the stand-in host, or the
// scene of a dotXSI file, which is read without the host.
struct LoadedInput {
  std::unique_ptr<LoadedDocument> document;  // null for a dotXSI file
  WScene scene;
};

// Whether an input is a dotXSI file: by its extension, or (a regular file)
// by its first bytes. A pipe is not read ahead, which would lose its bytes.
bool IsDotXsiInput(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot != std::string::npos && path.find_first_of("/\\", dot) == std::string::npos) {
    std::string extension = path.substr(dot);
    for (char& c : extension) c = static_cast<char>(c | 0x20);
    if (extension == ".xsi") return true;
  }
  FileIdentity identity;
  if (!IdentifyFile(path, identity) || !identity.regular) return false;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char start[4] = {};
  const size_t got = std::fread(start, 1, sizeof start, file);
  std::fclose(file);
  return LooksLikeXsiText(start, got);
}

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

// The files that writing output makes: the output, and its companion
// beside it (an OBJ file's material file, a .gltf file's buffer).
std::vector<std::string> FilesWrittenFor(const std::string& output, const OutputFormat& format) {
  std::vector<std::string> files{output};
  if (format.companion_extension) {
    const std::string companion = ReplaceExtension(output.c_str(), format.companion_extension);
    if (companion != output) files.push_back(companion);
  }
  return files;
}

// Refuses, before any work, a run in which an output is one of the inputs,
// however either is spelled: writing it would destroy the document.
bool OutputsSpareInputs(const CommandLine& line, const OutputFormat& format) {
  std::vector<std::pair<FileIdentity, const std::string*>> inputs;
  for (const std::string& input : line.inputs) {
    FileIdentity identity;
    if (IdentifyFile(input, identity) && identity.regular) inputs.emplace_back(identity, &input);
  }
  bool spared = true;
  for (const std::string& input : line.inputs) {
    for (const std::string& file : FilesWrittenFor(OutputFor(line, input, format.extensions[0]), format)) {
      // "-" is standard output, which may have been sent to an input.
      FileIdentity identity;
      if (!(file == "-" && line.out_dir.empty() ? IdentifyStandardOutput(identity) : IdentifyFile(file, identity)))
        continue;
      for (const auto& [known, name] : inputs) {
        if (SameFile(identity, known)) {
          Fail((file == "-" ? "standard output" : file) + ": not written: it is the input " + *name);
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

// Refuses, before any work, an output that cannot take the format: one of
// several files, or one with a companion file beside it, cannot go to
// standard output; nor can a companion be made beside a device.
bool OutputTakesFormat(const CommandLine& line, const OutputFormat& format) {
  if (!line.out_dir.empty()) return true;
  const bool to_stdout = IsStandardOutput(line.output);
  if (to_stdout && format.companion_extension) {
    Fail(std::string(format.name) + " cannot be written to standard output: its " + format.companion_extension +
         " file needs a path beside it");
    return false;
  }
  if (to_stdout && !format.can_stream) {
    Fail(std::string(format.name) + " cannot be written to standard output: it is more than one file");
    return false;
  }
  FileIdentity identity;
  if (format.companion_extension && IdentifyFile(line.output, identity) && !identity.regular) {
    Fail(line.output + ": not written: " + format.name + " needs a file, with its " + format.companion_extension +
         " file beside it");
    return false;
  }
  return true;
}

// Loads a host document into the stand-in host and prepares it as the
// options ask; false, with the reason reported, for a bad input.
bool LoadHostDocument(const CommandLine& line, const std::string& input, LoadedInput& loaded) {
  loaded.document = std::make_unique<LoadedDocument>(input, line.max_document_size);
  LoadedDocument& doc = *loaded.document;
  if (!doc.get()) {
    Fail(doc.error());
    return false;
  }
  if (!doc.warning().empty()) PrintWarning(doc.warning());
  std::string error, note;
  std::vector<std::string> warnings;
  ProgressStage("preparing");
  if (!PrepareDocument(line, doc.get(), error, note, warnings)) {
    Fail(input + ": " + error);
    return false;
  }
  for (const std::string& warning : warnings) PrintWarning(input + ": " + warning);
  if (const HostTable* host = BoundHost())
    for (const std::string& warning : CutNameWarnings(*host, doc.get(), DocumentFolder(input)))
      PrintWarning(input + ": " + warning);
  if (!note.empty()) PrintNote(input + ": " + note);
  ApplyDialogOptions(line);
  char object[256] = {};
  if (VHost_FindNonFiniteObject(doc.get(), object, sizeof object) >= 0) {
    Fail(input + ": object \"" + object + "\" has a coordinate that is not a finite number after --scale and "
                 "--axes; nothing written");
    return false;
  }
  return true;
}

// Reads a dotXSI file's scene, where the command takes one and no option
// asks for what only a host document has; false, with the reason reported,
// for a bad input. What the scene leaves out of the file is noted.
bool ReadDotXsiInput(const CommandLine& line, const std::string& input, bool reads_dotxsi, LoadedInput& loaded) {
  if (!reads_dotxsi) {
    Fail(input + ": export reads host documents (.mqo, .mqoz), not dotXSI files; convert reads dotXSI");
    return false;
  }
  if (const char* option = HostDocumentOption(line)) {
    Fail(input + ": " + option + " applies to host documents; a dotXSI file is converted as it is");
    return false;
  }
  XsiReadReport report;
  std::string error;
  if (!ReadXsiFile(input.c_str(), loaded.scene, report, error, line.max_document_size)) {
    Fail(error);
    return false;
  }
  const std::string left_out = LeftOutText(report);
  if (!left_out.empty()) PrintNote(input + ": left out: " + left_out);
  return true;
}

// Runs the progress of a batch while it is in scope.
class ProgressRun {
 public:
  explicit ProgressRun(size_t files) { BeginProgress(files); }
  ~ProgressRun() { EndProgress(done, failed); }
  ProgressRun(const ProgressRun&) = delete;
  ProgressRun& operator=(const ProgressRun&) = delete;
  size_t done = 0, failed = 0;
};

// Writes the output through write into a scratch file and copies that to
// standard output; returns 0 or the errno of the failure.
template <class Write>
int WriteToStandardOutput(LoadedInput& input, const OutputFormat& format, Write& write, bool& copy_failed) {
  int error = 0;
  {
    ScratchFile scratch;
    if (!scratch.Create(format.extensions[0])) return errno != 0 ? errno : EIO;
    if (!scratch.folder().empty()) BeginScratch(scratch.path(), scratch.folder());
    BeginOutputs(FilesWrittenFor(scratch.path(), format));
    error = write(input, scratch.path());
    EndOutputs();
    if (error == 0) {
      ProgressStage("copying to standard output");
      error = CopyToStandardOutput(scratch.path());
      copy_failed = error != 0;
    }
  }
  EndScratch();
  return error;
}

// Loads each input in turn (a document into the stand-in host, or a dotXSI
// file's scene where reads_dotxsi) and lets write make its output from it;
// write may release the document once it has read it, and returns 0 or the
// errno of its failure. A bad input or a failed output is reported and the
// batch goes on. Returns the worst status.
// Two inputs of one name would write the same output, the second over the
// first; the second is refused instead. An output that is standard output
// goes there through a scratch file, and then no other line goes there.
template <class Write>
int ForEachInput(const CommandLine& line, const OutputFormat& format, bool reads_dotxsi, Write&& write) {
  if (!OutputTakesFormat(line, format) || !OutputsSpareInputs(line, format)) return kBadInput;
  const bool to_stdout = line.out_dir.empty() && IsStandardOutput(line.output);
  int status = kOk;
  std::map<std::string, std::string> written;  // each file written -> its input
  ProgressRun progress(line.inputs.size());
  for (size_t i = 0; i < line.inputs.size(); ++i) {
    const std::string& input = line.inputs[i];
    ProgressFile(i, input);
    ++progress.failed;  // until it is written
    const std::string output = OutputFor(line, input, format.extensions[0]);
    const std::vector<std::string> files = FilesWrittenFor(output, format);
    const auto taken = std::find_if(files.begin(), files.end(),
                                    [&](const std::string& file) { return written.count(file) != 0; });
    if (taken != files.end()) {
      Fail(input + ": not written, " + *taken + " already holds the output of " + written[*taken]);
      status = Combine(status, kBadInput);
      continue;
    }
    // An output that cannot be written (a folder in the way of its
    // companion, a read-only file) fails before the work.
    int blocked = 0;
    for (size_t f = 0; f < files.size() && !to_stdout && blocked == 0; ++f) {
      blocked = CheckFileWritable(files[f]);
      if (blocked != 0) Fail(files[f] + ": cannot write: " + Reason(blocked));
    }
    if (blocked != 0) {
      status = Combine(status, kCannotWrite);
      continue;
    }
    ProgressStage("reading");
    LoadedInput loaded;
    if (!(IsDotXsiInput(input) ? ReadDotXsiInput(line, input, reads_dotxsi, loaded)
                               : LoadHostDocument(line, input, loaded))) {
      status = Combine(status, kBadInput);
      continue;
    }
    int write_error = 0;
    bool copy_failed = false;
    if (to_stdout) {
      write_error = WriteToStandardOutput(loaded, format, write, copy_failed);
    } else {
      BeginOutputs(files);
      write_error = write(loaded, output);
      EndOutputs();
    }
    if (write_error != 0) {
      Fail((to_stdout ? std::string(copy_failed ? "standard output" : "the scratch file for standard output")
                      : output) +
           ": cannot write: " + Reason(write_error));
      status = Combine(status, kCannotWrite);
      continue;
    }
    for (const std::string& file : files) written.emplace(file, input);
    --progress.failed;
    ++progress.done;
    if (!to_stdout && !line.quiet)
      std::printf("%s -> %s\n", EscapeControlCharacters(input).c_str(), EscapeControlCharacters(output).c_str());
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
  return ForEachInput(line, *line.output_format, false, [&](LoadedInput& input, const std::string& output) {
    // The plug-in leaves the reason of a failure in errno, which all modules
    // of the process share.
    ProgressStage("exporting");
    errno = 0;
    return plugin.export_file(0, output.c_str(), input.document->get()) == 1 ? 0 : WriteError();
  });
}

int RunConvert(const CommandLine& line) {
  const OutputFormat* format = line.output_format;
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
  return ForEachInput(line, *format, true, [&](LoadedInput& input, const std::string& output) {
    WScene scene;
    ProgressStage("running the passes");
    if (input.document) {
      LoadedDocument& doc = *input.document;
      ReadDocumentWithDialog(host, doc.get(), scene);
      scene.utf8_names = VHost_DocumentNamesAreUtf8(doc.get()) != 0;
      // The scene holds all that the passes and the writer read: the
      // document's memory goes back before they make their own.
      doc.Release();
      format->passes(scene);
    } else {
      // A dotXSI file's scene is in the writers' convention already.
      scene = std::move(input.scene);
      format->read_scene_passes(scene);
    }
    ProgressStage("writing");
    errno = 0;
    return format->write(output.c_str(), std::move(scene)) ? 0 : WriteError();
  });
}

// Describes one document or dotXSI file; false, with the reason reported,
// when it cannot be read.
bool DescribeInput(const CommandLine& line, const std::string& input, DocumentInfo& info) {
  std::string error;
  if (IsDotXsiInput(input)) {
    WScene scene;
    XsiReadReport report;
    if (!ReadXsiFile(input.c_str(), scene, report, error, line.max_document_size)) {
      Fail(error);
      return false;
    }
    info = DescribeXsiScene(scene, report, input);
    return true;
  }
  MQDocumentRecord doc;
  std::string warning;
  if (!ReadMqoDocument(input.c_str(), doc, error, &warning, line.max_document_size)) {
    Fail(error);
    return false;
  }
  if (!warning.empty()) PrintWarning(warning);
  info = DescribeDocument(doc, input);
  return true;
}

// Describes each document; one that cannot be read is reported and the
// others are described.
int DescribeDocuments(const CommandLine& line) {
  int status = kOk;
  std::vector<DocumentInfo> infos;
  for (const std::string& input : line.inputs) {
    DocumentInfo info;
    if (!DescribeInput(line, input, info)) {
      status = kBadInput;
      continue;
    }
    infos.push_back(std::move(info));
    if (!line.json) std::printf("%s%s", infos.size() > 1 ? "\n" : "", DocumentInfoText(infos.back()).c_str());
  }
  if (line.json) std::fputs(DocumentInfoJson(infos).c_str(), stdout);
  return status;
}

int RunInfo(const CommandLine& line) {
  if (!line.inputs.empty()) return DescribeDocuments(line);
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
  size_t count = 0;
  const OutputFormat* formats = AllFormats(count);
  std::printf("convert writes:   ");
  for (size_t i = 0; i < count; ++i)
    if (formats[i].write) std::printf(" %s", formats[i].name);
  std::printf("\n");
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
    std::fputs(HelpText(line.help ? line.command : Command::kNone).c_str(), stdout);
    return kOk;
  }
  if (line.command == Command::kVersion) {
    std::printf("%s\n", VersionLine());
    return kOk;
  }
  SetUpConsole(line.quiet);
  if (!OutputNameFitsFormat(line, error)) {
    Fail(error);
    return kBadInput;
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
