// Names as UTF-8 from Shift-JIS and from UTF-8, bad bytes included.
#include "w_lib/util/code_page.h"

#include <gtest/gtest.h>

TEST(CodePage, ShiftJisBecomesUtf8) {
  // ASCII, "te su to" in katakana, a half-width katakana "a", and 0x5C as
  // the second byte of "so" (a backslash in ASCII).
  EXPECT_EQ(NameAsUtf8("obj_1", false), "obj_1");
  EXPECT_EQ(NameAsUtf8("\x83\x65\x83\x58\x83\x67", false), "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88");
  EXPECT_EQ(NameAsUtf8("\xB1", false), "\xEF\xBD\xB1");
  EXPECT_EQ(NameAsUtf8("\x83\x5C" "a", false), "\xE3\x82\xBD" "a");
  // A lead byte at the end, and one before a byte that cannot follow it:
  // U+FFFD for the lead, and the next byte read on its own.
  EXPECT_EQ(NameAsUtf8("a\x83", false), "a\xEF\xBF\xBD");
  EXPECT_EQ(NameAsUtf8("\x83 A", false), "\xEF\xBF\xBD A");
  EXPECT_EQ(NameAsUtf8("\xFF", false), "\xEF\xBF\xBD");
}

TEST(CodePage, Utf8IsKeptAndBadSequencesReplaced) {
  EXPECT_EQ(NameAsUtf8("\xE4\xB8\x89\xE8\xA7\x92", true), "\xE4\xB8\x89\xE8\xA7\x92");
  EXPECT_EQ(NameAsUtf8("\xF0\x9F\x98\x80", true), "\xF0\x9F\x98\x80");
  // A stray continuation byte, an overlong '/', a surrogate, a cut sequence.
  EXPECT_EQ(NameAsUtf8("a\x80z", true), "a\xEF\xBF\xBDz");
  EXPECT_EQ(NameAsUtf8("\xC0\xAF", true), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(NameAsUtf8("\xED\xA0\x80", true), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(NameAsUtf8("x\xE4\xB8", true), "x\xEF\xBF\xBD\xEF\xBF\xBD");
}
