// The check of an output's name against the format written to it.
#include "tools/output_names.h"

#include <cstdio>

#include "w_lib/readers/xsi_reader.h"
#include "tools/command_line.h"
#include "tools/output_formats.h"
#include "tools/standard_output.h"
#include "w_lib/writers/file_replace.h"

namespace {

struct OtherFormat {
  const char* extension;  // with the dot, in lower case
  const char* kind;
};

// Files that convert does not write but meets beside its inputs and
// outputs.
const OtherFormat kOtherFormats[] = {
    {".mqoz", "the host's document archive"},
    {".mtl", "an OBJ material file"},
    {".bin", "a glTF buffer"},
    {".png", "an image"},  {".jpg", "an image"}, {".jpeg", "an image"}, {".bmp", "an image"},
    {".tga", "an image"},  {".dds", "an image"}, {".gif", "an image"},  {".tif", "an image"},
    {".tiff", "an image"}, {".psd", "an image"}, {".hdr", "an image"},  {".exr", "an image"},
    {".webp", "an image"}, {".ktx", "an image"}, {".ktx2", "an image"},
    {".fbx", "a model"},   {".dae", "a model"},  {".3ds", "a model"},   {".stl", "a model"},
    {".ply", "a model"},   {".blend", "a model"}, {".lwo", "a model"},  {".abc", "a model"},
    {".usd", "a model"},   {".usda", "a model"}, {".usdc", "a model"},  {".usdz", "a model"},
    {".wrl", "a model"},   {".pmx", "a model"},  {".pmd", "a model"},   {".vrm", "a model"},
};

const char* OtherFormatKind(const std::string& path) {
  const std::string extension = LowerCaseExtension(path);
  for (const OtherFormat& f : kOtherFormats)
    if (extension == f.extension) return f.kind;
  return nullptr;
}

// Standard output, or a file written where it is: nothing is replaced.
bool IsStream(const std::string& path) {
  WritePlan plan;
  return path == "-" || IsStandardOutput(path) || (PlanFileWrite(path, plan) && plan.in_place);
}

// What the existing file at path begins with: 1 for dotXSI text, 0 for an
// empty file, -1 for anything else, -2 for a file that cannot be read.
int DotXsiOrEmpty(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return -2;
  char start[4];
  const size_t got = std::fread(start, 1, sizeof start, file);
  const bool read_error = std::ferror(file) != 0;
  std::fclose(file);
  if (read_error) return -2;
  if (got == 0) return 0;
  return LooksLikeXsiText(start, got) ? 1 : -1;
}

}  // namespace

bool OutputFileFitsFormat(const CommandLine& line, const OutputFormat& format, const std::string& file,
                          bool companion, std::string& error) {
  WritePlan plan;
  // A path that cannot be planned fails when it is checked for writing,
  // with the reason; what is written in place replaces nothing.
  if (!PlanFileWrite(file, plan) || plan.in_place) return true;
  if (plan.target != file) {
    const bool fits = companion ? LowerCaseExtension(plan.target) == format.companion_extension
                                : FormatHasExtensionOf(format, plan.target);
    const OutputFormat* named = FormatForPath(plan.target);
    const char* kind = OtherFormatKind(plan.target);
    if (!fits && (named || kind)) {
      error = "'" + file + "' leads to '" + plan.target + "', which names " +
              (named ? std::string("the ") + named->name + " format" : std::string(kind)) + ": not written";
      return false;
    }
  }
  const int held = line.command == Command::kExport && plan.exists ? DotXsiOrEmpty(plan.target) : 0;
  if (held < 0) {
    error = "'" + file + "'" + (plan.target != file ? " leads to '" + plan.target + "', which" : std::string()) +
            (held == -1 ? " holds no dotXSI" : " cannot be read to see that it holds dotXSI") +
            ": export replaces only a dotXSI file or an empty one";
    return false;
  }
  return true;
}

bool OutputNameFitsFormat(const CommandLine& line, std::string& error) {
  if (!line.output_format || !line.out_dir.empty() || IsStream(line.output)) return true;
  const OutputFormat& format = *line.output_format;
  if (FormatHasExtensionOf(format, line.output)) return true;
  if (line.command == Command::kExport) {
    // A link named otherwise that leads to a dotXSI name.
    WritePlan plan;
    if (PlanFileWrite(line.output, plan) && FormatHasExtensionOf(format, plan.target)) return true;
    error = "'" + line.output +
            "' is not a dotXSI file name: export writes OUT.xsi or '-'; to export several documents, give them "
            "all with --out-dir DIR";
    return false;
  }
  if (const OutputFormat* named = FormatForPath(line.output)) {
    error = "'" + line.output + "' names the " + named->name + " format, not " + format.name + " as --format says";
    return false;
  }
  error = NotWrittenLine(line.output);
  return error.empty();
}

std::string NotWrittenLine(const std::string& path) {
  const char* kind = OtherFormatKind(path);
  if (!kind) return "";
  return "'" + path + "' names " + kind + ", which vellmar does not write; it writes " + FormatNames() +
         " (see 'vellmar help convert')";
}
