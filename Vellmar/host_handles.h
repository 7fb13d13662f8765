// Thin wrappers over the host's document, object and material handles: one
// forwarding operation per host function that an export uses, named as the
// host function without its prefix.
#pragma once

#include "Vellmar/host_binding.h"

class DocumentHandle {
 public:
  explicit DocumentHandle(MQDocument doc) : doc_(doc) {}
  int32_t GetObjectCount() const { return HostFunctionAt<kHost_MQDoc_GetObjectCount>()(doc_); }
  MQObject GetObject(int32_t i) const { return HostFunctionAt<kHost_MQDoc_GetObject>()(doc_, i); }
  int32_t GetMaterialCount() const {
    return HostFunctionAt<kHost_MQDoc_GetMaterialCount>()(doc_);
  }
  MQMaterial GetMaterial(int32_t i) const {
    return HostFunctionAt<kHost_MQDoc_GetMaterial>()(doc_, i);
  }

 private:
  MQDocument doc_;
};

class ObjectHandle {
 public:
  explicit ObjectHandle(MQObject obj) : obj_(obj) {}
  void GetName(char* buffer, int32_t size) const {
    HostFunctionAt<kHost_MQObj_GetName>()(obj_, buffer, size);
  }
  int32_t GetVertexCount() const { return HostFunctionAt<kHost_MQObj_GetVertexCount>()(obj_); }
  void GetVertexArray(MQPoint* points) const {
    HostFunctionAt<kHost_MQObj_GetVertexArray>()(obj_, points);
  }
  int32_t GetFaceCount() const { return HostFunctionAt<kHost_MQObj_GetFaceCount>()(obj_); }
  int32_t GetFacePointCount(int32_t face) const {
    return HostFunctionAt<kHost_MQObj_GetFacePointCount>()(obj_, face);
  }
  void GetFacePointArray(int32_t face, int32_t* points) const {
    HostFunctionAt<kHost_MQObj_GetFacePointArray>()(obj_, face, points);
  }
  void GetFaceCoordinateArray(int32_t face, MQCoordinate* uvs) const {
    HostFunctionAt<kHost_MQObj_GetFaceCoordinateArray>()(obj_, face, uvs);
  }
  int32_t GetFaceMaterial(int32_t face) const {
    return HostFunctionAt<kHost_MQObj_GetFaceMaterial>()(obj_, face);
  }

 private:
  MQObject obj_;
};

class MaterialHandle {
 public:
  explicit MaterialHandle(MQMaterial mat) : mat_(mat) {}
  void GetName(char* buffer, int32_t size) const {
    HostFunctionAt<kHost_MQMat_GetName>()(mat_, buffer, size);
  }
  // The host writes the colour into one owned here; a copy is returned.
  MQColor GetColor() const {
    MQColor color = {0.0f, 0.0f, 0.0f};
    HostFunctionAt<kHost_MQMat_GetColor>()(mat_, &color);
    return color;
  }
  float GetAlpha() const { return HostFunctionAt<kHost_MQMat_GetAlpha>()(mat_); }
  void GetTextureName(char* buffer, int32_t size) const {
    HostFunctionAt<kHost_MQMat_GetTextureName>()(mat_, buffer, size);
  }

 private:
  MQMaterial mat_;
};
