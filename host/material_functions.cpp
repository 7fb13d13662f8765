// The stand-in host's material functions.
#include "host/host_api.h"
#include "host/host_document.h"

extern "C" {

VHOST_API(void) MQMat_Delete(MQMaterial mat) { delete mat; }

VHOST_API(int32_t) MQMat_GetIntValue(MQMaterial mat, int32_t kind) {
  switch (kind) {
    case kMaterialShader: return mat->shader;
    case kMaterialVertexColor: return mat->vertex_color;
    default: return 0;
  }
}

VHOST_API(void) MQMat_SetIntValue(MQMaterial mat, int32_t kind, int32_t value) {
  switch (kind) {
    case kMaterialShader: mat->shader = value; break;
    case kMaterialVertexColor: mat->vertex_color = value; break;
    default: break;
  }
}

VHOST_API(void) MQMat_GetFloatArray(MQMaterial mat, int32_t kind, float* values) {
  if (!values) return;
  if (kind == kMaterialColorAlpha) {
    values[0] = mat->color.r;
    values[1] = mat->color.g;
    values[2] = mat->color.b;
    values[3] = mat->alpha;
  } else if (kind == kMaterialFactors) {
    values[0] = mat->diffuse;
    values[1] = mat->ambient;
    values[2] = mat->emission;
    values[3] = mat->specular;
    values[4] = mat->power;
  }
}

VHOST_API(void) MQMat_SetFloatArray(MQMaterial mat, int32_t kind, const float* values) {
  if (!values) return;
  if (kind == kMaterialColorAlpha) {
    mat->color = MQColor{values[0], values[1], values[2]};
    mat->alpha = values[3];
  } else if (kind == kMaterialFactors) {
    mat->diffuse = values[0];
    mat->ambient = values[1];
    mat->emission = values[2];
    mat->specular = values[3];
    mat->power = values[4];
  }
}

VHOST_API(void) MQMat_GetName(MQMaterial mat, char* buffer, int32_t size) { CopyHostName(mat->name, buffer, size); }

VHOST_API(void) MQMat_GetColor(MQMaterial mat, MQColor* color) {
  if (color) *color = mat->color;
}

VHOST_API(float) MQMat_GetAlpha(MQMaterial mat) { return mat->alpha; }
VHOST_API(float) MQMat_GetDiffuse(MQMaterial mat) { return mat->diffuse; }
VHOST_API(float) MQMat_GetAmbient(MQMaterial mat) { return mat->ambient; }
VHOST_API(float) MQMat_GetEmission(MQMaterial mat) { return mat->emission; }
VHOST_API(float) MQMat_GetSpecular(MQMaterial mat) { return mat->specular; }
VHOST_API(float) MQMat_GetPower(MQMaterial mat) { return mat->power; }

VHOST_API(void) MQMat_GetTextureName(MQMaterial mat, char* buffer, int32_t size) {
  CopyHostName(mat->texture, buffer, size);
}
VHOST_API(void) MQMat_GetAlphaName(MQMaterial mat, char* buffer, int32_t size) {
  CopyHostName(mat->alpha_texture, buffer, size);
}
VHOST_API(void) MQMat_GetBumpName(MQMaterial mat, char* buffer, int32_t size) {
  CopyHostName(mat->bump_texture, buffer, size);
}

VHOST_API(void) MQMat_SetName(MQMaterial mat, const char* name) { mat->name = name ? name : ""; }

VHOST_API(void) MQMat_SetColor(MQMaterial mat, const MQColor* color) {
  if (color) mat->color = *color;
}

VHOST_API(void) MQMat_SetAlpha(MQMaterial mat, float alpha) { mat->alpha = alpha; }
VHOST_API(void) MQMat_SetDiffuse(MQMaterial mat, float value) { mat->diffuse = value; }
VHOST_API(void) MQMat_SetAmbient(MQMaterial mat, float value) { mat->ambient = value; }
VHOST_API(void) MQMat_SetEmission(MQMaterial mat, float value) { mat->emission = value; }
VHOST_API(void) MQMat_SetSpecular(MQMaterial mat, float value) { mat->specular = value; }
VHOST_API(void) MQMat_SetPower(MQMaterial mat, float value) { mat->power = value; }

VHOST_API(void) MQMat_SetTextureName(MQMaterial mat, const char* name) { mat->texture = name ? name : ""; }
VHOST_API(void) MQMat_SetAlphaName(MQMaterial mat, const char* name) { mat->alpha_texture = name ? name : ""; }

#ifndef VHOST_LEAVE_OUT_SET_BUMP_NAME
VHOST_API(void) MQMat_SetBumpName(MQMaterial mat, const char* name) { mat->bump_texture = name ? name : ""; }
#endif

}  // extern "C"
