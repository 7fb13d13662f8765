// The fixed sequences of scene passes that run between reading the host's
// document and writing a file: the export's, for dotXSI, and the library
// formats' one, for the scene library's other writers.
#pragma once

#include "w_lib/w_scene.h"

// The export mirrors in x only.
constexpr unsigned kExportMirrorMask = 1;
// Document lengths are written in hundredths: 100 becomes 1.
constexpr float kExportUnitScale = 0.01f;

// Turns the document as the host holds it into the scene that the dotXSI
// writer writes, by the passes of RunPasses (export_passes.cpp), which
// lists them in order: the first mirrors in x, the last scales lengths to
// the output unit.
void RunExportPasses(WScene& scene);

// The export's passes without the edge list. The dotXSI writer reads no
// lines and no face sides, so it writes the same bytes; the file is made
// without the time and memory that the edges take (two lines a face on a
// closed quad mesh).
void RunExportPassesWithoutEdges(WScene& scene);

// The same passes with the first replaced: instead of the mirror,
// every face is reversed and no coordinate changes. The host's faces wind
// the other way round from the scene library's convention, so this puts a
// document into the convention that the library's writers expect (outward
// faces counter-clockwise in a right-handed frame, y up).
void RunLibraryFormatPasses(WScene& scene);

// The library formats' passes with the edge list made only for objects that
// hold lines of their own (BuildEdgesWhereLinesAre): every writer of the
// scene library drops the lines that are face sides first, so it writes the
// same bytes, without the time and memory that the face sides' lines take.
void RunLibraryFormatPassesForWriters(WScene& scene);

// The library formats' passes for the writers, for the glTF writers: an
// object that has no colour records, holds white at every corner and has
// no two-corner face gets none. The glTF writers write no colours for
// white corners, and the white records (one per vertex) split no vertex,
// so they write the same bytes without the time and memory the records
// take.
void RunLibraryFormatPassesForGltf(WScene& scene);
