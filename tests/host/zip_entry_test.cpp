// .mqoz archives through the reader: stored and deflated entries, and the
// hostile archives that must be refused with a clear message and bounded
// memory.
#include "host/zip_entry.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "host/mqo_reader.h"
#include "zip_files.h"

namespace {

const std::string kDoc =
    "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\nObject \"o\" {\r\n\tvertex 3 {\r\n\t\t0 0 0\r\n\t\t1 0 0\r\n"
    "\t\t0 1 0\r\n\t}\r\n\tface 1 {\r\n\t\t3 V(0 1 2)\r\n\t}\r\n}\r\nEof\r\n";

bool Read(const std::string& archive, std::string& error, uint64_t max_size = kDefaultMaxDocumentSize) {
  const std::vector<char> bytes(archive.begin(), archive.end());  // exact size, for the sanitizers
  MQDocumentRecord doc;
  const bool read = ReadMqoDocumentBytes(bytes.data(), bytes.size(), "t.mqoz", doc, error, nullptr, max_size);
  EXPECT_TRUE(!read || (doc.ObjectCount() == 1 && doc.objects[0]->FaceCount() == 1)) << error;
  return read;
}

}  // namespace

TEST(ZipEntry, ReadsTheFirstMqoEntryStoredOrDeflated) {
  std::string error;
  EXPECT_TRUE(Read(ZipArchive({StoredEntry("notes.txt", "x"), StoredEntry("Doc.MQO", kDoc)}), error)) << error;
  EXPECT_TRUE(Read(ZipArchive({DeflatedEntry("doc.mqo", kDoc), StoredEntry("later.mqo", "junk")}), error)) << error;
}

TEST(ZipEntry, RefusesHostileArchives) {
  ZipEntryData encrypted = StoredEntry("doc.mqo", kDoc);
  encrypted.flags = 1;
  ZipEntryData method = StoredEntry("doc.mqo", kDoc);
  method.method = 12;
  ZipEntryData bad_crc = DeflatedEntry("doc.mqo", kDoc);
  bad_crc.crc ^= 1;
  ZipEntryData longer = DeflatedEntry("doc.mqo", kDoc, 1 << 20);
  longer.size = static_cast<uint32_t>(kDoc.size());
  ZipEntryData shorter = DeflatedEntry("doc.mqo", kDoc);
  shorter.size += 10;
  ZipEntryData cut = DeflatedEntry("doc.mqo", kDoc);
  cut.packed.resize(cut.packed.size() / 2);
  ZipEntryData mixed_sizes = StoredEntry("doc.mqo", kDoc);
  mixed_sizes.size += 1;

  const std::pair<std::string, const char*> cases[] = {
      {ZipArchive({}), "t.mqoz: the archive is empty: it holds no .mqo document"},
      {ZipArchive({StoredEntry("a.txt", "x")}), "t.mqoz: the archive holds no .mqo document"},
      {ZipArchive({encrypted}), "encrypted"},
      {ZipArchive({method}), "compression method 12"},
      {ZipArchive({bad_crc}), "CRC"},
      {ZipArchive({longer}), "more than its stated size"},
      {ZipArchive({shorter}), "not its stated"},
      {ZipArchive({cut}), "cut short"},
      {ZipArchive({mixed_sizes}), "two different sizes"},
      {ZipArchive({DeflatedEntry("doc.mqo", "PK\x03\x04 inside")}), "t.mqoz(doc.mqo):1: expected \"Metasequoia"},
      {ZipArchive({DeflatedEntry("a\nb.mqo", "text")}), "t.mqoz(a?b.mqo):1: expected"},
      // A first line, then zeros: refused at the first token too long, long
      // before the rest is unpacked.
      {ZipArchive({DeflatedEntry("doc.mqo", "Metasequoia Document\r\nFormat Text Ver 1.0\r\n", 64 << 20)}),
       "t.mqoz(doc.mqo):3: expected a word or number of at most 65536 bytes, found a longer one"},
      {"PK\x03\x04 not an archive", "t.mqoz: not a zip archive"},
  };
  for (const auto& [archive, message] : cases) {
    std::string error;
    EXPECT_FALSE(Read(archive, error)) << message;
    EXPECT_NE(error.find(message), std::string::npos) << error;
    EXPECT_EQ(error.rfind("t.mqoz", 0), 0u) << error;
  }

  // The stated size decides before anything is unpacked.
  std::string error;
  EXPECT_FALSE(Read(ZipArchive({DeflatedEntry("doc.mqo", kDoc, 5000)}), error, 4096));
  EXPECT_NE(error.find("more than the document size limit of 4096 bytes"), std::string::npos) << error;

  // Every cut of a good archive is refused without reading past its end.
  const std::string good = ZipArchive({DeflatedEntry("doc.mqo", kDoc)});
  for (size_t n = 0; n < good.size(); ++n) EXPECT_FALSE(Read(good.substr(0, n), error)) << n;
}
