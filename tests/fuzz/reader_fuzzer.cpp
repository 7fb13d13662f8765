// Fuzz target: a document file's bytes through the stand-in host's reader,
// .mqo text and .mqoz archives alike.
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/mqo_reader.h"

// Small enough that the fuzzer's memory limit is never what stops a run.
constexpr uint64_t kFuzzMaxDocumentSize = uint64_t{16} << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MQDocumentRecord doc;
  std::string error, warning;
  // Refused or read, either is a finished run: only a crash or a sanitizer
  // report is a finding.
  static_cast<void>(ReadMqoDocumentBytes(reinterpret_cast<const char*>(data), size, "fuzz.mqo", doc, error,
                                         &warning, kFuzzMaxDocumentSize));
  return 0;
}
