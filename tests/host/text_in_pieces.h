// Reading a document's text a piece at a time must give what reading it at
// hand gives: the same document, the same error, the same warning. These
// helpers read text both ways and describe a document as one string, so
// that a test compares the two whole.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/document_description.h"
#include "host/mqo_reader.h"
#include "host/mqo_text_window.h"

struct TextReading {
  bool read = false;
  std::string error;
  std::string warning;
  std::string document;
};

// Reads text from a temporary file, a piece of the given size at a time.
// size_of_file: what the window is told the file holds (default: its size).
inline TextReading ReadInPieces(const std::string& text, size_t piece, long long size_of_file = -1) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
  EXPECT_TRUE(file != nullptr);
  if (!file) return {};
  if (!text.empty()) {
    EXPECT_EQ(std::fwrite(text.data(), 1, text.size(), file.get()), text.size());
  }
  std::rewind(file.get());
  MqoTextWindow window(file.get(), size_of_file < 0 ? text.size() : static_cast<uint64_t>(size_of_file), piece);
  TextReading r;
  MQDocumentRecord doc;
  r.read = ParseMqoText(window, "t.mqo", doc, r.error, &r.warning);
  if (r.read) r.document = DescribeDocument(doc);
  return r;
}

inline TextReading ReadAtHand(const std::string& text) {
  std::vector<char> bytes(text.begin(), text.end());
  TextReading r;
  MQDocumentRecord doc;
  r.read = ParseMqoDocument(bytes.data(), bytes.size(), "t.mqo", doc, r.error, &r.warning);
  if (r.read) r.document = DescribeDocument(doc);
  return r;
}

// Expects the readings in pieces of 1, 7 and 4096 bytes to equal the
// reading at hand.
inline void ExpectSameInPieces(const std::string& text, const TextReading& at_hand) {
  for (const size_t piece : {size_t{1}, size_t{7}, size_t{4096}}) {
    const TextReading pieces = ReadInPieces(text, piece);
    EXPECT_EQ(pieces.read, at_hand.read) << "piece " << piece;
    EXPECT_EQ(pieces.error, at_hand.error) << "piece " << piece;
    EXPECT_EQ(pieces.warning, at_hand.warning) << "piece " << piece;
    EXPECT_EQ(pieces.document, at_hand.document) << "piece " << piece;
  }
}
