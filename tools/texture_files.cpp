// Looking for a document's texture files beside it.
#include "tools/texture_files.h"

#include "tools/file_identity.h"

std::string DocumentFolder(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool TextureFileExists(const std::string& folder, const std::string& name) {
  std::string portable = name;
  for (char& c : portable)
    if (c == '\\') c = '/';
  FileIdentity identity;
  const bool absolute = !portable.empty() && (portable[0] == '/' || (portable.size() > 1 && portable[1] == ':'));
  if (IdentifyFile(absolute ? portable : folder + portable, identity) && identity.regular) return true;
  const size_t slash = portable.rfind('/');
  return slash != std::string::npos && IdentifyFile(folder + portable.substr(slash + 1), identity) &&
         identity.regular;
}
