// The export driver: host document to scene to file.
#include "Vellmar/export_driver.h"

#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Vellmar/export_passes.h"
#include "Vellmar/host_handles.h"
#include "w_lib/writers/w_writers.h"

namespace {

// A name the host writes into a buffer of the host's size; the last byte is
// forced to zero so that a name cut short is still terminated.
struct NameBuffer {
  char text[kHostNameBufferSize] = {};
  char* data() { return text; }
  const char* Terminated() {
    text[kHostNameBufferSize - 1] = '\0';
    return text;
  }
};

int NonNegative(int32_t n) { return n < 0 ? 0 : n; }

void ReadMaterials(const HostTable& host, const DocumentHandle& document, int material_count, WScene& scene,
                   std::vector<MQColor>& colors) {
  std::unordered_map<std::string, int> texture_index;
  colors.assign(static_cast<size_t>(material_count), MQColor{1.0f, 1.0f, 1.0f});
  for (int i = 0; i < material_count; ++i) {
    const MQMaterial handle = document.GetMaterial(i);
    // A missing handle still takes its index, so that face materials keep
    // naming the same materials.
    if (!handle) {
      scene.AddMaterial("");
      continue;
    }
    const MaterialHandle material(host, handle);
    NameBuffer name;
    material.GetName(name.data(), kHostNameBufferSize);
    const int m = scene.AddMaterial(name.Terminated());
    const MQColor color = material.GetColor();
    colors[static_cast<size_t>(i)] = color;
    scene.materials[m].col.r = color.r;
    scene.materials[m].col.g = color.g;
    scene.materials[m].col.b = color.b;

    NameBuffer texture;
    material.GetTextureName(texture.data(), kHostNameBufferSize);
    const char* texture_name = texture.Terminated();
    if (texture_name[0]) {
      // Materials that name the same texture share one record.
      auto found = texture_index.find(texture_name);
      const int t = found != texture_index.end() ? found->second : scene.AddTexture(texture_name);
      texture_index.emplace(texture_name, t);
      scene.materials[m].tex = t;
    }
    scene.materials[m].col.a = material.GetAlpha();
  }
}

void ReadVertices(const HostTable& host, const ObjectHandle& object, int vertex_count, ExportDialogRecord& record,
                  WObject& obj) {
  if (vertex_count == 0) return;
  std::vector<MQPoint> points(static_cast<size_t>(vertex_count));
  object.GetVertexArray(points.data());
  host.Function<kHost_MQ_ExportAxis>()(&record, points.data(), vertex_count);
  for (const MQPoint& p : points) {
    const int v = obj.AddVertex();
    obj.vertices[v].pos = WVector(p.x, p.y, p.z);
  }
}

// How many faces a conversion copies between two calls that give back the
// faces copied so far.
constexpr int kFacesPerRelease = 1 << 14;

// release_before (null for a read that leaves the document as it is) gives
// the host's faces before a face back as the copy passes them.
void ReadFaces(const ObjectHandle& object, int face_count, int material_count,
               const std::vector<MQColor>& material_colors, const WScene& scene, WObject& obj,
               PFN_VHost_ReleaseObjectFacesBefore release_before, MQObject handle) {
  std::vector<int32_t> points;
  std::vector<MQCoordinate> uvs;
  std::vector<WUv> values;
  // The texture coordinates are shared per vertex as they come, as the
  // passes would share them (WSharedUvMaker).
  WSharedUvMaker shared_uvs(scene, obj);
  for (int f = 0; f < face_count; ++f) {
    if (release_before && f > 0 && f % kFacesPerRelease == 0) release_before(handle, f);
    // The count comes first so that the buffers fit faces of any size.
    const int n = NonNegative(object.GetFacePointCount(f));
    const size_t room = n < 4 ? 4 : static_cast<size_t>(n);
    points.assign(room, 0);
    uvs.assign(room, MQCoordinate{0.0f, 0.0f});
    object.GetFacePointArray(f, points.data());
    bool inside = true;
    for (int k = 0; k < n; ++k) inside = inside && points[k] >= 0 && points[k] < obj.vnum;
    if (!inside) continue;
    object.GetFaceCoordinateArray(f, uvs.data());

    const int face = obj.AddFace(n);
    WFace& added = obj.faces[face];
    for (int k = 0; k < n; ++k) added.v[k] = points[k];
    int material = object.GetFaceMaterial(f);
    if (material < 0 || material >= material_count) material = -1;
    added.material = material;
    if (material == -1) {
      added.col = WColor(1.0f, 1.0f, 1.0f, 1.0f);
    } else {
      const MQColor& c = material_colors[static_cast<size_t>(material)];
      added.col = WColor(c.r, c.g, c.b, 1.0f);
    }
    values.resize(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) values[static_cast<size_t>(k)] = WUv(uvs[static_cast<size_t>(k)].u, uvs[static_cast<size_t>(k)].v);
    shared_uvs.SetFaceUvs(face, values.data());
  }
}

}  // namespace

