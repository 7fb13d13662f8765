// The text writers that prepare the scene before they write it: they work
// on a copy of a scene that they may only read, and on the scene itself
// when the caller hands it over, which saves the copy's memory and time.
#pragma once

#include "w_lib/w_scene.h"
#include "w_lib/writers/text_output.h"

// write_of(out, work) on a copy of scene.
template <class WriteOf>
void WriteWorkingCopy(TextOutput& out, const WScene& scene, WriteOf write_of) {
  WScene work(scene);
  write_of(out, work);
}

// Replaces the file at path, as WriteWholeFile does, with what
// write_of(out, work) writes, work being a copy of scene made inside the
// write, so that running out of memory for it is the write's failure.
template <class WriteOf>
WriteResult WriteFromWorkingCopy(const char* path, const char* mode, const WScene& scene, WriteOf write_of) {
  return WriteWholeFile(path, mode, [&](TextOutput& out) { WriteWorkingCopy(out, scene, write_of); });
}

// The same with scene itself as the working scene.
template <class WriteOf>
WriteResult WriteFromWorkingCopy(const char* path, const char* mode, WScene&& scene, WriteOf write_of) {
  return WriteWholeFile(path, mode, [&](TextOutput& out) { write_of(out, scene); });
}
