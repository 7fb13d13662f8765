// Reading document text a piece at a time: the real documents come out as
// read at hand, the window holds a line rather than the file, and a file
// that ends early or cannot be read is refused with its reason.
#include "host/mqo_text_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/mqo_reader.h"
#include "host/text_in_pieces.h"
#include "test_files.h"

namespace {

std::vector<std::string> DocumentsToRead() {
  std::vector<std::string> paths;
  const std::filesystem::path data(VELLMAR_TEST_DATA_DIR);
  std::vector<std::filesystem::path> folders = {data / "mqo", data / "mqo_reader", data / ".." / ".." / "examples"};
  const char* samples = std::getenv("VELLMAR_MQO_SAMPLES");
  folders.emplace_back(samples && *samples ? samples : VELLMAR_MQO_SAMPLES);
  for (const auto& folder : folders) {
    if (!std::filesystem::is_directory(folder)) continue;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
      if (entry.is_regular_file() && entry.path().extension() == ".mqo") paths.push_back(entry.path().string());
  }
  return paths;
}

std::string Document(const std::string& body) {
  return "Metasequoia Document\nFormat Text Ver 1.0\n\n" + body + "Eof\n";
}

TEST(MqoTextWindow, RealDocumentsReadInPiecesAsAtHand) {
  const std::vector<std::string> paths = DocumentsToRead();
  ASSERT_FALSE(paths.empty());
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    const std::string text = ReadFile(path);
    const TextReading at_hand = ReadAtHand(text);
    for (const size_t piece : {size_t{61}, size_t{4096}, MqoTextWindow::kPiece}) {
      const TextReading pieces = ReadInPieces(text, piece);
      EXPECT_EQ(pieces.read, at_hand.read) << "piece " << piece;
      EXPECT_EQ(pieces.error, at_hand.error) << "piece " << piece;
      EXPECT_EQ(pieces.document, at_hand.document) << "piece " << piece;
    }
  }
}

TEST(MqoTextWindow, HoldsALineNotTheFile) {
  // 200,000 vertex lines (some 4 MB), then one face line of 300,000
  // corners (some 3 MB).
  std::string body = "Object \"o\" {\n\tvertex 200000 {\n";
  for (int i = 0; i < 200000; ++i) body += "\t\t" + std::to_string(i) + " 0 1\n";
  body += "\t}\n\tface 1 {\n\t\t300000 V(";
  for (int i = 0; i < 300000; ++i) body += std::to_string(i % 200000) + ' ';
  body += ")\n\t}\n}\n";
  const std::string text = Document(body);

  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
  ASSERT_TRUE(file != nullptr);
  ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), file.get()), text.size());
  std::rewind(file.get());
  MqoTextWindow window(file.get(), text.size(), 4096);
  MQDocumentRecord doc;
  std::string error;
  ASSERT_TRUE(ParseMqoText(window, "t.mqo", doc, error)) << error;
  ASSERT_EQ(doc.objects.size(), 1u);
  EXPECT_EQ(doc.objects[0]->VertexCount(), 200000);
  EXPECT_EQ(doc.objects[0]->CornerCount(0), 300000);
  // The long line, doubled once or twice on the way, and not the 7 MB.
  const size_t face_line = text.size() - text.find("\t\t300000 V(");
  EXPECT_GE(window.LargestHold(), face_line - 16);
  EXPECT_LT(window.LargestHold(), 3 * face_line);

  // Without the long line, a few pieces do.
  const std::string short_lines = Document(body.substr(0, body.find("\tface")) + "}\n");
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> second(std::tmpfile(), &std::fclose);
  ASSERT_TRUE(second != nullptr);
  ASSERT_EQ(std::fwrite(short_lines.data(), 1, short_lines.size(), second.get()), short_lines.size());
  std::rewind(second.get());
  MqoTextWindow lines(second.get(), short_lines.size(), 4096);
  ASSERT_TRUE(ParseMqoText(lines, "t.mqo", doc, error)) << error;
  EXPECT_LE(lines.LargestHold(), size_t{4} * 4096);
}

TEST(MqoTextWindow, AFileShorterThanItsSizeOrUnreadableIsRefused) {
  const std::string text = Document("Object \"o\" {\n\tvertex 1 {\n\t\t0 0 0\n\t}\n}\n");
  for (const size_t piece : {size_t{7}, size_t{4096}}) {
    const TextReading cut = ReadInPieces(text, piece, static_cast<long long>(text.size()) + 100);
    EXPECT_FALSE(cut.read);
    EXPECT_EQ(cut.error, "t.mqo: the file was cut short while it was read");
  }
  // A folder opens as a file here, and every read of it fails.
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> folder(std::fopen(VELLMAR_TEST_DATA_DIR, "rb"), &std::fclose);
  if (!folder) GTEST_SKIP() << "this system does not open a folder as a file";
  MqoTextWindow window(folder.get(), 1000);
  MQDocumentRecord doc;
  std::string error;
  EXPECT_FALSE(ParseMqoText(window, "t.mqo", doc, error));
  EXPECT_EQ(error.rfind("t.mqo: cannot read: ", 0), 0u) << error;
}

}  // namespace
