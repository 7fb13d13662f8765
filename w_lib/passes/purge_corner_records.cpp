// Purging corner attribute records: the texture coordinates, colours and
// normals that no corner names are deleted.
#include "w_lib/passes/corner_record_kinds.h"

using namespace corner_records;

void PurgeUvs(WObject& object) { Purge(object, kUvs); }
void PurgeColors(WObject& object) { Purge(object, kColors); }
void PurgeNormals(WObject& object) { Purge(object, kNormals); }

void PurgeUvs(WScene& scene) { ForEachObject(scene, [](WObject& o) { PurgeUvs(o); }); }
void PurgeColors(WScene& scene) { ForEachObject(scene, [](WObject& o) { PurgeColors(o); }); }
void PurgeNormals(WScene& scene) { ForEachObject(scene, [](WObject& o) { PurgeNormals(o); }); }
