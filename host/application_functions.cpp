// The stand-in host's application functions: object and material creation,
// the non-interactive options dialog and the axis conversion, and the
// functions for the program that drives the stand-in.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "host/document_freeze.h"
#include "host/host_api.h"
#include "host/host_document.h"
#include "host/mqo_reader.h"

namespace {

// Chosen by the program, applied by the next dialogs.
ExportOptions g_export_options;

float RecordScale(const ExportDialogRecord* record) {
  float scale;
  std::memcpy(&scale, &record->host_word1, sizeof scale);
  return scale == 0.0f ? 1.0f : scale;
}

// One output coordinate: the source axis that word names, signed.
float AxisValue(const MQPoint& p, int32_t word) {
  float value;
  switch (word & 7) {
    case 2: value = p.y; break;
    case 4: value = p.z; break;
    default: value = p.x; break;
  }
  return (word & kAxisNegate) ? -value : value;
}

// A point as the export's axis conversion gives it.
MQPoint ExportedPoint(const MQPoint& p, const int32_t words[3], float scale) {
  return MQPoint{AxisValue(p, words[0]) * scale, AxisValue(p, words[1]) * scale, AxisValue(p, words[2]) * scale};
}

bool Finite(const MQPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

}  // namespace

extern "C" {

VHOST_API(void*) MQ_GetWindowHandle(void) { return nullptr; }

VHOST_API(MQObject) MQ_CreateObject(void) { return new MQObjectRecord(); }

VHOST_API(MQMaterial) MQ_CreateMaterial(void) { return new MQMaterialRecord(); }

VHOST_API(int32_t) MQ_ShowFileDialog(const char*, ExportDialogRecord* record) {
  if (!record || g_export_options.cancel) return 0;
  std::memcpy(&record->host_word1, &g_export_options.scale, sizeof(float));
  record->axis1 = g_export_options.axis[0];
  record->axis2 = g_export_options.axis[1];
  record->axis3 = g_export_options.axis[2];
  return 1;
}

VHOST_API(void) MQ_ExportAxis(ExportDialogRecord* record, MQPoint* points, int32_t count) {
  if (!record || !points) return;
  const float scale = RecordScale(record);
  const int32_t words[3] = {record->axis1, record->axis2, record->axis3};
  const bool identity = scale == 1.0f && words[0] == 1 && words[1] == 2 && words[2] == 4;
  if (identity) return;
  for (int32_t i = 0; i < count; ++i) points[i] = ExportedPoint(points[i], words, scale);
}

VHOST_API(void) MQ_ImportAxis(ExportDialogRecord* record, MQPoint* points, int32_t count) {
  if (!record || !points) return;
  const float scale = RecordScale(record);
  const int32_t words[3] = {record->axis1, record->axis2, record->axis3};
  for (int32_t i = 0; i < count; ++i) {
    const float out[3] = {points[i].x / scale, points[i].y / scale, points[i].z / scale};
    float in[3] = {points[i].x, points[i].y, points[i].z};
    // Output axis a came from source axis words[a]: send it back there.
    for (int a = 0; a < 3; ++a) {
      const int source = (words[a] & 7) == 2 ? 1 : (words[a] & 7) == 4 ? 2 : 0;
      in[source] = (words[a] & kAxisNegate) ? -out[a] : out[a];
    }
    points[i] = MQPoint{in[0], in[1], in[2]};
  }
}

VHOST_API(int32_t) MQ_LoadImage(const char*, void**, void**, uint32_t) { return 0; }

VHOST_API(int32_t) MQ_GetSystemPath(char*, int32_t) { return 0; }

VHOST_API(void) MQ_RefreshView(void*) {}

VHOST_EXPORT MQDocument VHost_CreateDocument(void) { return new MQDocumentRecord(); }

VHOST_EXPORT void VHost_DestroyDocument(MQDocument doc) { delete doc; }

VHOST_EXPORT MQDocument VHost_LoadDocument(const char* path, char* error, int32_t error_size) {
  return VHost_LoadDocumentLimited(path, kDefaultMaxDocumentSize, error, error_size, nullptr, 0);
}

VHOST_EXPORT MQDocument VHost_LoadDocumentLimited(const char* path, uint64_t max_size, char* error,
                                                  int32_t error_size, char* warning, int32_t warning_size) {
  std::string message, note;
  try {
    auto doc = std::make_unique<MQDocumentRecord>();
    if (path && ReadMqoDocument(path, *doc, message, &note, max_size)) {
      CopyHostName(note, warning, warning_size);
      return doc.release();
    }
  } catch (const std::bad_alloc&) {
    message = std::string(path ? path : "") + ": out of memory";
  }
  if (!path) message = "no document named";
  CopyHostName(message, error, error_size);
  CopyHostName("", warning, warning_size);
  return nullptr;
}

VHOST_EXPORT int32_t VHost_PrepareDocument(MQDocument doc, uint32_t flags, VHostShownOtherwise* left, char* error,
                                           int32_t error_size) {
  std::string message;
  if (!doc) {
    CopyHostName("no document", error, error_size);
    return 0;
  }
  const bool visible_only = (flags & kPrepareVisibleOnly) != 0;
  doc->prepare_warnings.clear();
  if ((flags & kPrepareFreeze) && !FreezeDocument(*doc, visible_only, message, &doc->prepare_warnings)) {
    doc->prepare_warnings.clear();
    CopyHostName(message, error, error_size);
    return 0;
  }
  if (visible_only) DropHiddenObjects(*doc);
  if (left) *left = CountShownOtherwise(*doc);
  return 1;
}

VHOST_EXPORT int32_t VHost_GetPrepareWarning(MQDocument doc, int32_t index, char* text, int32_t text_size) {
  if (!doc || index < 0 || static_cast<size_t>(index) >= doc->prepare_warnings.size()) return -1;
  const std::string& line = doc->prepare_warnings[static_cast<size_t>(index)];
  CopyHostName(line, text, text_size);
  return static_cast<int32_t>(std::min<size_t>(line.size(), INT32_MAX));
}

VHOST_EXPORT int32_t VHost_DocumentNamesAreUtf8(MQDocument doc) { return doc && doc->utf8_names ? 1 : 0; }

VHOST_EXPORT int32_t VHost_FindNonFiniteObject(MQDocument doc, char* name, int32_t name_size) {
  if (!doc) return -1;
  // What the next dialog leaves in the export's record.
  ExportDialogRecord record = {};
  record.axis1 = 1;
  record.axis2 = 2;
  record.axis3 = 4;
  MQ_ShowFileDialog(nullptr, &record);
  const float scale = RecordScale(&record);
  const int32_t words[3] = {record.axis1, record.axis2, record.axis3};
  for (size_t o = 0; o < doc->objects.size(); ++o) {
    const MQObjectRecord* object = doc->objects[o].get();
    if (!object) continue;
    for (const MQPoint& p : object->vertices) {
      if (!Finite(ExportedPoint(p, words, scale))) {
        CopyHostName(object->name, name, name_size);
        return static_cast<int32_t>(o);
      }
    }
  }
  CopyHostName("", name, name_size);
  return -1;
}

VHOST_EXPORT void VHost_SetExportOptions(float scale, int32_t axis_x, int32_t axis_y, int32_t axis_z,
                                         int32_t cancel) {
  g_export_options.scale = scale;
  g_export_options.axis[0] = axis_x;
  g_export_options.axis[1] = axis_y;
  g_export_options.axis[2] = axis_z;
  g_export_options.cancel = cancel != 0;
}

}  // extern "C"
