// Exact number formatting and the file handling of the writers' output.
#include "w_lib/writers/text_output.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>
#include <string>

#include "test_files.h"

namespace {

std::string Fixed(double value, int precision = 6) {
  TextOutput out;
  out.Fixed(value, precision);
  return std::string(out.text());
}

}  // namespace

TEST(TextOutput, FixedRoundsLikePrintf) {
  EXPECT_EQ(Fixed(0.0), "0.000000");
  EXPECT_EQ(Fixed(1.0f), "1.000000");
  EXPECT_EQ(Fixed(0.7f), "0.700000");  // 0.69999998807907104
  EXPECT_EQ(Fixed(-2.5f), "-2.500000");
  // Exact ties go to the even digit: 2^-7 = 0.0078125, 0.0000005 as a
  // binary fraction is not exact and lies below the tie.
  EXPECT_EQ(Fixed(0.0078125), "0.007812");
  EXPECT_EQ(Fixed(0.0234375), "0.023438");    // 3 * 2^-7: tie, 7 is odd
  EXPECT_EQ(Fixed(0.5, 0), "0");
  EXPECT_EQ(Fixed(1.5, 0), "2");
  EXPECT_EQ(Fixed(2.5, 0), "2");
  EXPECT_EQ(Fixed(0.125, 2), "0.12");
  EXPECT_EQ(Fixed(0.375, 2), "0.38");
  // A float is widened first: 0.1f is 0.100000001490116...; 1.0000005f is
  // 1 + 4 * 2^-23 = 1.000000476..., below the tie, and 1 + 5 * 2^-23 =
  // 1.000000596... above it.
  EXPECT_EQ(Fixed(0.1f, 10), "0.1000000015");
  EXPECT_EQ(Fixed(1.0000005f), "1.000000");
  EXPECT_EQ(Fixed(1.0f + 5 * 0x1p-23f), "1.000001");
  // Signs: -0.0 and negatives that round to zero keep their minus.
  EXPECT_EQ(Fixed(-0.0), "-0.000000");
  EXPECT_EQ(Fixed(-0.0000001f), "-0.000000");
  // Large and tiny values in full.
  EXPECT_EQ(Fixed(1e20f), "100000002004087734272.000000");
  EXPECT_EQ(Fixed(16777217.0f), "16777216.000000");
  EXPECT_EQ(Fixed(1e-30f), "0.000000");
  EXPECT_EQ(Fixed(1.4e-45f, 3), "0.000");
  EXPECT_EQ(Fixed(0.0000015f), "0.000002");  // 1.50000005305628e-06
  // Other precisions the writers use.
  EXPECT_EQ(Fixed(0.1234567f, 3), "0.123");
  EXPECT_EQ(Fixed(0.1234567f, 4), "0.1235");
  EXPECT_EQ(Fixed(0.1234567f, 5), "0.12346");
}

// %.6f has a shortcut for values whose product with 10^6 is exact; it must
// give the general conversion's bytes for every value, taken or not.
TEST(TextOutput, SixDecimalsMatchTheGeneralConversion) {
  const auto general = [](double value) {
    char text[400];
    return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6).ptr);
  };
  std::mt19937_64 random(14);
  std::vector<double> values = {0.0078125, 0.0234375, 4294967295.5, 4294967296.0, -4294967295.0,
                                2.5e-7, -5e-7, 0x1p-20, -0x1p-20, 1e300, -1e-310, 0.5, 1.5e-6};
  for (int i = 0; i < 200000; ++i) {
    const uint64_t bits = random();
    float f;
    const uint32_t low = static_cast<uint32_t>(bits);
    std::memcpy(&f, &low, sizeof f);
    values.push_back(f);
    values.push_back(1.0 - static_cast<double>(f));  // as the dotXSI writer flips v
    double d;
    std::memcpy(&d, &bits, sizeof d);
    values.push_back(d);
    // Ties and near-ties: odd multiples of 2^-k for k up to 40, and their
    // neighbours.
    const double tie = static_cast<double>((bits >> 40) | 1u) * std::ldexp(1.0, -static_cast<int>(bits % 41));
    values.push_back(tie);
    values.push_back(std::nextafter(tie, 0.0));
    values.push_back(-tie);
  }
  int wrong = 0;
  for (double value : values) {
    if (std::isnan(value)) continue;
    if (Fixed(value) != general(value) && ++wrong < 10) ADD_FAILURE() << std::hexfloat << value;
  }
  EXPECT_EQ(wrong, 0);
}

