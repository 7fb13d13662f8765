// vellmar: exports host documents through the plug-in module, converts them
// to other formats, describes them, and shows what the plug-in reports about
// itself.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "Vellmar/export_driver.h"
#include "Vellmar/host_binding.h"
#include "host/host_api.h"
#include "host/mqo_reader.h"
#include "w_lib/readers/xsi_reader.h"
#include "w_lib/util/path_parts.h"
#include "w_lib/util/texture_path.h"
#include "w_lib/writers/w_writers.h"
#include "w_lib/writers/write_result.h"
#include "tools/batch.h"
#include "tools/command_line.h"
#include "tools/console.h"
#include "tools/document_info.h"
#include "tools/exit_status.h"
#include "tools/input_loading.h"
#include "tools/interrupt_cleanup.h"
#include "tools/large_pages.h"
#include "tools/locale_charset.h"
#include "tools/module_paths.h"
#include "tools/output_formats.h"
#include "tools/output_names.h"
#include "tools/plugin_module.h"

namespace {

void Fail(const std::string& message) { PrintError(message); }

// The stand-in host module that this tool runs on, by file name: the plug-in
// binds the host's interface from it.
std::string HostModulePath() { return ModulePathOf(reinterpret_cast<const void*>(&VHost_CreateDocument)); }


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
  if (plugin.MQInit(host.c_str()) != 1) {
    Fail("the plug-in could not bind the host interface from " + host);
    return kBadInput;
  }
  return RunBatch(line, *line.output_format, false, [&](LoadedInput& input, const std::string& output) {
    ProgressStage("exporting");
    // The entry point's signature has no room for the reason: the plug-in
    // hands it over in errno, which all modules of the process share, set
    // right before it returns, and it is read once, here. Cleared first, so
    // that a plug-in which sets none gives EIO rather than a stale reason.
    errno = 0;
    if (plugin.MQExportFile(0, output.c_str(), input.document->get()) == 1) return 0;
    return LastSystemError();
  });
}

int RunConvert(const CommandLine& line) {
  const OutputFormat* format = line.output_format;
  if (!format->write) {
    Fail(std::string("the ") + format->name + " writer is not available in this build");
    return kBadInput;
  }
  if (line.compress && !CompressionAvailable()) {
    Fail("--compress is not available in this build (it has no meshoptimizer)");
    return kBadInput;
  }
  WriterOptions options;
  options.keep_order = line.keep_order;
  options.compress = line.compress;
  options.names = line.names;
  const std::string host_path = HostModulePath();
  HostTable host;
  if (!BindHost(host_path.c_str(), host)) {
    Fail("cannot bind the host interface from " + host_path);
    return kBadInput;
  }
  return RunBatch(line, *format, true, [&](LoadedInput& input, const std::string& output) {
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
    // Texture images are looked for as the host looks for them: relative
    // names in the document's folder.
    std::vector<std::string> warnings;
    WriterOptions input_options = options;
    input_options.textures.document_folder = SystemFolderOf(input.path);
    input_options.textures.warnings = &warnings;
    const int status = format->write(output.c_str(), std::move(scene), input_options).error();
    for (const std::string& warning : warnings) PrintWarning(input.path + ": " + warning);
    return status;
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
  const bool utf8_text = !line.json && LocaleCharsetIsUtf8();
  for (const std::string& input : line.inputs) {
    DocumentInfo info;
    if (!DescribeInput(line, input, info)) {
      status = kBadInput;
      continue;
    }
    infos.push_back(std::move(info));
    if (!line.json)
      std::printf("%s%s", infos.size() > 1 ? "\n" : "", DocumentInfoText(infos.back(), utf8_text).c_str());
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
  plugin.MQGetPlugInID(&product, &id);
  std::printf("module:            %s\n", path.c_str());
  std::printf("name:              %s\n", plugin.MQGetPlugInName());
  std::printf("interface version: 0x%X\n", static_cast<unsigned>(plugin.MQCheckVersion(0)));
  std::printf("type:              %d%s\n", static_cast<int>(plugin.MQGetPlugInType()),
              plugin.MQGetPlugInType() == 2 ? " (export)" : "");
  std::printf("product id:        0x%08X\n", static_cast<unsigned>(product));
  std::printf("plug-in id:        0x%08X\n", static_cast<unsigned>(id));
  for (int32_t i = 0; plugin.MQEnumFileType(i); ++i) {
    const char* ext = plugin.MQEnumFileExt(i);
    std::printf("file type %d:       %s, extension %s\n", static_cast<int>(i), plugin.MQEnumFileType(i),
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
