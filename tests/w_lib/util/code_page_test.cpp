// Names as UTF-8 from Shift-JIS and from UTF-8, bad bytes included.
#include "w_lib/util/code_page.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

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

TEST(CodePage, Utf8BecomesShiftJisWhereEveryCharacterHasACode) {
  std::string out;
  ASSERT_TRUE(Utf8AsShiftJis("obj_1", out));
  EXPECT_EQ(out, "obj_1");
  // "te su to", "so" (whose second byte is 0x5C) and a half-width "a".
  ASSERT_TRUE(Utf8AsShiftJis("\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88", out));
  EXPECT_EQ(out, "\x83\x65\x83\x58\x83\x67");
  ASSERT_TRUE(Utf8AsShiftJis("\xE3\x82\xBD" "a\xEF\xBD\xB1", out));
  EXPECT_EQ(out, "\x83\x5C" "a\xB1");
  // Characters with two or three codes take the one of the first row that
  // has them: JIS X 0208 (U+2252 and U+FFE2, also in the NEC row), then the
  // NEC row (U+2160, also an IBM extension), then the IBM extensions
  // (U+2170 and U+7E8A, also NEC-selected copies).
  ASSERT_TRUE(Utf8AsShiftJis("\xE2\x89\x92\xEF\xBF\xA2\xE2\x85\xA0\xE2\x85\xB0\xE7\xBA\x8A", out));
  EXPECT_EQ(out, "\x81\xE0\x81\xCA\x87\x54\xFA\x40\xFA\x5C");
  // Each reads back as the text it came from.
  EXPECT_EQ(NameAsUtf8(out, false), "\xE2\x89\x92\xEF\xBF\xA2\xE2\x85\xA0\xE2\x85\xB0\xE7\xBA\x8A");
}

TEST(CodePage, Utf8WithoutAShiftJisFormIsRefused) {
  std::string out;
  // Hangul, an emoji, and U+00A5 and U+00AC, whose nearest codes read back
  // as other characters (a backslash, U+FFE2).
  EXPECT_FALSE(Utf8AsShiftJis("a\xED\x95\x9C", out));
  EXPECT_FALSE(Utf8AsShiftJis("\xF0\x9F\x98\x80", out));
  EXPECT_FALSE(Utf8AsShiftJis("\xC2\xA5", out));
  EXPECT_FALSE(Utf8AsShiftJis("\xC2\xAC", out));
  // Bytes that are no UTF-8.
  EXPECT_FALSE(Utf8AsShiftJis("\x83\x65", out));
  EXPECT_FALSE(Utf8AsShiftJis("x\xE4\xB8", out));
}

TEST(CodePage, TextForAUtf8ReaderIsAlwaysUtf8) {
  // UTF-8 kept, Shift-JIS pairs and half-width katakana converted, and the
  // rest escaped, all in one line: a path in UTF-8, a name in Shift-JIS.
  EXPECT_EQ(TextAsUtf8Escaped("日本/\x95\x5c\\\x83\x65\xb1.mqo"), "日本/表\\テｱ.mqo");
  EXPECT_EQ(TextAsUtf8Escaped("a\x80" "b\xff\xfd"), "a\\x80b\\xff\\xfd");
  // A lead byte without a second byte, and a pair that decodes to nothing.
  EXPECT_EQ(TextAsUtf8Escaped("x\x83"), "x\\x83");
  EXPECT_EQ(TextAsUtf8Escaped("\x85\x40z"), "\\x85@z");
  // Overlong forms and surrogates are no UTF-8.
  EXPECT_TRUE(IsValidUtf8("plain \xe3\x81\x82"));
  EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));
  EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));
  EXPECT_FALSE(IsValidUtf8("\x83\x65"));
  EXPECT_TRUE(IsValidUtf8(TextAsUtf8Escaped("\xc0\xaf\xed\xa0\x80\x83\x65\xff")));
}

TEST(CodePage, ThreadsConvertingAtOnceGetWhatOneGets) {
  // Every double-byte code of lead 0x88 to 0x9F (the first kanji rows),
  // converted by four threads at once, as jobs of one batch do.
  std::string text;
  for (int lead = 0x88; lead <= 0x9F; ++lead)
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      text += static_cast<char>(lead);
      text += static_cast<char>(trail);
    }
  const std::string alone = NameAsUtf8(text, false);
  std::vector<std::string> seen(4);
  std::vector<std::thread> threads;
  for (std::string& result : seen)
    threads.emplace_back([&text, &result] {
      for (int round = 0; round < 20 && result.empty(); ++round) {
        const std::string converted = NameAsUtf8(text, false);
        if (converted != NameAsUtf8(text, false)) result = "differed";
      }
      if (result.empty()) result = NameAsUtf8(text, false);
    });
  for (std::thread& thread : threads) thread.join();
  for (const std::string& result : seen) EXPECT_TRUE(result == alone);
}
