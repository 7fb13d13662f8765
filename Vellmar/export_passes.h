// The fixed sequence of scene passes that an export runs between reading the
// host's document and writing the file.
#pragma once

#include "w_lib/w_scene.h"

// The export mirrors in x only.
constexpr unsigned kExportMirrorMask = 1;
// Document lengths are written in hundredths: 100 becomes 1.
constexpr float kExportUnitScale = 0.01f;

// Mirrors in x, computes face and smoothed corner normals, makes, purges and
// shares the texture-coordinate, colour and normal records per vertex,
// builds the edges and scales lengths to the output unit.
void RunExportPasses(WScene& scene);
