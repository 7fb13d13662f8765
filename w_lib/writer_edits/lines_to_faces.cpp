// Loose lines made two-corner faces.
#include <climits>
#include <new>

#include "w_lib/writer_edits/writer_edits.h"

void LinesToFaces(WObject& object) {
  const int lines = object.lnum;
  if (object.fnum > INT_MAX - lines || !object.ReserveFaces(object.fnum + lines)) throw std::bad_alloc();
  for (int i = 0; i < lines; ++i) {
    const int f = object.AddFace(2);
    WLine& line = object.lines[i];
    object.faces[f].v[0] = line.v[0];
    object.faces[f].v[1] = line.v[1];
    line.flags |= kDeleted;
    line.remap = -1;
  }
  object.Compact();
}

void LinesToFaces(WScene& scene) { ForEachObject(scene, [](WObject& o) { LinesToFaces(o); }); }
