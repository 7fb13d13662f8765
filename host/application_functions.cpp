// The stand-in host's application functions: object and material creation,
// the non-interactive options dialog and the axis conversion, and the
// functions for the program that drives the stand-in.
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
  for (int32_t i = 0; i < count; ++i) {
    const MQPoint p = points[i];
    points[i].x = AxisValue(p, words[0]) * scale;
    points[i].y = AxisValue(p, words[1]) * scale;
    points[i].z = AxisValue(p, words[2]) * scale;
  }
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
  std::string message;
  try {
    auto doc = std::make_unique<MQDocumentRecord>();
    if (path && ReadMqoDocument(path, *doc, message)) return doc.release();
  } catch (const std::bad_alloc&) {
    message = std::string(path ? path : "") + ": out of memory";
  }
  if (!path) message = "no document named";
  CopyHostName(message, error, error_size);
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
  if ((flags & kPrepareFreeze) && !FreezeDocument(*doc, visible_only, message)) {
    CopyHostName(message, error, error_size);
    return 0;
  }
  if (visible_only) DropHiddenObjects(*doc);
  if (left) *left = CountShownOtherwise(*doc);
  return 1;
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
