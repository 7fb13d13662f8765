// Binding the host's interface by name.
#include "Vellmar/host_binding.h"

const char* const kHostFunctionNames[kHostFunctionCount] = {
#define MQ_HOST_FUNCTION(name) #name,
#include "Vellmar/host_function_list.inc"
#undef MQ_HOST_FUNCTION
};

const ModuleLoader kSystemModuleLoader = {OpenLibrary, FindLibraryProc, CloseLibrary};

HostTable& BoundHost() {
  static HostTable table;
  return table;
}

int BindHost(const char* path, HostTable& table, const ModuleLoader& loader) {
  void* module = loader.open(path);
  if (!module) return 0;
  for (int i = 0; i < kHostFunctionCount; ++i) {
    LibraryProc proc = loader.find(module, kHostFunctionNames[i]);
    if (!proc) {
      loader.close(module);
      return 0;
    }
    table.slots[i] = proc;
  }
  loader.close(module);
  return 1;
}

bool ExportRoadBound(const HostTable& table) {
  static constexpr HostFunction kExportRoad[] = {
      kHost_MQ_ShowFileDialog,       kHost_MQ_ExportAxis,          kHost_MQDoc_GetObjectCount,
      kHost_MQDoc_GetObject,         kHost_MQDoc_GetMaterialCount, kHost_MQDoc_GetMaterial,
      kHost_MQObj_GetName,           kHost_MQObj_GetVertexCount,   kHost_MQObj_GetVertexArray,
      kHost_MQObj_GetFaceCount,      kHost_MQObj_GetFacePointCount, kHost_MQObj_GetFacePointArray,
      kHost_MQObj_GetFaceCoordinateArray, kHost_MQObj_GetFaceMaterial, kHost_MQMat_GetName,
      kHost_MQMat_GetColor,          kHost_MQMat_GetAlpha,         kHost_MQMat_GetTextureName};
  for (HostFunction f : kExportRoad)
    if (!table.slots[f]) return false;
  return true;
}
