// Fuzz target: a document read, prepared exactly as convert prepares it for
// each format, and written by every writer of the command line, into files of a private
// temporary folder (through the same whole-file replacement as real runs).
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "Vellmar/export_driver.h"
#include "Vellmar/export_passes.h"
#include "Vellmar/host_binding.h"
#include "host/host_api.h"
#include "host/mqo_reader.h"
#include "tools/output_formats.h"

namespace {

constexpr uint64_t kFuzzMaxDocumentSize = uint64_t{16} << 20;

std::string g_folder;
HostTable g_host;

void RemoveFolder() { rmdir(g_folder.c_str()); }

// Binds the host's interface once, and makes the folder the files go to
// (removed again at exit; every file is removed after each run).
const std::string& OutputFolder() {
  if (g_folder.empty()) {
    if (!BindHost(VELLMAR_HOST_MODULE, g_host)) std::abort();
    // A folder in memory where there is one: every file written is flushed
    // to its disk before it is put in place, which a disk makes slow.
    const char* tmp = std::getenv("TMPDIR");
    struct stat info {};
    const char* base = tmp && *tmp ? tmp : stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/vellmar-fuzz-XXXXXX";
    if (!mkdtemp(&pattern[0])) std::abort();
    g_folder = pattern + "/";
    std::atexit(RemoveFolder);
  }
  return g_folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& folder = OutputFolder();
  MQDocumentRecord doc;
  std::string error, warning;
  if (!ReadMqoDocumentBytes(reinterpret_cast<const char*>(data), size, "fuzz.mqo", doc, error, &warning,
                            kFuzzMaxDocumentSize))
    return 0;
  VHost_SetExportOptions(1.0f, 1, 2, 4, 0);
  // The command line refuses such documents before it writes anything.
  if (VHost_FindNonFiniteObject(&doc, nullptr, 0) >= 0) return 0;
  // Each format of the command line's table as convert prepares and writes
  // it; a scene is prepared once for all the formats that share its passes.
  size_t count = 0;
  const OutputFormat* formats = AllFormats(count);
  std::map<void (*)(WScene&), WScene> scenes;
  for (const OutputFormat* format = formats; format != formats + count; ++format) {
    if (!format->write) continue;
    const auto [found, added] = scenes.try_emplace(format->passes);
    WScene& scene = found->second;
    if (added) {
      ReadDocumentWithDialog(g_host, &doc, scene);
      format->passes(scene);
      scene.utf8_names = doc.utf8_names;
    }
    const std::string path = folder + "out" + format->extensions[0];
    // Textures are looked for beside the output, where there are none.
    WriterOptions options;
    options.textures.document_folder = folder;
    // A refused write (a number that is not finite, say) is fine here: only
    // a crash or a leak is a finding.
    static_cast<void>(format->write(path.c_str(), WScene(scene), options));
    unlink(path.c_str());
    // The compressed form of the binary glTF as well.
    if ((format->options & WriterOption::compress) && format->can_stream) {
      options.compress = true;
      static_cast<void>(format->write(path.c_str(), WScene(scene), options));
      unlink(path.c_str());
    }
    if (format->companion_extension) unlink((folder + "out" + format->companion_extension).c_str());
  }
  return 0;
}
