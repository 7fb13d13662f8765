// Warnings for names and texture paths longer than the host's interface
// carries.
#include "tools/cut_names.h"

#include <cstring>

#include "Vellmar/host_handles.h"
#include "w_lib/util/texture_path.h"

namespace {

constexpr size_t kCarried = kHostNameBufferSize - 1;

// The name that handle's get writes, asked with one byte more room than
// the interface has, so that a longer name shows; then whole, with room
// enough. "" when it is not longer than the interface carries.
template <class Handle>
std::string NameBeyondCarried(const Handle& handle, void (Handle::*get)(char*, int32_t) const) {
  char probe[kHostNameBufferSize + 1];
  (handle.*get)(probe, static_cast<int32_t>(sizeof probe));
  if (std::strlen(probe) <= kCarried) return std::string();
  std::string name(size_t{1} << 12, '\0');
  for (;;) {
    (handle.*get)(&name[0], static_cast<int32_t>(name.size()));
    const size_t length = std::strlen(name.c_str());
    if (length + 1 < name.size() || name.size() >= (size_t{1} << 30)) return name.substr(0, length);
    name.assign(name.size() * 4, '\0');
  }
}

std::string Cut(const std::string& what, const std::string& name) {
  return what + " cut to " + std::to_string(kCarried) + " of its " + std::to_string(name.size()) + " bytes: \"" +
         name.substr(0, kCarried) + "\"";
}

}  // namespace

std::vector<std::string> CutNameWarnings(const HostTable& host, MQDocument doc, const std::string& folder,
                                          bool utf8_names) {
  std::vector<std::string> warnings;
  const DocumentHandle document(host, doc);
  const int32_t objects = document.GetObjectCount();
  for (int32_t i = 0; i < objects; ++i) {
    const MQObject handle = document.GetObject(i);
    if (!handle) continue;
    const std::string name = NameBeyondCarried(ObjectHandle(host, handle), &ObjectHandle::GetName);
    if (!name.empty()) warnings.push_back(Cut("object name", name));
  }
  const int32_t materials = document.GetMaterialCount();
  for (int32_t i = 0; i < materials; ++i) {
    const MQMaterial handle = document.GetMaterial(i);
    if (!handle) continue;
    const MaterialHandle material(host, handle);
    const std::string name = NameBeyondCarried(material, &MaterialHandle::GetName);
    if (!name.empty()) warnings.push_back(Cut("material name", name));
    const std::string texture = NameBeyondCarried(material, &MaterialHandle::GetTextureName);
    if (texture.empty()) continue;
    char carried_name[kHostNameBufferSize];
    material.GetName(carried_name, static_cast<int32_t>(sizeof carried_name));
    const bool found = !FindTextureFile(texture.substr(0, kCarried).c_str(), utf8_names, folder).empty();
    warnings.push_back(Cut("texture path of material \"" + std::string(carried_name) + "\"", texture) +
                       (found ? ", which names another file" : ", which names no file beside the document"));
  }
  return warnings;
}
