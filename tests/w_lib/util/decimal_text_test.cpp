// Reading numbers in place: the plain decimal form against the standard
// library's correctly rounded conversion, digit runs of every length and
// place, and the forms left to the general conversion.
#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <random>
#include <string>

#include "w_lib/util/decimal_text.h"

namespace {

// What the standard library reads from the whole text, or false.
bool Reference(const std::string& text, float& value) {
  const std::from_chars_result r = std::from_chars(text.data(), text.data() + text.size(), value);
  return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

}  // namespace

TEST(ScanPlainDecimal, AgreesWithTheCorrectlyRoundedConversion) {
  std::vector<std::string> texts = {"0", "-0", "7", "12345678", "123456789", "0.5", "-0.125", "1.000000",
                                    "-1.723849", "0.000001", "99999999.99999999", "000000000000000000000001.5",
                                    "0.0000000000000000000001", "12345678901234567", "9007199254740993", "3.1415927",
                                    "16777217", "0.1", "2.5e3"};
  // Random digit runs of every length up to 19, split anywhere by the point.
  std::mt19937 random(7);
  for (int i = 0; i < 20000; ++i) {
    const int length = 1 + static_cast<int>(random() % 19);
    std::string digits;
    for (int k = 0; k < length; ++k) digits += static_cast<char>('0' + random() % 10);
    const size_t point = random() % (digits.size() + 1);
    std::string text = (random() % 2 ? "-" : "") + digits.substr(0, point);
    if (point == 0) text += "0";
    if (point < digits.size()) text += "." + digits.substr(point);
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    // Alone (fewer than eight bytes may follow a digit), and followed by
    // more text, as numbers stand in a file.
    for (const std::string& tail : {std::string(), std::string(", 1.5, 2.25,\n")}) {
      const std::string data = text + tail;
      float value = -1.0f;
      const char* end = ScanPlainDecimal(data.data(), data.data() + data.size(), value);
      float expected = 0.0f;
      if (end == nullptr) {
        // Left to the general conversion: more than 19 digits of weight, an
        // exponent, or a value halfway between two floats.
        EXPECT_TRUE(text.find('e') != std::string::npos || text.size() > 20 || Reference(text, expected));
        continue;
      }
      EXPECT_EQ(end, data.data() + text.size());
      ASSERT_TRUE(Reference(text, expected));
      EXPECT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << value << " for " << expected;
    }
  }
}

TEST(ScanPlainDecimal, LeavesWhatIsNoPlainNumber) {
  float value = 0.0f;
  for (const char* text : {"", "-", ".5", "1.", "x1", "1e5", "-.5", "1.5E-3"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ScanPlainDecimal(text, text + std::strlen(text), value), nullptr);
  }
  // A number ends where its digits end; what follows is for the caller.
  const char text[] = "12.5x";
  EXPECT_EQ(ScanPlainDecimal(text, text + 5, value), text + 4);
  EXPECT_EQ(value, 12.5f);
}

// The browser's build reads numbers through the portable conversion: it
// must end, fail and round exactly where the standard library does.
template <class T>
void ExpectPortableAgrees(const std::string& text) {
  SCOPED_TRACE(text);
  const char* first = text.data();
  const char* last = first + text.size();
  T expected = T(-7), got = T(-7);
  const std::from_chars_result want = std::from_chars(first, last, expected);
  const std::from_chars_result have = PortableDecimalFromChars(first, last, got);
  ASSERT_EQ(static_cast<int>(have.ec), static_cast<int>(want.ec));
  if (want.ec == std::errc::invalid_argument) return;
  EXPECT_EQ(have.ptr - first, want.ptr - first);
  if (want.ec == std::errc()) {
    EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << got << " for " << expected;
  }
}

TEST(PortableDecimalFromChars, EndsFailsAndRoundsAsTheStandardLibrary) {
  std::vector<std::string> texts = {"", "-", ".", "-.", ".5", "-.5", "5.", "5.x", "1e", "1e+", "1e-", "1E5", "1e+05",
                                    "2.5e-3", "+1", " 1", "x", "0x1p3", "00012.50", "1e400", "-1e400", "1e-400",
                                    "1e-46", "-1e-46", "1e-45", "1e-40", "3.4028235e38", "3.4028236e38", "0e999",
                                    "0.000e-999", "1.5x", "123456789012345678901234567890", "9007199254740993",
                                    "1.00000005960464477539062", "1.00000005960464477539063"};
  // Random digit runs with points and exponents of every size.
  std::mt19937 random(11);
  for (int i = 0; i < 20000; ++i) {
    std::string text = random() % 2 ? "-" : "";
    const int length = 1 + static_cast<int>(random() % 25);
    for (int k = 0; k < length; ++k) text += static_cast<char>('0' + random() % 10);
    if (random() % 2) text.insert(1 + random() % text.size(), ".");
    if (random() % 2) text += "e" + std::string(random() % 2 ? "-" : "") + std::to_string(random() % 400);
    texts.push_back(text);
  }
  for (const std::string& text : texts) {
    ExpectPortableAgrees<float>(text);
    ExpectPortableAgrees<double>(text);
  }
}
