// Thin wrappers over the host's document, object and material handles: one
// forwarding operation per host function that an export uses, named as the
// host function without its prefix, through the table they were given.
#pragma once

#include "Vellmar/host_binding.h"

class DocumentHandle {
 public:
  DocumentHandle(const HostTable& host, MQDocument doc) : host_(host), doc_(doc) {}
  int32_t GetObjectCount() const { return host_.Function<kHost_MQDoc_GetObjectCount>()(doc_); }
  MQObject GetObject(int32_t i) const { return host_.Function<kHost_MQDoc_GetObject>()(doc_, i); }
  int32_t GetMaterialCount() const {
    return host_.Function<kHost_MQDoc_GetMaterialCount>()(doc_);
  }
  MQMaterial GetMaterial(int32_t i) const {
    return host_.Function<kHost_MQDoc_GetMaterial>()(doc_, i);
  }

 private:
  const HostTable& host_;
  MQDocument doc_;
};

class ObjectHandle {
 public:
  ObjectHandle(const HostTable& host, MQObject obj) : host_(host), obj_(obj) {}
  void GetName(char* buffer, int32_t size) const {
    host_.Function<kHost_MQObj_GetName>()(obj_, buffer, size);
  }
  int32_t GetVertexCount() const { return host_.Function<kHost_MQObj_GetVertexCount>()(obj_); }
  void GetVertexArray(MQPoint* points) const {
    host_.Function<kHost_MQObj_GetVertexArray>()(obj_, points);
  }
  int32_t GetFaceCount() const { return host_.Function<kHost_MQObj_GetFaceCount>()(obj_); }
  int32_t GetFacePointCount(int32_t face) const {
    return host_.Function<kHost_MQObj_GetFacePointCount>()(obj_, face);
  }
  void GetFacePointArray(int32_t face, int32_t* points) const {
    host_.Function<kHost_MQObj_GetFacePointArray>()(obj_, face, points);
  }
  void GetFaceCoordinateArray(int32_t face, MQCoordinate* uvs) const {
    host_.Function<kHost_MQObj_GetFaceCoordinateArray>()(obj_, face, uvs);
  }
  int32_t GetFaceMaterial(int32_t face) const {
    return host_.Function<kHost_MQObj_GetFaceMaterial>()(obj_, face);
  }

 private:
  const HostTable& host_;
  MQObject obj_;
};

class MaterialHandle {
 public:
  MaterialHandle(const HostTable& host, MQMaterial mat) : host_(host), mat_(mat) {}
  void GetName(char* buffer, int32_t size) const {
    host_.Function<kHost_MQMat_GetName>()(mat_, buffer, size);
  }
  // The host writes the colour into one owned here; a copy is returned.
  MQColor GetColor() const {
    MQColor color = {0.0f, 0.0f, 0.0f};
    host_.Function<kHost_MQMat_GetColor>()(mat_, &color);
    return color;
  }
  float GetAlpha() const { return host_.Function<kHost_MQMat_GetAlpha>()(mat_); }
  void GetTextureName(char* buffer, int32_t size) const {
    host_.Function<kHost_MQMat_GetTextureName>()(mat_, buffer, size);
  }

 private:
  const HostTable& host_;
  MQMaterial mat_;
};
