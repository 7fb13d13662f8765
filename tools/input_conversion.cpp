// Converting one input of convert.
#include "tools/input_conversion.h"

#include <functional>
#include <utility>
#include <vector>

#include "Vellmar/export_driver.h"
#include "w_lib/util/path_parts.h"
#include "w_lib/util/texture_path.h"
#include "tools/console.h"

int ConvertInput(const Conversion& conversion, LoadedInput& input, const std::string& output) {
  // Texture images are looked for as the host looks for them: relative
  // names in the document's folder.
  std::vector<std::string> warnings;
  WriterOptions options = conversion.options;
  options.textures.document_folder = SystemFolderOf(input.path);
  options.textures.warnings = &warnings;
  using namespace std::placeholders;
  const SceneWrite write = std::bind(conversion.format.write, output.c_str(), _1, std::cref(options));
  ProgressStage("converting");
  WriteResult result;
  if (input.document) {
    result = ConvertDocument(conversion.host, input.document->Take(), conversion.format.passes, write);
  } else {
    // A dotXSI file's scene is in the writers' convention already.
    conversion.format.read_scene_passes(input.scene);
    result = write(std::move(input.scene));
  }
  for (const std::string& warning : warnings) PrintWarning(input.path + ": " + warning);
  return result.error();
}
