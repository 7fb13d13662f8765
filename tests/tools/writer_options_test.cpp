// The writer options through the command line's parser, in-process: each
// sets its own field of the options that reach the writer, and only for
// the formats whose rows take it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/command_line.h"
#include "tools/output_formats.h"

namespace {

// Parses "vellmar convert in.mqo out --format FORMAT" and the options.
bool Parse(const std::string& format, std::vector<std::string> options, CommandLine& line, std::string& error) {
  std::vector<std::string> words = {"vellmar", "convert", "in.mqo", "out", "--format", format};
  words.insert(words.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), line, error);
}

struct Flag {
  const char* name;
  bool WriterOptions::*field;
  unsigned bit;
};
const Flag kFlags[] = {
#define WRITER_FLAG(field, name, ...) {name, &WriterOptions::field, WriterOption::field},
#define WRITER_CHOICE(...)
#include "w_lib/writers/writer_option_list.inc"
#undef WRITER_FLAG
#undef WRITER_CHOICE
};

}  // namespace

TEST(WriterOptions, EachFlagSetsItsFieldForTheFormatsThatTakeIt) {
  size_t count = 0;
  const OutputFormat* formats = AllFormats(count);
  for (const Flag& flag : kFlags) {
    for (const OutputFormat* format = formats; format != formats + count; ++format) {
      SCOPED_TRACE(std::string(flag.name) + " for " + format->name);
      CommandLine line;
      std::string error;
      const bool parsed = Parse(format->name, {flag.name}, line, error);
      EXPECT_EQ(parsed, (format->options & flag.bit) != 0) << error;
      if (!parsed) {
        EXPECT_EQ(error.rfind(flag.name, 0), 0u) << error;
        EXPECT_NE(error.find(format->name), std::string::npos) << error;
        continue;
      }
      EXPECT_EQ(line.writer_options_given, flag.bit);
      for (const Flag& other : kFlags) EXPECT_EQ(line.writer.*other.field, &other == &flag) << other.name;
    }
  }
  // Without a writer option nothing is given, and the defaults stay.
  CommandLine line;
  std::string error;
  ASSERT_TRUE(Parse("obj", {}, line, error)) << error;
  EXPECT_EQ(line.writer_options_given, 0u);
  for (const Flag& flag : kFlags) EXPECT_FALSE(line.writer.*flag.field) << flag.name;
}

TEST(WriterOptions, TheHelpNamesTheFormatsThatTakeEachOption) {
  const std::string help = HelpText(Command::kConvert);
  for (const Flag& flag : kFlags) {
    const std::string formats = FormatNamesTaking(flag.bit);
    const size_t at = help.find(std::string("  ") + flag.name + " ");
    ASSERT_NE(at, std::string::npos) << flag.name;
    const size_t line_end = help.find('\n', at);
    const std::string line = help.substr(at, line_end - at);
    EXPECT_NE(line.find((formats.empty() ? "not in this build" : formats) + ": "), std::string::npos) << line;
  }
  EXPECT_EQ(HelpText(Command::kExport).find("--compress"), std::string::npos);
}

TEST(WriterOptions, AChoiceIsOneOfItsWordsWhole) {
  EXPECT_EQ(ChoicePlace("utf8|stored", "utf8"), 1u);
  EXPECT_EQ(ChoicePlace("utf8|stored", "stored"), 2u);
  EXPECT_EQ(ChoicePlace("one", "one"), 1u);
  for (const char* wrong : {"", "utf", "utf8|stored", "stored ", "UTF8", "store"})
    EXPECT_EQ(ChoicePlace("utf8|stored", wrong), 0u) << wrong;
}

TEST(WriterOptions, NamesTakesItsWordsForObjXAndTheDumpOnly) {
  for (const char* format : {"obj", "x", "dump"}) {
    SCOPED_TRACE(format);
    CommandLine plain, stored, utf8;
    std::string error;
    ASSERT_TRUE(Parse(format, {}, plain, error)) << error;
    EXPECT_EQ(plain.writer.names, NamesOption::kFormatDefault);
    ASSERT_TRUE(Parse(format, {"--names", "stored"}, stored, error)) << error;
    EXPECT_EQ(stored.writer.names, NamesOption::kStored);
    EXPECT_EQ(stored.writer_options_given, unsigned{WriterOption::names});
    ASSERT_TRUE(Parse(format, {"--names=utf8"}, utf8, error)) << error;
    EXPECT_EQ(utf8.writer.names, NamesOption::kUtf8);
  }
  CommandLine line;
  std::string error;
  EXPECT_FALSE(Parse("x", {"--names", "ascii"}, line, error));
  EXPECT_EQ(error, "--names needs one of utf8|stored, not 'ascii'");
  for (const char* format : {"xsi", "mqo", "dxf", "gltf", "glb"}) {
    CommandLine other;
    EXPECT_FALSE(Parse(format, {"--names", "utf8"}, other, error)) << format;
    EXPECT_EQ(error, std::string("--names applies to x, obj, dump, not to ") + format);
  }
}
