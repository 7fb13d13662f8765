// What the freezes of one object share: whether each would change the
// object, the room check before the object grows, and the hand-over of
// rebuilt faces.
#pragma once

#include <cstdint>
#include <string>

#include "host/host_document.h"

// Whether a freeze would change the object.
bool IsLathed(const MQObjectRecord& obj);
bool IsMirrored(const MQObjectRecord& obj);
bool IsSubdivided(const MQObjectRecord& obj);

// Coordinate axis (0 x, 1 y, 2 z) of a point.
inline float& Coordinate(MQPoint& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

// Moves the faces of rebuilt into obj in place of its own; the vertices
// stay.
void TakeFaces(MQObjectRecord& obj, MQObjectRecord&& rebuilt);

// Room check before a freeze grows an object: vertex and corner counts must
// stay within the 32-bit indices of the host's interface. Otherwise false,
// with error naming the object and what would grow.
bool FitsInObject(const MQObjectRecord& obj, int64_t vertices, int64_t corners, const char* what,
                  std::string& error);
