// Describing documents for vellmar info.
#include "tools/document_info.h"

#include <set>

#include <nlohmann/json.hpp>

#include "host/document_freeze.h"
#include "w_lib/util/text.h"
#include "tools/texture_files.h"

DocumentInfo DescribeDocument(const MQDocumentRecord& doc, const std::string& path) {
  DocumentInfo info;
  info.path = path;
  info.format_version = doc.format_version;
  info.code_page = doc.code_page;
  info.objects = doc.ObjectCount();
  const VHostShownOtherwise shown = CountShownOtherwise(doc);
  info.hidden = shown.hidden;
  info.mirrored = shown.mirrored;
  info.lathed = shown.lathed;
  info.subdivided = shown.subdivided;
  for (const auto& obj : doc.objects) {
    info.vertices += obj->VertexCount();
    for (int32_t f = 0; f < obj->FaceCount(); ++f) {
      const int32_t corners = obj->CornerCount(f);
      if (corners == 2) {
        ++info.lines;
      } else {
        ++info.faces;
        ++info.faces_by_corners[corners];
      }
    }
  }
  info.materials = doc.MaterialCount();
  const std::string folder = DocumentFolder(path);
  std::set<std::string> seen;
  for (const auto& material : doc.materials) {
    for (const std::string* name : {&material->texture, &material->alpha_texture, &material->bump_texture}) {
      if (name->empty() || !seen.insert(*name).second) continue;
      info.textures.push_back({*name, TextureFileExists(folder, *name)});
    }
  }
  return info;
}

std::string DocumentInfoText(const DocumentInfo& info) {
  // Names are shown with their control characters escaped, as in messages.
  std::string text = EscapeControlCharacters(info.path) + "\n";
  auto row = [&](const char* label, const std::string& value) {
    text += "  " + std::string(label);
    text.append(17 - std::string(label).size(), ' ');
    text += value + "\n";
  };
  row("format version:", info.format_version);
  row("code page:", info.code_page.empty() ? "(not named)" : info.code_page);
  row("objects:", std::to_string(info.objects) + " (" + std::to_string(info.hidden) + " hidden, " +
                      std::to_string(info.mirrored) + " mirrored, " + std::to_string(info.lathed) + " lathed, " +
                      std::to_string(info.subdivided) + " subdivided)");
  row("vertices:", std::to_string(info.vertices));
  std::string faces = std::to_string(info.faces);
  std::string by_corners;
  for (const auto& [corners, count] : info.faces_by_corners)
    by_corners += (by_corners.empty() ? "" : ", ") + std::to_string(count) + " of " + std::to_string(corners) +
                  (corners == 1 ? " corner" : " corners");
  if (!by_corners.empty()) faces += " (" + by_corners + ")";
  row("faces:", faces);
  row("lines:", std::to_string(info.lines));
  row("materials:", std::to_string(info.materials));
  row("textures:", std::to_string(info.textures.size()));
  for (const TextureInfo& t : info.textures)
    text += "    " + EscapeControlCharacters(t.name) + (t.exists ? "" : " (missing)") + "\n";
  return text;
}

std::string DocumentInfoJson(const std::vector<DocumentInfo>& infos) {
  nlohmann::ordered_json documents = nlohmann::ordered_json::array();
  for (const DocumentInfo& info : infos) {
    nlohmann::ordered_json by_corners = nlohmann::ordered_json::object();
    for (const auto& [corners, count] : info.faces_by_corners) by_corners[std::to_string(corners)] = count;
    nlohmann::ordered_json textures = nlohmann::ordered_json::array();
    for (const TextureInfo& t : info.textures) textures.push_back({{"name", t.name}, {"exists", t.exists}});
    documents.push_back({
        {"file", info.path},
        {"format_version", info.format_version},
        {"code_page", info.code_page.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(info.code_page)},
        {"objects",
         {{"total", info.objects},
          {"hidden", info.hidden},
          {"mirrored", info.mirrored},
          {"lathed", info.lathed},
          {"subdivided", info.subdivided}}},
        {"vertices", info.vertices},
        {"faces", {{"total", info.faces}, {"by_corners", by_corners}}},
        {"lines", info.lines},
        {"materials", info.materials},
        {"textures", textures},
    });
  }
  return documents.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}
