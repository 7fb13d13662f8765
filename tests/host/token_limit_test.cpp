// The token limit of document text: where a token passes it, what is no
// token (raw bytes announced by "[B]"), the line it is reported on, and the
// same verdict however the text arrives.
#include "host/token_limit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

const std::string kHead = "Metasequoia Document\r\nFormat Text Ver 1.1\r\n";

// The verdict on text scanned whole, and on text that arrives in pieces of
// the given size; "" when it passes, else the message.
std::string Verdict(const std::string& text, size_t piece = 0) {
  TokenLimit limit;
  bool fits = true;
  if (piece == 0) {
    fits = limit.Scan(text.data(), text.size(), true);
  } else {
    for (size_t have = 0; fits && have < text.size();) {
      have = std::min(text.size(), have + piece);
      fits = limit.Scan(text.data(), have, have == text.size());
    }
  }
  return fits ? "" : limit.Message("t.mqo");
}

std::string Bytes(char c, size_t n) { return std::string(n, c); }

}  // namespace

TEST(TokenLimit, AWordNumberOrNameOneByteOverTheLimitIsRefusedOnItsLine) {
  const size_t limit = kMaxTokenBytes;
  const std::string word = "expected a word or number of at most 65536 bytes, found a longer one";
  const std::string name = "expected a name of at most 65536 bytes, found a longer one";
  // At the limit, in every kind of place; blanks and brackets end a token.
  EXPECT_EQ(Verdict(kHead + "Scene " + Bytes('x', limit) + "\r\n"), "");
  EXPECT_EQ(Verdict(kHead + "\t\t" + Bytes('7', limit) + " " + Bytes('7', limit) + "\n"), "");
  EXPECT_EQ(Verdict(kHead + "Object \"" + Bytes('n', limit) + "\" {\n}\n"), "");
  EXPECT_EQ(Verdict(kHead + "3 V(" + Bytes('1', limit) + ")(" + Bytes('1', limit) + ")\n"), "");
  // A name holds blanks and brackets, and ends at its line's end.
  EXPECT_EQ(Verdict(kHead + "Object \"" + Bytes(' ', limit) + "\"\n"), "");
  EXPECT_EQ(Verdict(kHead + "Object \"" + Bytes('(', limit + 1) + "\"\n"), "t.mqo:3: " + name);
  EXPECT_EQ(Verdict(kHead + "\"" + Bytes('n', limit) + "\n" + Bytes('n', limit) + "\"\n"), "");
  // One byte more, and the line is the token's: text after it is not read.
  EXPECT_EQ(Verdict(kHead + "\n" + Bytes('x', limit + 1)), "t.mqo:4: " + word);
  EXPECT_EQ(Verdict(kHead + "tex(\"" + Bytes('p', limit + 1) + "\")\n" + Bytes('x', 3 * limit)), "t.mqo:3: " + name);
  EXPECT_EQ(Verdict(kHead + Bytes('\0', 4 * limit)), "t.mqo:3: " + word);
  // A long line of short tokens is a line like any other.
  std::string face = "\t\t100000 V(";
  for (int k = 0; k < 100000; ++k) face += std::to_string(k) + " ";
  EXPECT_EQ(Verdict(kHead + face + ")\n" + Bytes('y', limit + 1)), "t.mqo:4: " + word);
}

TEST(TokenLimit, RawBytesAfterALineEndingInABracketedCountAreNoTokens) {
  const size_t limit = kMaxTokenBytes;
  const std::string raw = Bytes('r', 2 * limit);
  // The raw bytes' own line ends count as the reader counts them.
  const std::string with_breaks = Bytes('r', 10) + "\n\n" + Bytes('r', 2 * limit);
  EXPECT_EQ(Verdict(kHead + "BVertex 1 {\n\tVector 1 [" + std::to_string(raw.size()) + "]\n" + raw + "\n}\n"), "");
  EXPECT_EQ(Verdict(kHead + "Vector 1 [" + std::to_string(with_breaks.size()) + "] \r\n" + with_breaks + "\n" +
                    Bytes('x', limit + 1)),
            "t.mqo:7: expected a word or number of at most 65536 bytes, found a longer one");
  // One raw byte fewer than the run: its last byte is a token of one, then
  // comes a token as long as the limit.
  EXPECT_EQ(Verdict(kHead + "[" + std::to_string(raw.size() - 1) + "]\n" + raw + Bytes('x', limit) + "\n"),
            "t.mqo:4: expected a word or number of at most 65536 bytes, found a longer one");
  // No raw bytes: a count inside a name, one that does not end the line, a
  // bracket without digits, blanks inside the brackets.
  for (const std::string& line : {std::string("\"a [9999999]\""), std::string("[9999999] x"), std::string("[]"),
                                  std::string("[ 9999999]"), std::string("\"[9999999]")}) {
    EXPECT_EQ(Verdict(kHead + line + "\n" + Bytes('x', limit + 1)),
              "t.mqo:4: expected a word or number of at most 65536 bytes, found a longer one")
        << line;
  }
  // A count too large to read passes over everything after it.
  EXPECT_EQ(Verdict(kHead + "[99999999999999999999999]\n" + Bytes('x', limit + 1)), "");
}

TEST(TokenLimit, PiecesOfAnySizeGiveTheVerdictOfTheWholeText) {
  const size_t limit = kMaxTokenBytes;
  const std::string raw = Bytes('r', limit + 5);
  const std::string texts[] = {
      kHead + "Object \"" + Bytes('n', limit) + "\" {\n" + Bytes('1', limit) + "\n}\nEof\n",
      kHead + "Scene {\n" + Bytes('a', 100) + "\n" + Bytes('b', limit + 1) + "\n",
      kHead + "Vector 1 [" + std::to_string(raw.size()) + "]\n" + raw + Bytes('c', limit + 1),
      kHead + "Vector 1 [" + std::to_string(raw.size()) + "]\n" + raw + "\n" + Bytes('d', limit),
      kHead + "\"" + Bytes('e', limit - 1) + "\r\n\"" + Bytes('f', limit + 1) + "\"\n",
  };
  for (const std::string& text : texts) {
    const std::string whole = Verdict(text);
    for (const size_t piece : {size_t{1} << 10, size_t{4099}, limit - 1, limit + 1, size_t{1} << 20})
      EXPECT_EQ(Verdict(text, piece), whole) << piece;
  }
  EXPECT_EQ(Verdict(texts[0]), "");
  EXPECT_EQ(Verdict(texts[1]), "t.mqo:5: expected a word or number of at most 65536 bytes, found a longer one");
}
