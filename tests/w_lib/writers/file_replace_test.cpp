// Whole-file replacement: what it replaces, what it keeps, and what it
// leaves behind when a write is abandoned.
#include "w_lib/writers/file_replace.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "test_files.h"
#include "w_lib/writers/text_output.h"

namespace {

bool Write(const std::string& path, const std::string& text) {
  return WriteWholeFile(path.c_str(), "wb", [&](TextOutput& out) { out.Put(text); }) == FileWriteResult::kWritten;
}

mode_t ModeOf(const std::string& path, bool follow = true) {
  struct stat info {};
  (follow ? stat : lstat)(path.c_str(), &info);
  return info.st_mode;
}

}  // namespace

TEST(FileReplace, ReplacesWhatTheTargetLeadsTo) {
  const std::string dir = TempFolder("replace");
  // An existing file keeps its permission bits.
  std::ofstream(dir + "kept") << "old";
  chmod((dir + "kept").c_str(), 0640);
  ASSERT_TRUE(Write(dir + "kept", "new"));
  EXPECT_EQ(ReadFile(dir + "kept"), "new");
  EXPECT_EQ(ModeOf(dir + "kept") & 07777, 0640u);

  // A link stays a link; the file it leads to is replaced, or made when
  // the link dangles.
  std::ofstream(dir + "real") << "old";
  symlink("real", (dir + "link").c_str());
  symlink((dir + "made").c_str(), (dir + "dangling").c_str());
  ASSERT_TRUE(Write(dir + "link", "through link"));
  ASSERT_TRUE(Write(dir + "dangling", "made"));
  EXPECT_TRUE(S_ISLNK(ModeOf(dir + "link", false)));
  EXPECT_TRUE(S_ISLNK(ModeOf(dir + "dangling", false)));
  EXPECT_EQ(ReadFile(dir + "real"), "through link");
  EXPECT_EQ(ReadFile(dir + "made"), "made");

  // A device is written in place, never replaced or removed.
  ASSERT_TRUE(Write("/dev/null", "nothing"));
  EXPECT_TRUE(S_ISCHR(ModeOf("/dev/null")));

  // A temporary file left by a killed process of the same id is replaced.
  std::ofstream(PartialFilePath(dir + "stale", getpid())) << "left over";
  ASSERT_TRUE(Write(dir + "stale", "fresh"));
  EXPECT_EQ(ReadFile(dir + "stale"), "fresh");
  EXPECT_FALSE(FileExists(PartialFilePath(dir + "stale", getpid())));

  // The temporary name of a long file name stays within the name limit.
  const std::string long_name(250, 'n');
  const std::string partial = PartialFilePath(dir + long_name, 12345);
  EXPECT_EQ(partial.size() - dir.size(), 255u);
  EXPECT_EQ(partial.substr(partial.size() - 22), ".vellmar-partial-12345");
  EXPECT_TRUE(Write(dir + long_name, "long"));
}

TEST(FileReplace, RefusesAndAbandonsWithoutTouchingTheTarget) {
  const std::string dir = TempFolder("abandon");
  std::ofstream(dir + "target") << "old";
  {
    // Finished but never committed: the target stays, the temporary goes.
    TextOutput out;
    ASSERT_TRUE(out.Open((dir + "target").c_str(), "wb"));
    out.Put("new");
    ASSERT_TRUE(out.Finish());
    EXPECT_TRUE(FileExists(PartialFilePath(dir + "target", getpid())));
  }
  EXPECT_EQ(ReadFile(dir + "target"), "old");
  EXPECT_FALSE(FileExists(PartialFilePath(dir + "target", getpid())));

  FileReplacement r;
  EXPECT_FALSE(BeginFileReplacement(dir.c_str(), "wb", r));
  EXPECT_EQ(errno, EISDIR);
  symlink("cycle", (dir + "cycle").c_str());
  EXPECT_FALSE(BeginFileReplacement((dir + "cycle").c_str(), "wb", r));
  EXPECT_EQ(errno, ELOOP);
  EXPECT_FALSE(BeginFileReplacement((dir + "no-such-dir/file").c_str(), "wb", r));
  EXPECT_EQ(errno, ENOENT);
}
