// The stand-in host's exported interface: every host function that a
// plug-in binds by name (Vellmar/host_function_list.inc), over the in-memory
// document of host_document.h, and a few functions for the program that
// drives the stand-in.
//
// What each group does:
//  - Called by an export (MQ_EXPORT_FUNCTION in
//    Vellmar/host_function_list.inc; they behave as a plug-in relies on,
//    and host_api_types.cpp proves their types).
//  - Working on the document model (they do what their names say): the
//    other MQDoc_, MQObj_ and MQMat_ functions, MQ_CreateObject,
//    MQ_CreateMaterial and MQ_ImportAxis.
//  - Doing nothing and returning 0 (the model holds no such data):
//    MQ_GetWindowHandle, MQ_LoadImage, MQ_GetSystemPath, MQ_RefreshView,
//    MQDoc_FindMappingFile, MQDoc_GetScene, MQScene_InitSize,
//    MQScene_GetProjMatrix, MQScene_GetViewMatrix and MQObj_Freeze (the
//    stand-in freezes mirror, lathe and patch geometry only for its driver,
//    through VHost_PrepareDocument).
//
// Indices out of range are ignored: getters return 0 (or write nothing) and
// setters change nothing. Handles must be ones the stand-in handed out.
#pragma once

#include <cstdint>

#include "Vellmar/host_interface.h"

#if defined(_WIN32)
// The module exports its functions and the programs that link against it
// import them: an imported function's address is then its address inside
// the module (the driving program finds the module's file by it), not that
// of a jump stub in the program.
#if defined(VHOST_BUILDING_MODULE)
#define VHOST_EXPORT __declspec(dllexport)
#else
#define VHOST_EXPORT __declspec(dllimport)
#endif
#else
#define VHOST_EXPORT __attribute__((visibility("default")))
#endif

#define VHOST_API(type) VHOST_EXPORT type MQ_HOSTAPI

