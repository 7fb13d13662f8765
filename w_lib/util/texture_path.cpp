// Finding the file of a texture that a document names, as the host finds
// it: the name as a path of its own when it is absolute, else in the
// document's folder.
#include "w_lib/util/texture_path.h"

#include <sys/stat.h>

#include <utility>
#include <vector>

#include "w_lib/util/code_page.h"
#include "w_lib/util/path_parts.h"
#include "w_lib/util/text.h"

namespace {

// name with every separator ('\' or '/') made '/', and where its last
// component starts. Shift-JIS text is read character by character, so that
// the second byte of a character (0x5C is one) is never a separator.
struct PortableName {
  std::string path;
  size_t last_component = 0;
};

PortableName Portable(const char* name, bool utf8) {
  PortableName made;
  made.path = DocumentNameWithSlashes(name, utf8);
  made.last_component = SplitDocumentName(made.path, utf8).name;
  return made;
}

bool HasDriveLetter(const std::string& path) {
  return path.size() > 1 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::string FindTextureFile(const char* name, bool utf8_names, const std::string& document_folder) {
  if (!name || !*name) return "";
  std::string folder = document_folder;
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
  PortableName portable = Portable(name, utf8_names);
  const bool drive = HasDriveLetter(portable.path);
  if (drive && portable.last_component == 0) portable.last_component = 2;  // "C:a.png"
#if defined(_WIN32)
  const bool absolute = portable.path[0] == '/' || drive;
#else
  // A drive letter names a disk of another system: the name is neither
  // absolute here nor relative to the document.
  const bool absolute = portable.path[0] == '/';
#endif
  // Each candidate is a folder and the part of the name that goes in it.
  std::vector<std::pair<std::string, std::string>> candidates;
  if (absolute)
    candidates.emplace_back("", portable.path);
  else if (!drive)
    candidates.emplace_back(folder, portable.path);
  if (portable.last_component > 0) candidates.emplace_back(folder, portable.path.substr(portable.last_component));
  for (const auto& [in, part] : candidates) {
    if (IsRegularFile(in + part)) return in + part;
#if !defined(_WIN32)
    // A file copied from the host's system to this one has its name in
    // UTF-8 here.
    if (utf8_names) continue;
    const std::string converted = NameAsUtf8(part, false);
    if (converted != part && IsRegularFile(in + converted)) return in + converted;
#endif
  }
  return "";
}
