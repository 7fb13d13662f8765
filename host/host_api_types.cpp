// Compile-time proof that the stand-in's functions on the export's road have
// exactly the types through which the plug-in calls them: the same result,
// arguments and calling convention (stdcall on 32-bit Windows, where a
// mismatch would unbalance the stack on every call).
#include <type_traits>

#include "host/host_api.h"

#define VHOST_SAME_TYPE(name) \
  static_assert(std::is_same_v<decltype(&name), PFN_##name>, #name " does not match the plug-in's PFN_" #name)

VHOST_SAME_TYPE(MQ_ShowFileDialog);
VHOST_SAME_TYPE(MQ_ExportAxis);
VHOST_SAME_TYPE(MQDoc_GetObjectCount);
VHOST_SAME_TYPE(MQDoc_GetObject);
VHOST_SAME_TYPE(MQDoc_GetMaterialCount);
VHOST_SAME_TYPE(MQDoc_GetMaterial);
VHOST_SAME_TYPE(MQObj_GetName);
VHOST_SAME_TYPE(MQObj_GetVertexCount);
VHOST_SAME_TYPE(MQObj_GetVertexArray);
VHOST_SAME_TYPE(MQObj_GetFaceCount);
VHOST_SAME_TYPE(MQObj_GetFacePointCount);
VHOST_SAME_TYPE(MQObj_GetFacePointArray);
VHOST_SAME_TYPE(MQObj_GetFaceCoordinateArray);
VHOST_SAME_TYPE(MQObj_GetFaceMaterial);
VHOST_SAME_TYPE(MQMat_GetName);
VHOST_SAME_TYPE(MQMat_GetColor);
VHOST_SAME_TYPE(MQMat_GetAlpha);
VHOST_SAME_TYPE(MQMat_GetTextureName);

#undef VHOST_SAME_TYPE
