// The stand-in host's document: materials and objects as the host's plug-in
// interface exposes them. Faces are kept in flat per-object arrays so that a
// document of a million faces costs a handful of allocations.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "Vellmar/host_interface.h"
#include "host/corner_uvs.h"
#include "host/defaulted_array.h"
#include "host/stepped_array.h"

// Packed colour: red in the low byte, then green, blue and alpha.
constexpr uint32_t kWhitePacked = 0xFFFFFFFFu;

struct MQMaterialRecord {
  std::string name;
  MQColor color = {1.0f, 1.0f, 1.0f};
  float alpha = 1.0f;
  float diffuse = 0.8f;
  float ambient = 0.6f;
  float emission = 0.0f;
  float specular = 0.0f;
  float power = 5.0f;
  int32_t shader = 3;
  int32_t vertex_color = 0;
  std::string texture;
  std::string alpha_texture;
  std::string bump_texture;
};

struct MQObjectRecord {
  std::string name;
  std::vector<MQPoint> vertices;
  // One per vertex; stored only once some vertex differs from white or zero.
  DefaultedArray<uint32_t> vertex_colors{kWhitePacked};
  DefaultedArray<float> vertex_weights{0.0f};

  // The corners of face f are the entries face_start[f] .. face_start[f+1]-1
  // of the corner arrays; face_start has one entry more than there are faces.
  // Both are kept as a first value and a step while the faces allow.
  SteppedArray face_start{0};
  SteppedArray face_material;               // one per face, -1 for none
  std::vector<int32_t> corner_vertex;       // one per corner
  CornerUvs corner_uvs;                     // one per corner, shared once read
  DefaultedArray<uint32_t> corner_color{kWhitePacked};  // one per corner, packed

  uint32_t visible = 15;
  int32_t patch_type = 0;
  int32_t patch_segment = 1;
  int32_t shading = 1;
  float smooth_angle = 59.5f;
  int32_t mirror_type = 0;
  uint32_t mirror_axis = 1;
  float mirror_distance = 0.0f;
  int32_t lathe_type = 0;
  int32_t lathe_axis = 0;
  int32_t lathe_segment = 3;

  int32_t FaceCount() const { return static_cast<int32_t>(face_start.size()) - 1; }
  int32_t VertexCount() const { return static_cast<int32_t>(vertices.size()); }
  int32_t CornerCount(int32_t face) const { return face_start[face + 1] - face_start[face]; }
  bool HasFace(int32_t face) const { return face >= 0 && face < FaceCount(); }
  bool HasVertex(int32_t v) const { return v >= 0 && v < VertexCount(); }
  // The texture coordinate of corner c.
  MQCoordinate CornerUv(size_t c) const { return corner_uvs.At(c, corner_vertex.data()); }
  // The texture coordinates one per corner, for editing them or the corners'
  // vertices (see CornerUvs::PerCorner).
  std::vector<MQCoordinate>& CornerUvsPerCorner() { return corner_uvs.PerCorner(corner_vertex); }
  // Shares the texture coordinates per vertex, once the object is read.
  void ShareCornerUvs() { corner_uvs.Share(corner_vertex, vertices.size()); }

  int32_t AddVertex(const MQPoint& p);
  // Appends a face over count vertex indices with material -1, (0, 0) at every
  // corner and white corner colours.
  int32_t AddFace(int32_t count, const int32_t* points);
  void DeleteFace(int32_t face);
  // Reverses the corner order of a face with all its corner attributes.
  void InvertFace(int32_t face);
  // Removes a vertex: faces that use it lose those corners, or are deleted
  // with delete_faces; later vertex indices move down by one.
  void DeleteVertex(int32_t v, bool delete_faces);
  // Removes vertices that no face uses.
  void RemoveUnusedVertices();
  // Merges vertices closer than distance into the first of them.
  void MergeCloseVertices(float distance);
  // Appends the vertices and faces of another object.
  void Append(const MQObjectRecord& other);
  // Gives back the memory of all vertices (and their colours and weights),
  // or of all faces and their corners: the object is then without them.
  void ReleaseVertices();
  void ReleaseFaces();
  // Gives back the whole pages of the values of faces 0 .. face - 1, which
  // then read as zeros; the faces from face on stay as they are.
  void DiscardFacesBefore(int32_t face);
};

// A selected element: object index, then face or vertex index, then corner
// (or -1 where the element has none).
using SelectionKey = std::tuple<int32_t, int32_t, int32_t>;

struct MQDocumentRecord {
  std::string format_version;  // of the text read: "1.0", "1.1"...
  std::string code_page;       // as the document names it ("932", "utf8"); empty when it names none
  std::vector<std::unique_ptr<MQObjectRecord>> objects;
  std::vector<std::unique_ptr<MQMaterialRecord>> materials;
  int32_t current_object = 0;
  int32_t current_material = 0;
  // The document's names are UTF-8 ("CodePage utf8"); otherwise Shift-JIS.
  bool utf8_names = false;
  std::set<SelectionKey> selected_vertices, selected_lines, selected_faces, selected_uv_vertices;
  // One line each about what the last VHost_PrepareDocument changed that
  // the document asked otherwise.
  std::vector<std::string> prepare_warnings;

  int32_t ObjectCount() const { return static_cast<int32_t>(objects.size()); }
  int32_t MaterialCount() const { return static_cast<int32_t>(materials.size()); }
};

// Writes name into a buffer of size bytes, cut to size - 1 bytes, with a
// terminating zero.
void CopyHostName(const std::string& name, char* buffer, int32_t size);

// The settings of the stand-in's export options dialog, which the program
// that drives the host chooses instead of a user.
struct ExportOptions {
  float scale = 1.0f;
  // For each output axis x, y, z: the source axis bit (1 x, 2 y, 4 z),
  // plus kAxisNegate to flip its sign.
  int32_t axis[3] = {1, 2, 4};
  bool cancel = false;
};
constexpr int32_t kAxisNegate = 8;