extern "C" {

// Selection kinds for MQDoc_ClearSelect, combinable.
enum : uint32_t {
  kSelectVertex = 1,
  kSelectLine = 2,
  kSelectFace = 4,
  kSelectUvVertex = 8,
};

// Value kinds of MQMat_GetIntValue / MQMat_SetIntValue.
enum : int32_t {
  kMaterialShader = 1,
  kMaterialVertexColor = 2,
};
// Value kinds of MQMat_GetFloatArray / MQMat_SetFloatArray.
enum : int32_t {
  kMaterialColorAlpha = 1,  // red, green, blue, alpha
  kMaterialFactors = 2,     // diffuse, ambient, emission, specular, power
};

// Application.
VHOST_API(void*) MQ_GetWindowHandle(void);
VHOST_API(MQObject) MQ_CreateObject(void);
VHOST_API(MQMaterial) MQ_CreateMaterial(void);
// The non-interactive options dialog: applies the program's export options
// to the record and returns 1, or leaves the record and returns 0 when the
// program chose to cancel.
VHOST_API(int32_t) MQ_ShowFileDialog(const char* title, ExportDialogRecord* record);
// Converts points from the export's axes back to the document's.
VHOST_API(void) MQ_ImportAxis(ExportDialogRecord* record, MQPoint* points, int32_t count);
// Converts points in place by the record: each output axis takes the source
// axis its word names (negated with kAxisNegate), times the scale held as a
// float in the record's first host word (0 means 1). Identity by default.
VHOST_API(void) MQ_ExportAxis(ExportDialogRecord* record, MQPoint* points, int32_t count);
VHOST_API(int32_t) MQ_LoadImage(const char* filename, void** header, void** bits, uint32_t reserved);
VHOST_API(int32_t) MQ_GetSystemPath(char* buffer, int32_t type);
VHOST_API(void) MQ_RefreshView(void* reserved);

// Document.
// The objects and the materials: MQDoc_GetObjectCount, MQDoc_GetObject,
// MQDoc_GetCurrentObjectIndex, MQDoc_SetCurrentObjectIndex, MQDoc_AddObject
// and the same for Material. Add takes ownership of an item from
// MQ_CreateObject or MQ_CreateMaterial and returns its index.
#define DOCUMENT_LIST_FUNCTIONS(kind, handle)                                   \
  VHOST_API(int32_t) MQDoc_Get##kind##Count(MQDocument doc);                    \
  VHOST_API(handle) MQDoc_Get##kind(MQDocument doc, int32_t index);             \
  VHOST_API(int32_t) MQDoc_GetCurrent##kind##Index(MQDocument doc);             \
  VHOST_API(void) MQDoc_SetCurrent##kind##Index(MQDocument doc, int32_t index); \
  VHOST_API(int32_t) MQDoc_Add##kind(MQDocument doc, handle item);
DOCUMENT_LIST_FUNCTIONS(Object, MQObject)
DOCUMENT_LIST_FUNCTIONS(Material, MQMaterial)
#undef DOCUMENT_LIST_FUNCTIONS
VHOST_API(void) MQDoc_DeleteObject(MQDocument doc, int32_t index);
VHOST_API(int32_t) MQDoc_GetObjectIndex(MQDocument doc, MQObject obj);
// Faces of a deleted material get -1; faces of later materials follow them.
VHOST_API(void) MQDoc_DeleteMaterial(MQDocument doc, int32_t index);
// Removes the vertices that no face uses, in every object.
VHOST_API(void) MQDoc_Compact(MQDocument doc);
VHOST_API(void) MQDoc_ClearSelect(MQDocument doc, uint32_t kinds);
// Each kind of selection: add, delete and ask, the parameters after the
// object naming the element.
#define SELECTION_FUNCTIONS(kind, ...)                                                   \
  VHOST_API(int32_t) MQDoc_AddSelect##kind(MQDocument doc, int32_t obj, __VA_ARGS__);    \
  VHOST_API(int32_t) MQDoc_DeleteSelect##kind(MQDocument doc, int32_t obj, __VA_ARGS__); \
  VHOST_API(int32_t) MQDoc_IsSelect##kind(MQDocument doc, int32_t obj, __VA_ARGS__);
SELECTION_FUNCTIONS(Vertex, int32_t vertex)
SELECTION_FUNCTIONS(Line, int32_t face, int32_t line)
SELECTION_FUNCTIONS(Face, int32_t face)
SELECTION_FUNCTIONS(UVVertex, int32_t face, int32_t corner)
#undef SELECTION_FUNCTIONS
VHOST_API(int32_t) MQDoc_FindMappingFile(MQDocument doc, char* path, const char* filename, uint32_t kind);
VHOST_API(MQScene) MQDoc_GetScene(MQDocument doc, int32_t index);

// Scene (views): the stand-in has none.
VHOST_API(void) MQScene_InitSize(MQScene scene, int32_t width, int32_t height);
VHOST_API(void) MQScene_GetProjMatrix(MQScene scene, float* matrix);
VHOST_API(void) MQScene_GetViewMatrix(MQScene scene, float* matrix);

// Object.
// Frees an object that is not in a document.
VHOST_API(void) MQObj_Delete(MQObject obj);
// A new object, not in a document, copied from obj.
VHOST_API(MQObject) MQObj_Clone(MQObject obj);
// Appends the vertices and faces of source to obj.
VHOST_API(void) MQObj_Merge(MQObject obj, MQObject source);
VHOST_API(void) MQObj_Freeze(MQObject obj, uint32_t flags);
// Writes the name, cut to size - 1 bytes, and a terminating zero.
VHOST_API(void) MQObj_GetName(MQObject obj, char* buffer, int32_t size);
VHOST_API(int32_t) MQObj_GetVertexCount(MQObject obj);
VHOST_API(void) MQObj_GetVertex(MQObject obj, int32_t index, MQPoint* point);
VHOST_API(void) MQObj_SetVertex(MQObject obj, int32_t index, const MQPoint* point);
// Writes every vertex position in index order.
VHOST_API(void) MQObj_GetVertexArray(MQObject obj, MQPoint* points);
VHOST_API(int32_t) MQObj_GetFaceCount(MQObject obj);
VHOST_API(int32_t) MQObj_GetFacePointCount(MQObject obj, int32_t face);
// Write one entry per corner of the face.
VHOST_API(void) MQObj_GetFacePointArray(MQObject obj, int32_t face, int32_t* points);
VHOST_API(void) MQObj_GetFaceCoordinateArray(MQObject obj, int32_t face, MQCoordinate* uvs);
VHOST_API(int32_t) MQObj_GetFaceMaterial(MQObject obj, int32_t face);
VHOST_API(void) MQObj_SetName(MQObject obj, const char* name);
VHOST_API(int32_t) MQObj_AddVertex(MQObject obj, const MQPoint* point);
VHOST_API(int32_t) MQObj_DeleteVertex(MQObject obj, int32_t index, int32_t delete_faces);
VHOST_API(int32_t) MQObj_GetVertexRefCount(MQObject obj, int32_t index);
VHOST_API(uint32_t) MQObj_GetVertexColor(MQObject obj, int32_t index);
VHOST_API(void) MQObj_SetVertexColor(MQObject obj, int32_t index, uint32_t color);
VHOST_API(float) MQObj_GetVertexWeight(MQObject obj, int32_t index);
VHOST_API(void) MQObj_SetVertexWeight(MQObject obj, int32_t index, float weight);
// Copies colour and weight of vertex source of source_obj to vertex dest.
VHOST_API(void) MQObj_CopyVertexAttribute(MQObject obj, int32_t dest, MQObject source_obj, int32_t source);
// Appends a face over count vertex indices; returns its index, or -1 when
// an index is outside the object's vertices.
VHOST_API(int32_t) MQObj_AddFace(MQObject obj, int32_t count, const int32_t* points);
// Deletes a face; with delete_vertices also the vertices no face uses then.
VHOST_API(int32_t) MQObj_DeleteFace(MQObject obj, int32_t face, int32_t delete_vertices);
VHOST_API(int32_t) MQObj_InvertFace(MQObject obj, int32_t face);
VHOST_API(void) MQObj_SetFaceMaterial(MQObject obj, int32_t face, int32_t material);
VHOST_API(void) MQObj_SetFaceCoordinateArray(MQObject obj, int32_t face, const MQCoordinate* uvs);
VHOST_API(uint32_t) MQObj_GetFaceVertexColor(MQObject obj, int32_t face, int32_t corner);
VHOST_API(void) MQObj_SetFaceVertexColor(MQObject obj, int32_t face, int32_t corner, uint32_t color);
// Merges vertices closer than distance.
VHOST_API(void) MQObj_OptimizeVertex(MQObject obj, float distance);
// Removes the vertices that no face uses.
VHOST_API(void) MQObj_Compact(MQObject obj);
// The settings of object_settings.inc.
#define OBJECT_SETTING(type, name, field)                \
  VHOST_API(type) MQObj_Get##name(MQObject obj); \
  VHOST_API(void) MQObj_Set##name(MQObject obj, type value);
#include "host/object_settings.inc"
#undef OBJECT_SETTING

// Material.
// Frees a material that is not in a document.
VHOST_API(void) MQMat_Delete(MQMaterial mat);
VHOST_API(int32_t) MQMat_GetIntValue(MQMaterial mat, int32_t kind);
VHOST_API(void) MQMat_GetFloatArray(MQMaterial mat, int32_t kind, float* values);
VHOST_API(void) MQMat_GetName(MQMaterial mat, char* buffer, int32_t size);
// Writes red, green and blue.
VHOST_API(void) MQMat_GetColor(MQMaterial mat, MQColor* color);
VHOST_API(float) MQMat_GetAlpha(MQMaterial mat);
VHOST_API(float) MQMat_GetDiffuse(MQMaterial mat);
VHOST_API(float) MQMat_GetAmbient(MQMaterial mat);
VHOST_API(float) MQMat_GetEmission(MQMaterial mat);
VHOST_API(float) MQMat_GetSpecular(MQMaterial mat);
VHOST_API(float) MQMat_GetPower(MQMaterial mat);
// Empty for a material without that texture.
VHOST_API(void) MQMat_GetTextureName(MQMaterial mat, char* buffer, int32_t size);
VHOST_API(void) MQMat_GetAlphaName(MQMaterial mat, char* buffer, int32_t size);
VHOST_API(void) MQMat_GetBumpName(MQMaterial mat, char* buffer, int32_t size);
VHOST_API(void) MQMat_SetIntValue(MQMaterial mat, int32_t kind, int32_t value);
VHOST_API(void) MQMat_SetFloatArray(MQMaterial mat, int32_t kind, const float* values);
VHOST_API(void) MQMat_SetName(MQMaterial mat, const char* name);
VHOST_API(void) MQMat_SetColor(MQMaterial mat, const MQColor* color);
VHOST_API(void) MQMat_SetAlpha(MQMaterial mat, float alpha);
VHOST_API(void) MQMat_SetDiffuse(MQMaterial mat, float value);
VHOST_API(void) MQMat_SetAmbient(MQMaterial mat, float value);
VHOST_API(void) MQMat_SetEmission(MQMaterial mat, float value);
VHOST_API(void) MQMat_SetSpecular(MQMaterial mat, float value);
VHOST_API(void) MQMat_SetPower(MQMaterial mat, float value);
VHOST_API(void) MQMat_SetTextureName(MQMaterial mat, const char* name);
VHOST_API(void) MQMat_SetAlphaName(MQMaterial mat, const char* name);
#ifndef VHOST_LEAVE_OUT_SET_BUMP_NAME
VHOST_API(void) MQMat_SetBumpName(MQMaterial mat, const char* name);
#endif

// For the program that drives the stand-in (cdecl).
VHOST_EXPORT MQDocument VHost_CreateDocument(void);
VHOST_EXPORT void VHost_DestroyDocument(MQDocument doc);
// Reads a .mqo or .mqoz document; null on failure, with one line of
// explanation ("FILE:LINE: what was expected") written into error.
VHOST_EXPORT MQDocument VHost_LoadDocument(const char* path, char* error, int32_t error_size);
// The same, refusing a document whose text passes max_size bytes (an
// archive's entry, or a file that is not a regular file), and writing one
// line into warning (an empty string when there is none) about a document
// that looks cut short.
VHOST_EXPORT MQDocument VHost_LoadDocumentLimited(const char* path, uint64_t max_size, char* error,
                                                  int32_t error_size, char* warning, int32_t warning_size);
// The index of the first object that holds a vertex whose coordinates are
// not all finite once the export's axis conversion has run with the options
// that the next dialog applies (with the defaults when it is cancelled), or
// -1 when there is none. The object's name is written into name.
VHOST_EXPORT int32_t VHost_FindNonFiniteObject(MQDocument doc, char* name, int32_t name_size);
// 1 when the document's names are UTF-8 (it says "CodePage utf8"), 0 when
// they are in the host's Shift-JIS code page.
VHOST_EXPORT int32_t VHost_DocumentNamesAreUtf8(MQDocument doc);
// Gives back an object's vertices, with their colours and weights (it then
// has none, and its faces name vertices it lacks), or its faces with their
// corner values: for a reader that has copied them and will read the
// object no further.
VHOST_EXPORT void VHost_ReleaseObjectVertices(MQObject obj);
VHOST_EXPORT void VHost_ReleaseObjectFaces(MQObject obj);
// For a reader that goes through the faces in order: gives back the memory
// of the faces before face where their values fill whole pages. The object
// keeps its count of faces, but those before face read as zeros (corners on
// vertex 0 at (0, 0), material 0, colours 0) until their memory is given
// back whole; the faces from face on are kept as they are.
VHOST_EXPORT void VHost_ReleaseObjectFacesBefore(MQObject obj, int32_t face);
// The options that the next dialogs apply; see ExportOptions.
VHOST_EXPORT void VHost_SetExportOptions(float scale, int32_t axis_x, int32_t axis_y, int32_t axis_z,
                                         int32_t cancel);

// Flags of VHost_PrepareDocument, combinable.
enum : uint32_t {
  kPrepareFreeze = 1,       // lathe, mirror and subdivision become plain faces
  kPrepareVisibleOnly = 2,  // hidden objects are left out
};
// Counts of objects that the host shows otherwise than they are stored.
struct VHostShownOtherwise {
  int32_t hidden;
  int32_t mirrored;
  int32_t lathed;
  int32_t subdivided;
};
// Makes the document what the host shows, as far as flags ask, before a
// plug-in reads it; left (may be null) receives what the flags left as
// stored. Returns 1, or 0 with one line in error (naming the object) and
// the document unchanged.
VHOST_EXPORT int32_t VHost_PrepareDocument(MQDocument doc, uint32_t flags, VHostShownOtherwise* left, char* error,
                                           int32_t error_size);
// Warning index (from 0) of the last VHost_PrepareDocument: a line about an
// object that was prepared otherwise than the document asks (a lathe of
// more steps than are swept). Writes it into text, cut to fit, and returns
// its whole length; -1 past the last warning.
VHOST_EXPORT int32_t VHost_GetPrepareWarning(MQDocument doc, int32_t index, char* text, int32_t text_size);

}  // extern "C"
