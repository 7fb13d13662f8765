// What vellmar info tells about a document: counts over the document as the
// stand-in host read it, as text or as JSON.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "host/host_document.h"
#include "w_lib/readers/xsi_reader.h"
#include "w_lib/w_scene.h"

struct TextureInfo {
  std::string name;  // as the document names it, in its code page
  bool exists = false;  // FindTextureFile finds its file
};

// A model of a dotXSI file.
struct ModelInfo {
  std::string name;
  int depth = 0;  // in the hierarchy: 0 for a root
  int64_t vertices = 0;
  int64_t faces = 0;  // of any corner count but two
  WMeshVolume volume;  // with the model's transforms applied
};

struct DocumentInfo {
  std::string path;
  std::string format_version;
  std::string code_page;  // empty when the document names none
  bool utf8_names = false;  // names are UTF-8; else in the host's Shift-JIS
  int32_t objects = 0;
  int32_t hidden = 0, mirrored = 0, lathed = 0, subdivided = 0;
  int64_t vertices = 0;
  int64_t faces = 0;                          // faces of any corner count but two
  std::map<int32_t, int64_t> faces_by_corners;  // corner count -> faces
  int64_t lines = 0;                          // two-corner faces
  int32_t materials = 0;
  std::vector<TextureInfo> textures;  // each name once, in the order of the materials
  // Set for a dotXSI file, which has the models and the report below
  // instead of a code page and the counts of what the host shows otherwise.
  bool dotxsi = false;
  std::vector<ModelInfo> models;  // in the order of the hierarchy, each parent before its children
  XsiReadReport report;
};

// Describes the document read from path; texture files are looked for as
// FindTextureFile looks for them, in path's folder.
DocumentInfo DescribeDocument(const MQDocumentRecord& doc, const std::string& path);

// Describes the scene read from the dotXSI file at path, which report came
// with; textures are looked for as DescribeDocument looks for them.
DocumentInfo DescribeXsiScene(const WScene& scene, const XsiReadReport& report, const std::string& path);

// What the scene of a dotXSI file leaves out, as "7 envelopes, 63 animation
// curves"; empty when it leaves out nothing.
std::string LeftOutText(const XsiReadReport& report);

// The description as indented lines under the document's path; names as
// the document stores them, or converted to UTF-8 when utf8_text.
std::string DocumentInfoText(const DocumentInfo& info, bool utf8_text);

// The descriptions as a JSON array (one object per document), with two
// spaces of indentation; names converted to UTF-8 from the document's code
// page, and bytes of a path that are not UTF-8 as U+FFFD.
std::string DocumentInfoJson(const std::vector<DocumentInfo>& infos);
