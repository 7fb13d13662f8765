// Loading one input of export or convert.
#include "tools/input_loading.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "w_lib/readers/xsi_reader.h"
#include "w_lib/util/path_parts.h"
#include "w_lib/util/texture_path.h"
#include "tools/console.h"
#include "tools/cut_names.h"
#include "tools/document_info.h"
#include "tools/document_preparation.h"
#include "tools/file_identity.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

LoadedDocument::LoadedDocument(const std::string& path, uint64_t max_size) {
  char error[1024] = {};
  char warning[1024] = {};
  doc_ = VHost_LoadDocumentLimited(path.c_str(), max_size, error, sizeof error, warning, sizeof warning);
  if (!doc_) error_ = error;
  warning_ = warning;
}

LoadedDocument::~LoadedDocument() {
  if (doc_) VHost_DestroyDocument(doc_);
}

MQDocument LoadedDocument::Take() {
  MQDocument doc = doc_;
  doc_ = nullptr;
  return doc;
}

bool IsDotXsiInput(const std::string& path) {
  std::string extension = SystemExtension(path);
  for (char& c : extension) c = static_cast<char>(c | 0x20);
  if (extension == ".xsi") return true;
  FileIdentity identity;
  if (!IdentifyFile(path, identity) || !identity.regular) return false;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char start[4] = {};
  const size_t got = std::fread(start, 1, sizeof start, file);
  std::fclose(file);
  return LooksLikeXsiText(start, got);
}

namespace {

// Loads a host document into the stand-in host from path (the input's own,
// or where standard input was staged) and prepares it as the options ask,
// and warns of what it holds that the export cannot carry whole.
bool LoadHostDocument(const CommandLine& line, const HostTable& host, const std::string& path,
                      const std::string& input, LoadedInput& loaded, std::string& error) {
  loaded.document = std::make_unique<LoadedDocument>(path, line.max_document_size);
  LoadedDocument& doc = *loaded.document;
  if (!doc.get()) {
    error = ReaderLineNamed(doc.error(), path, input);
    return false;
  }
  if (!doc.warning().empty()) PrintWarning(ReaderLineNamed(doc.warning(), path, input));
  std::string why, note;
  std::vector<std::string> warnings;
  ProgressStage("preparing");
  if (!PrepareDocument(line, doc.get(), why, note, warnings)) {
    error = input + ": " + why;
    return false;
  }
  for (const std::string& warning : warnings) PrintWarning(input + ": " + warning);
  const auto names_are_utf8 = host.stand_in.VHost_DocumentNamesAreUtf8;
  const bool utf8_names = names_are_utf8 && names_are_utf8(doc.get()) != 0;
  for (const std::string& warning : CutNameWarnings(host, doc.get(), SystemFolderOf(input), utf8_names))
    PrintWarning(input + ": " + warning);
  if (!note.empty()) PrintNote(input + ": " + note);
  char object[256] = {};
  if (VHost_FindNonFiniteObject(doc.get(), object, sizeof object) >= 0) {
    error = input + ": object \"" + object +
            "\" has a coordinate that is not a finite number after --scale and --axes; nothing written";
    return false;
  }
  return true;
}

// Reads a dotXSI file's scene, where the command takes one and no option
// asks for what only a host document has. What the scene leaves out of the
// file is noted.
bool ReadDotXsiInput(const CommandLine& line, const std::string& path, const std::string& input, bool reads_dotxsi,
                     LoadedInput& loaded, std::string& error) {
  if (!reads_dotxsi) {
    error = input + ": export reads host documents (.mqo, .mqoz), not dotXSI files; convert reads dotXSI";
    return false;
  }
  if (const char* option = HostDocumentOption(line)) {
    error = input + ": " + option + " applies to host documents; a dotXSI file is converted as it is";
    return false;
  }
  XsiReadReport report;
  if (!ReadXsiFile(path.c_str(), loaded.scene, report, error, line.max_document_size)) {
    error = ReaderLineNamed(error, path, input);
    return false;
  }
  const std::string left_out = LeftOutText(report);
  if (!left_out.empty()) PrintNote(input + ": left out: " + left_out);
  return true;
}

}  // namespace

bool LoadInput(const CommandLine& line, const HostTable& host, const std::string& input, bool reads_dotxsi,
               LoadedInput& loaded, std::string& error) {
  loaded.path = input;
  if (IsStandardInput(input)) {
    // Read whole before it is told apart, since a pipe cannot be read twice.
    ScratchFile staged;
    bool dotxsi = false;
    if (!StageStandardInput(line.max_document_size, staged, dotxsi, error)) return false;
    return dotxsi ? ReadDotXsiInput(line, staged.path(), input, reads_dotxsi, loaded, error)
                  : LoadHostDocument(line, host, staged.path(), input, loaded, error);
  }
  return IsDotXsiInput(input) ? ReadDotXsiInput(line, input, input, reads_dotxsi, loaded, error)
                              : LoadHostDocument(line, host, input, input, loaded, error);
}

void SetUpLoading(const CommandLine& line) {
  VHost_SetExportOptions(line.scale, line.axis[0], line.axis[1], line.axis[2], line.cancel ? 1 : 0);
}

bool StageStandardInput(uint64_t max_size, ScratchFile& file, bool& dotxsi, std::string& error) {
#if defined(_WIN32)
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  if (const WriteResult made = file.Create(".in"); !made) {
    error = std::string("-: cannot stage standard input: ") + std::strerror(made.error());
    return false;
  }
  std::FILE* out = std::fopen(file.path().c_str(), "wb");
  if (!out) {
    error = std::string("-: cannot stage standard input: ") + std::strerror(errno);
    return false;
  }
  char buffer[1 << 16];
  char start[4] = {};
  size_t start_size = 0;
  uint64_t total = 0;
  bool written = true;
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
    while (start_size < sizeof start && start_size < total + got) {
      start[start_size] = buffer[start_size - total];
      ++start_size;
    }
    total += got;
    if (total > max_size) break;
    written = written && std::fwrite(buffer, 1, got, out) == got;
  }
  const bool read_failed = std::ferror(stdin) != 0;
  written = std::fclose(out) == 0 && written;
  if (start_size == sizeof start && start[0] == 'P' && start[1] == 'K' && start[2] == 3 && start[3] == 4) {
    error = "-: standard input holds an archive (.mqoz), which is read from a file only: give its path";
    return false;
  }
  if (total > max_size) {
    error = "-: standard input passes " + std::to_string(max_size) + " bytes (--max-document-size)";
    return false;
  }
  if (read_failed || !written) {
    error = std::string("-: cannot ") + (read_failed ? "read standard input" : "stage standard input");
    return false;
  }
  dotxsi = LooksLikeXsiText(start, start_size);
  return true;
}

std::string ReaderLineNamed(std::string text, const std::string& path, const std::string& input) {
  if (path == input) return text;
  for (size_t at = text.find(path); at != std::string::npos; at = text.find(path, at + input.size()))
    text.replace(at, path.size(), input);
  return text;
}
