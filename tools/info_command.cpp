// info: what documents hold, or what the plug-in module reports about
// itself.
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "host/mqo_reader.h"
#include "w_lib/readers/xsi_reader.h"
#include "tools/commands.h"
#include "tools/console.h"
#include "tools/document_info.h"
#include "tools/exit_status.h"
#include "tools/input_loading.h"
#include "tools/jobs.h"
#include "tools/locale_charset.h"
#include "tools/module_paths.h"
#include "tools/output_formats.h"
#include "tools/plugin_module.h"

namespace {

// Describes one document or dotXSI file, read from path and named input;
// false, with the reason reported, when it cannot be read.
bool DescribeFile(const CommandLine& line, const std::string& path, const std::string& input, bool dotxsi,
                  DocumentInfo& info) {
  std::string error;
  if (dotxsi) {
    WScene scene;
    XsiReadReport report;
    if (!ReadXsiFile(path.c_str(), scene, report, error, line.max_document_size)) {
      PrintError(ReaderLineNamed(error, path, input));
      return false;
    }
    info = DescribeXsiScene(scene, report, input);
    return true;
  }
  MQDocumentRecord doc;
  std::string warning;
  if (!ReadMqoDocument(path.c_str(), doc, error, &warning, line.max_document_size)) {
    PrintError(ReaderLineNamed(error, path, input));
    return false;
  }
  if (!warning.empty()) PrintWarning(ReaderLineNamed(warning, path, input));
  info = DescribeDocument(doc, input);
  return true;
}

// Describes one document or dotXSI file, or standard input ("-"); false,
// with the reason reported, when it cannot be read.
bool DescribeInput(const CommandLine& line, const std::string& input, DocumentInfo& info) {
  if (IsStandardInput(input)) {
    ScratchFile staged;
    bool dotxsi = false;
    std::string error;
    if (!StageStandardInput(line.max_document_size, staged, dotxsi, error)) {
      PrintError(error);
      return false;
    }
    return DescribeFile(line, staged.path(), input, dotxsi, info);
  }
  return DescribeFile(line, input, input, IsDotXsiInput(input), info);
}

// Describes each document, several at once (--jobs) and shown in order; one
// that cannot be read is reported and the others are described.
int DescribeDocuments(const CommandLine& line) {
  const size_t count = line.inputs.size();
  std::vector<DocumentInfo> infos(count);
  std::vector<char> described(count, 0);
  const auto work = [&](size_t i) {
    try {
      described[i] = DescribeInput(line, line.inputs[i], infos[i]);
    } catch (const std::bad_alloc&) {
      PrintError(line.inputs[i] + ": out of memory");
    }
  };
  int status = kOk;
  size_t shown = 0;
  const bool utf8_text = !line.json && LocaleCharsetIsUtf8();
  const auto show = [&](size_t i) {
    if (!described[i]) {
      status = kBadInput;
      return;
    }
    if (!line.json) {
      std::printf("%s%s", shown > 0 ? "\n" : "", DocumentInfoText(infos[i], utf8_text).c_str());
      // Each description whole before the next; its memory goes with it.
      infos[i] = DocumentInfo();
    }
    ++shown;
  };
  RunJobsInOrder(count, JobCount(line.jobs, count), work, show);
  if (line.json) {
    std::vector<DocumentInfo> read;
    for (size_t i = 0; i < count; ++i)
      if (described[i]) read.push_back(std::move(infos[i]));
    std::fputs(DocumentInfoJson(read).c_str(), stdout);
  }
  return status;
}

}  // namespace

int RunInfo(const CommandLine& line) {
  if (!line.inputs.empty()) return DescribeDocuments(line);
  PluginModule plugin;
  std::string error;
  const std::string path = PluginPath(line.plugin);
  if (!plugin.Load(path, error)) {
    PrintError(error);
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

