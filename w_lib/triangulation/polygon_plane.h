// Double-precision geometry that the ear clipper's two trees share: the
// size of a polygon's coordinates, unit vectors, and axes in its plane.
#pragma once

#include "w_lib/w_scene.h"

// Coordinates beyond this size could overflow the clipper's products; the
// trees leave such polygons to a walk over every side or corner.
constexpr double kMaxTreeCoordinate = 1e15;

inline double Dot3(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The largest absolute coordinate of the face's corners, in *largest. False
// when a corner names no vertex, or a coordinate is not finite or passes
// kMaxTreeCoordinate.
bool LargestCornerCoordinate(const WObject& object, const WFace& face, double* largest);

// v scaled to unit length in out, or zero when v has no finite direction.
void UnitOrZero(const double v[3], double out[3]);

// Axes of the plane across the unit normal: the first along the part of
// along that lies in the plane, the second square to it and the normal, the
// third the normal itself. False when the normal is zero or along runs
// (almost) with it.
bool AxesAlong(const double normal[3], const double along[3], double axis[3][3]);
