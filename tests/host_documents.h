// Host documents for the tests, built through the stand-in host's own
// interface functions.
#pragma once

#include <initializer_list>

#include "host/host_api.h"
#include "test_files.h"

// Adds a material; returns its index.
int32_t AddHostMaterial(MQDocument doc, const char* name, MQColor color, float alpha = 1.0f,
                        const char* texture = "");

// Adds an object with the given vertices; returns its handle.
MQObject AddHostObject(MQDocument doc, const char* name, std::initializer_list<MQPoint> vertices);

// Adds a face over the vertex indices with a material and, when given, one
// (u, v) pair per corner; returns its index.
int32_t AddHostFace(MQObject obj, std::initializer_list<int32_t> points, int32_t material,
                    std::initializer_list<MQCoordinate> uvs = {});