ExportDialogRecord MakeExportDialogRecord() {
  ExportDialogRecord record = {};
  record.size = sizeof(ExportDialogRecord);
  record.format_name = "XSI";
  record.axis1 = 1;
  record.axis2 = 2;
  record.axis3 = 4;
  return record;
}

void ReadDocumentIntoScene(const HostTable& host, MQDocument doc, ExportDialogRecord& record, WScene& scene,
                           DocumentReading reading) {
  const DocumentHandle document(host, doc);
  const bool give_back = reading == DocumentReading::kGiveBackAsCopied;
  const PFN_VHost_ReleaseObjectVertices release_vertices =
      give_back ? host.stand_in.VHost_ReleaseObjectVertices : nullptr;
  const PFN_VHost_ReleaseObjectFaces release_faces = give_back ? host.stand_in.VHost_ReleaseObjectFaces : nullptr;
  const PFN_VHost_ReleaseObjectFacesBefore release_faces_before =
      give_back ? host.stand_in.VHost_ReleaseObjectFacesBefore : nullptr;
  const int object_count = NonNegative(document.GetObjectCount());
  const int material_count = NonNegative(document.GetMaterialCount());
  std::vector<MQColor> material_colors;
  // Exact room for the scene's own arrays: no growth copies them, and a
  // document of many objects carries no spare records.
  if (!scene.ReserveMaterials(scene.mnum + material_count) || !scene.ReserveObjects(scene.onum + object_count))
    throw std::bad_alloc();
  ReadMaterials(host, document, material_count, scene, material_colors);

  for (int i = 0; i < object_count; ++i) {
    const MQObject handle = document.GetObject(i);
    if (!handle) continue;
    const ObjectHandle object(host, handle);
    NameBuffer name;
    object.GetName(name.data(), kHostNameBufferSize);
    const int o = scene.AddObject(name.Terminated());
    WObject& obj = scene.objects[o];
    const int vertex_count = NonNegative(object.GetVertexCount());
    const int face_count = NonNegative(object.GetFaceCount());
    // Exact room up front for the vertices and faces, so that filling never
    // regrows them; the shared texture coordinates grow as they come (about
    // one a vertex in most documents, none without a texture). Without that
    // room the export fails as an add that cannot grow would.
    if (!obj.ReserveVertices(vertex_count) || !obj.ReserveFaces(face_count)) throw std::bad_alloc();
    ReadVertices(host, object, vertex_count, record, obj);
    // The faces name vertices by index only: the positions can go now.
    if (release_vertices) release_vertices(handle);
    ReadFaces(object, face_count, material_count, material_colors, scene, obj, release_faces_before, handle);
    if (release_faces) release_faces(handle);
  }
}

void ReadDocumentWithDialog(const HostTable& host, MQDocument doc, WScene& scene, DocumentReading reading) {
  ExportDialogRecord record = MakeExportDialogRecord();
  // Cancelling does not stop the export: the record stays as the dialog left it.
  host.Function<kHost_MQ_ShowFileDialog>()("Vellmar", &record);
  ReadDocumentIntoScene(host, doc, record, scene, reading);
}

void PrepareExportScene(const HostTable& host, MQDocument doc, WScene& scene) {
  ReadDocumentWithDialog(host, doc, scene);
  RunExportPassesWithoutEdges(scene);
}

void PrepareLibraryFormatScene(const HostTable& host, MQDocument doc, WScene& scene) {
  ReadDocumentWithDialog(host, doc, scene);
  RunLibraryFormatPasses(scene);
}

WriteResult ExportDocument(const HostTable& host, const char* path, MQDocument doc) {
  WScene scene;
  PrepareExportScene(host, doc, scene);
  return WriteXsiFile(path, scene);
}

namespace {

// Gives a document back to the stand-in when it goes out of scope, or
// before, once the scene holds all that the passes and the writer read.
class GivenBack {
 public:
  GivenBack(const HostTable& host, MQDocument doc) : host_(host), doc_(doc) {}
  ~GivenBack() { Now(); }
  GivenBack(const GivenBack&) = delete;
  GivenBack& operator=(const GivenBack&) = delete;
  void Now() {
    if (doc_ && host_.stand_in.VHost_DestroyDocument) host_.stand_in.VHost_DestroyDocument(doc_);
    doc_ = nullptr;
  }

 private:
  const HostTable& host_;
  MQDocument doc_;
};

}  // namespace

WriteResult ConvertDocument(const HostTable& host, MQDocument doc, void (*passes)(WScene& scene),
                            const SceneWrite& write) {
  GivenBack document(host, doc);
  WScene scene;
  ReadDocumentWithDialog(host, doc, scene, DocumentReading::kGiveBackAsCopied);
  if (host.stand_in.VHost_DocumentNamesAreUtf8) scene.utf8_names = host.stand_in.VHost_DocumentNamesAreUtf8(doc) != 0;
  // The passes and the writer make their own copies: the document's memory
  // goes back before they do.
  document.Now();
  passes(scene);
  return write(std::move(scene));
}
