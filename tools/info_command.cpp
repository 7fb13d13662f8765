// info: what documents hold, or what the plug-in module reports about
// itself.
#include <cstdint>
#include <cstdio>
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
#include "tools/locale_charset.h"
#include "tools/module_paths.h"
#include "tools/output_formats.h"
#include "tools/plugin_module.h"

namespace {

// Describes one document or dotXSI file; false, with the reason reported,
// when it cannot be read.
bool DescribeInput(const CommandLine& line, const std::string& input, DocumentInfo& info) {
  std::string error;
  if (IsDotXsiInput(input)) {
    WScene scene;
    XsiReadReport report;
    if (!ReadXsiFile(input.c_str(), scene, report, error, line.max_document_size)) {
      PrintError(error);
      return false;
    }
    info = DescribeXsiScene(scene, report, input);
    return true;
  }
  MQDocumentRecord doc;
  std::string warning;
  if (!ReadMqoDocument(input.c_str(), doc, error, &warning, line.max_document_size)) {
    PrintError(error);
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

