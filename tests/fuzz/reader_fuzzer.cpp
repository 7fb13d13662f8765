// Fuzz target: a document file's bytes through the stand-in host's reader,
// .mqo text and .mqoz archives alike; text is also read a piece at a time,
// which must come out the same.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "host/document_description.h"
#include "host/mqo_reader.h"
#include "host/mqo_text_window.h"

// Small enough that the fuzzer's memory limit is never what stops a run.
constexpr uint64_t kFuzzMaxDocumentSize = uint64_t{16} << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MQDocumentRecord doc;
  std::string error, warning;
  // Refused or read, either is a finished run: only a crash or a sanitizer
  // report is a finding.
  const bool read = ReadMqoDocumentBytes(reinterpret_cast<const char*>(data), size, "fuzz.mqo", doc, error,
                                         &warning, kFuzzMaxDocumentSize);
  if (size == 0 || (size >= 2 && data[0] == 'P' && data[1] == 'K')) return 0;

  // A piece size from the input, so that pieces end everywhere.
#if defined(__linux__)
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
      fmemopen(const_cast<uint8_t*>(data), size, "rb"), &std::fclose);
#else
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
  if (file) {
    static_cast<void>(std::fwrite(data, 1, size, file.get()));
    std::rewind(file.get());
  }
#endif
  if (!file) return 0;
  MqoTextWindow window(file.get(), size, 1 + data[size - 1] % 61);
  MQDocumentRecord pieces_doc;
  std::string pieces_error, pieces_warning;
  const bool pieces_read = ParseMqoText(window, "fuzz.mqo", pieces_doc, pieces_error, &pieces_warning);
  if (pieces_read != read || pieces_error != error || pieces_warning != warning ||
      (read && DescribeDocument(pieces_doc) != DescribeDocument(doc)))
    std::abort();
  return 0;
}