// The browser's build writes fixed numbers without std::to_chars: the text
// must be the standard library's, digit for digit, for any double.
TEST(TextOutput, FixedWithoutCharconvIsTheStandardLibrarysText) {
  std::vector<double> values = {0.0, -0.0, 0.5, 1.5, 2.5, -2.5, 0.125, 0.375, 1e-7, -4e-7, 5e-324, 2.2250738585072014e-308,
                                1e22, 1e23, 1.7976931348623157e308, -1.7976931348623157e308, 123456.789, 0.1, 0.7,
                                9.9999999999999995e-8, 1.0 / 3.0, 4294967296.0, 9007199254740993.0};
  std::mt19937_64 random(5);
  for (int i = 0; i < 4000; ++i) {
    uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isfinite(value)) values.push_back(value);
    // Floats widened, and values of a few decimals: what the writers print.
    float narrow;
    const uint32_t narrow_bits = static_cast<uint32_t>(random());
    std::memcpy(&narrow, &narrow_bits, sizeof narrow);
    if (std::isfinite(narrow)) values.push_back(narrow);
    values.push_back(static_cast<double>(static_cast<int64_t>(random() % 2000001) - 1000000) / 1000.0);
  }
  char want[400], have[400];
  for (const double value : values) {
    for (int precision = 0; precision <= 17; ++precision) {
      char* want_end = std::to_chars(want, want + sizeof want, value, std::chars_format::fixed, precision).ptr;
      char* have_end = FixedTextWithoutCharconv(have, value, precision);
      ASSERT_EQ(std::string(have, static_cast<size_t>(have_end - have)), std::string(want, static_cast<size_t>(want_end - want))) << "precision " << precision;
    }
  }
}

TEST(TextOutput, IntegersWidthsAndText) {
  TextOutput out;
  out.Int(0).Put(',').Int(-1).Put(',').Int(2147483647).Put(',').Int(-2147483647LL - 1).Put(',');
  out.Unsigned(4294967295u).Put('\n');
  out.Int(-9223372036854775807LL - 1).Put(',').Int(9223372036854775807LL).Put('\n');
  out.Fixed(0.5, 5, 6).Put('|').Fixed(-0.5, 5, 6).Put('|').Fixed(12.5, 5, 6).Put('|').Fixed(1.0, 2, 6).Put('|');
  out.Tabs(2).Put("x").Tabs(0).Tabs(-3).Put(std::string_view("a\0b", 3)).Newline();
  EXPECT_EQ(out.text(), std::string("0,-1,2147483647,-2147483648,4294967295\n"
                                    "-9223372036854775808,9223372036854775807\n"
                                    "0.50000|-0.50000|12.50000|  1.00|\t\tx") +
                            std::string("a\0b\n", 4));
}

TEST(TextOutput, WritesLargeOutputInBlocksAndWritesOverWhatItWrote) {
  const std::string path = TempPath("text_output_blocks");
  TextOutput out;
  ASSERT_TRUE(out.Open(path.c_str(), "wb"));
  // Far more than one block, in small pieces, one number and one long run.
  std::string expected;
  for (int i = 0; i < 300000; ++i) {
    out.Int(i).Put(",\n");
    expected += std::to_string(i) + ",\n";
  }
  const std::string run(3 << 20, 'z');
  out.Put(run).Fixed(-0.0);
  expected += run + "-0.000000";
  EXPECT_FALSE(out.failed());
  EXPECT_EQ(out.Written(), expected.size());

  // Bytes written over: one piece in the file, one still buffered, one
  // across where the two meet; past the end, nothing.
  out.Int(7);
  expected += "7";
  const size_t buffered_from = out.Written() - out.text().size();
  ASSERT_GT(buffered_from, 2u);
  for (const size_t at : {size_t{1}, buffered_from - 2, out.Written() - 1}) {
    const std::string piece = at + 1 == out.Written() ? "T" : "HEAD";
    out.Overwrite(at, piece);
    expected.replace(at, piece.size(), piece);
  }
  out.Overwrite(out.Written() - 1, "no room");
  EXPECT_TRUE(out.Close());
  EXPECT_EQ(ReadFile(path), expected);
  std::remove(path.c_str());

  TextOutput memory;
  memory.Put("0123456789");
  memory.Overwrite(3, "ab");
  EXPECT_EQ(memory.text(), "012ab56789");
}

TEST(TextOutput, ReportsFailures) {
  // Discarding a half-written file is checked through every writer.
  EXPECT_FALSE(TextOutput().Open("/nonexistent-dir/sub/file.txt", "wb"));
  if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TextOutput full;  // accepts the open and fails every write
  ASSERT_TRUE(full.Open("/dev/full", "wb"));
  full.Put("small");
  EXPECT_FALSE(full.Close());  // the write happens at the close
  EXPECT_TRUE(full.failed());
}
