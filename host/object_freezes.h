// The freezes of one object: its lathe, mirror and subdivision surface
// turned into plain vertices and faces, each in a file of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_document.h"

// Each freeze works on one object in place and then clears the object's own
// setting, so that freezing twice changes nothing. On failure it returns
// false with one line in error and leaves the object as it was. Where a
// setting is out of the range a freeze takes, it adds one line about the
// object to warnings (when given).

// The most steps a lathe is swept in. A full turn in 256 steps of 1.4
// degrees strays from the true circle by less than 1/10,000 of its radius,
// which no view shows; and a profile edge then gives at most 256 quads, as
// many as the deepest subdivision makes of one quad.
constexpr int32_t kMaxLatheSegments = 256;

// Sweeps the object's two-corner faces (the profile) around its lathe axis
// through the origin, in lathe_segment steps (3 to kMaxLatheSegments),
// into quads that close around; a corner on the axis gives a triangle. A
// profile edge that runs from a to b in the axis' direction gives faces that
// face away from the axis. Swept corners keep their edge corner's v and
// colour; u runs from 0 at the profile to 1 after the full turn. Other faces
// stay as they are.
bool FreezeLathe(MQObjectRecord& obj, std::string& error, std::vector<std::string>* warnings = nullptr);

// For each axis of the mirror mask (1 x, 2 y, 4 z), in that order, adds a
// mirrored copy of the geometry so far across the plane where that
// coordinate is 0, with reversed faces. A connected mirror (type 2) shares
// the vertices within mirror_distance of the plane between both halves,
// moved onto it, and keeps a face lying in the plane once.
bool FreezeMirror(MQObjectRecord& obj, std::string& error);

// Refines the faces of three or more corners as a Catmull-Clark surface,
// whatever the patch type, to the level patch_segment (clamped to 1..4):
// boundaries keep their edges and corners, UVs and corner colours refine as
// face-varying data so that seams stay, and each new face takes its parent
// face's material. Faces of fewer corners stay, on their vertices' refined
// positions. Fails in a build without a subdivision library.
bool FreezeSubdivision(MQObjectRecord& obj, std::string& error);
bool SubdivisionAvailable();
