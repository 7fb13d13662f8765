// Names in UTF-8 for the formats whose readers take them so, converted from
// the document's code page.
#include <string>

#include "w_lib/util/code_page.h"
#include "w_lib/writer_edits/writer_edits.h"

namespace {

template <class Record>
void ConvertNames(Record* records, int count, bool utf8) {
  for (int i = 0; i < count; ++i) {
    if (records[i].name.IsNull()) continue;
    const char* name = records[i].name.c_str();
    const std::string converted = NameAsUtf8(name, utf8);
    if (converted != name) records[i].name.Set(converted.c_str());
  }
}

}  // namespace

void NamesToUtf8(WScene& scene) {
  const bool utf8 = scene.utf8_names;
  ConvertNames(scene.objects, scene.onum, utf8);
  ConvertNames(scene.materials, scene.mnum, utf8);
  ConvertNames(scene.textures, scene.tnum, utf8);
  ConvertNames(scene.cameras, scene.camnum, utf8);
  ConvertNames(scene.lights, scene.lignum, utf8);
  ConvertNames(scene.pars, scene.parnum, utf8);
  scene.utf8_names = true;
}
