// The host modeller's plug-in interface as this plug-in uses it: the plain
// records that cross the boundary, the export options record, the calling
// conventions, and the signatures of the host functions that an export calls.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
// The host's own functions use stdcall (the callee removes the arguments);
// the plug-in's entry points use cdecl.
#define MQ_HOSTAPI __stdcall
#define MQ_PLUGINAPI __cdecl
#else
#define MQ_HOSTAPI
#define MQ_PLUGINAPI
#endif

extern "C" {

// Opaque handles that the host hands out and the plug-in passes back.
typedef struct MQDocumentRecord* MQDocument;
typedef struct MQObjectRecord* MQObject;
typedef struct MQMaterialRecord* MQMaterial;
typedef struct MQSceneRecord* MQScene;

struct MQPoint {
  float x, y, z;
};

struct MQColor {
  float r, g, b;
};

struct MQCoordinate {
  float u, v;
};

// The record that the export hands to the host's options dialog and then to
// the host's axis conversion. Seven 32-bit words on the host's platform.
struct ExportDialogRecord {
  uint32_t size;            // bytes of the record
  int32_t host_word1;       // left zero for the host
  int32_t host_word2;       // left zero for the host
  const char* format_name;  // name of the target format
  int32_t axis1;            // first axis word
  int32_t axis2;            // second axis word
  int32_t axis3;            // third axis word
};

// Every 32-bit build has the host's layout; a 64-bit build widens the
// format name's pointer and is not bound to it.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ExportDialogRecord) == 28, "the host reads seven 32-bit words");
static_assert(offsetof(ExportDialogRecord, format_name) == 12 && offsetof(ExportDialogRecord, axis1) == 16 &&
                  offsetof(ExportDialogRecord, axis3) == 24,
              "the words lie in the host's order");
#endif
static_assert(sizeof(MQPoint) == 12 && sizeof(MQColor) == 12 && sizeof(MQCoordinate) == 8,
              "points, colours and coordinates are packed floats");

// The types of the host functions that an export calls: PFN_ and the name.
#define MQ_HOST_FUNCTION(name)
#define MQ_EXPORT_FUNCTION(result, name, parameters) typedef result(MQ_HOSTAPI* PFN_##name) parameters;
#include "Vellmar/host_function_list.inc"
#undef MQ_EXPORT_FUNCTION
#undef MQ_HOST_FUNCTION

// The plug-in's entry points as the host calls them (cdecl): PFN_ and the
// name.
#define MQ_PLUGIN_ENTRY(result, name, parameters) typedef result(MQ_PLUGINAPI* PFN_##name) parameters;
#include "Vellmar/plugin_entry_list.inc"
#undef MQ_PLUGIN_ENTRY

}  // extern "C"

// Size of the buffers through which names travel, terminating zero included.
constexpr int kHostNameBufferSize = 260;
