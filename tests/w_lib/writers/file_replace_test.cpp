// Whole-file replacement: what it replaces, what it keeps, and what it
// leaves behind when a write is abandoned.
#include "w_lib/writers/file_replace.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "test_files.h"
#include "w_lib/writers/text_output.h"

namespace {

bool Write(const std::string& path, const std::string& text) {
  return WriteWholeFile(path.c_str(), "wb", [&](TextOutput& out) { out.Put(text); }).written();
}

struct stat StatOf(const std::string& path, bool follow = true) {
  struct stat info {};
  (follow ? stat : lstat)(path.c_str(), &info);
  return info;
}

mode_t ModeOf(const std::string& path, bool follow = true) { return StatOf(path, follow).st_mode; }

// Opens both outputs and writes text into each, finished but not in place.
void Stage(TextOutput& out, const std::string& path, const std::string& text) {
  ASSERT_TRUE(out.Open(path.c_str(), "wb")) << path;
  out.Put(text);
  ASSERT_TRUE(out.Finish()) << path;
}

size_t EntriesIn(const std::string& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
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
  EXPECT_EQ(TemporaryFilesIn(dir), 0);
}

TEST(FileReplace, TemporaryNamesAreShortAndNeverShared) {
  const std::string dir = TempFolder("names");
  EXPECT_EQ(TemporaryFilePath(dir, 12345, 3), dir + "vellmar-partial-12345-3");

  // Names at the file system's limit, which differ only in their
  // extensions: each gets its own temporary file, both are put in place.
  const std::string stem = dir + std::string(251, 'n');
  {
    TextOutput obj, mtl;
    Stage(obj, stem + ".obj", "obj text");
    Stage(mtl, stem + ".mtl", "mtl text");
    EXPECT_EQ(TemporaryFilesIn(dir), 2);
    ASSERT_TRUE(obj.CommitWith(mtl));
  }
  EXPECT_EQ(ReadFile(stem + ".obj"), "obj text");
  EXPECT_EQ(ReadFile(stem + ".mtl"), "mtl text");
  EXPECT_EQ(EntriesIn(dir), 2u);

  // A slot taken by a file left behind (a killed process of the same id)
  // is passed over, and the file is left alone.
  const std::string stale = TemporaryFilePath(dir, getpid(), 0);
  std::ofstream(stale) << "left over";
  ASSERT_TRUE(Write(dir + "fresh", "fresh"));
  EXPECT_EQ(ReadFile(dir + "fresh"), "fresh");
  EXPECT_EQ(ReadFile(stale), "left over");
  std::remove(stale.c_str());

  // As many files at once as there are slots; one more waits for a slot.
  std::vector<std::unique_ptr<TextOutput>> open;
  for (int i = 0; i < kTemporaryFileSlots; ++i) {
    open.push_back(std::make_unique<TextOutput>());
    ASSERT_TRUE(open.back()->Open((dir + "many" + std::to_string(i)).c_str(), "wb")) << i;
  }
  TextOutput one_more;
  EXPECT_EQ(one_more.Open((dir + "one-more").c_str(), "wb").error(), EEXIST);
  open.pop_back();
  EXPECT_TRUE(one_more.Open((dir + "one-more").c_str(), "wb"));
  one_more.Discard();
  open.clear();
  EXPECT_EQ(TemporaryFilesIn(dir), 0);
}

TEST(FileReplace, TheFileTypeDecidesNotThePath) {
  const std::string dir = TempFolder("file_type");
  const std::string target = dir + "target.xsi";
  std::ofstream(target) << "old output";
  const ino_t old_inode = StatOf(target).st_ino;

  // Through /proc a regular file is still replaced as a whole: a full disk
  // keeps the old file, a complete write puts a new file in its place.
  const std::string through_proc = "/proc/self/root" + target;
  std::string long_text(8192, 'x');
  EXPECT_FALSE(WriteUnderFileSizeLimit(1024, [&] { return Write(through_proc, long_text); }));
  EXPECT_EQ(ReadFile(target), "old output");
  ASSERT_TRUE(Write(through_proc, "new output"));
  EXPECT_EQ(ReadFile(target), "new output");
  EXPECT_NE(StatOf(target).st_ino, old_inode);

  // So through a descriptor's name: the file it was opened on is replaced.
  const int fd = open(target.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(Write("/dev/fd/" + std::to_string(fd), "by descriptor"));
  EXPECT_EQ(ReadFile(target), "by descriptor");
  close(fd);

  // A removed file that only a descriptor reaches has no name to replace:
  // it is written in place, and nothing appears in its old folder.
  const std::string gone = dir + "gone";
  const int kept = open(gone.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(kept, 0);
  unlink(gone.c_str());
  ASSERT_TRUE(Write("/proc/self/fd/" + std::to_string(kept), "nameless"));
  char read_back[16] = {};
  EXPECT_EQ(pread(kept, read_back, sizeof read_back, 0), 8);
  EXPECT_EQ(std::string(read_back), "nameless");
  close(kept);
  EXPECT_EQ(EntriesIn(dir), 1u);

  // A FIFO is written in place and stays a FIFO.
  const std::string fifo = dir + "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const pid_t reader = fork();
  if (reader == 0) {
    std::ifstream in(fifo, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    _exit(text == "through the pipe" ? 0 : 1);
  }
  const bool written = Write(fifo, "through the pipe");
  if (!written) kill(reader, SIGKILL);  // it would wait for a writer forever
  EXPECT_TRUE(written);
  int status = -1;
  waitpid(reader, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(S_ISFIFO(ModeOf(fifo)));
  EXPECT_EQ(TemporaryFilesIn(dir), 0);
}

TEST(FileReplace, RefusesABlockDevice) {
  // Neither written over (it would be a disk) nor replaced. The node names
  // no device that exists.
  const std::string block = TempFolder("block") + "block";
  if (mknod(block.c_str(), S_IFBLK | 0600, makedev(259, 1048575)) != 0)
    GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
  WritePlan plan;
  EXPECT_EQ(PlanFileWrite(block, plan).error(), ENOTSUP);
  EXPECT_FALSE(Write(block, "never"));
  EXPECT_TRUE(S_ISBLK(ModeOf(block, false)));
}

TEST(FileReplace, APairIsReplacedAsOneUnit) {
  const std::string dir = TempFolder("pair");
  std::ofstream(dir + "a.obj") << "old obj";
  std::ofstream(dir + "a.mtl") << "old mtl";
  {
    // The second rename fails (a folder took the material file's place
    // after both were written): the first file gets its old content back.
    TextOutput obj, mtl;
    Stage(obj, dir + "a.obj", "new obj");
    Stage(mtl, dir + "a.mtl", "new mtl");
    std::remove((dir + "a.mtl").c_str());
    ASSERT_EQ(mkdir((dir + "a.mtl").c_str(), 0755), 0);
    std::ofstream(dir + "a.mtl/inside") << "keeps the folder full";
    EXPECT_FALSE(obj.CommitWith(mtl));
    EXPECT_TRUE(obj.failed());
  }
  EXPECT_EQ(ReadFile(dir + "a.obj"), "old obj");
  EXPECT_TRUE(S_ISDIR(ModeOf(dir + "a.mtl")));
  EXPECT_EQ(TemporaryFilesIn(dir), 0);

  {
    // A first file that was not there before is removed again.
    TextOutput obj, mtl;
    Stage(obj, dir + "b.obj", "new obj");
    Stage(mtl, dir + "b.mtl", "new mtl");
    ASSERT_EQ(mkdir((dir + "b.mtl").c_str(), 0755), 0);
    std::ofstream(dir + "b.mtl/inside") << "full";
    EXPECT_FALSE(obj.CommitWith(mtl));
  }
  EXPECT_FALSE(FileExists(dir + "b.obj"));
  EXPECT_EQ(TemporaryFilesIn(dir), 0);

  {
    // One of them failed while being written: neither is put in place.
    TextOutput obj, mtl;
    Stage(obj, dir + "a.obj", "new obj");
    ASSERT_TRUE(mtl.Open((dir + "c.mtl").c_str(), "wb"));
    mtl.Discard();
    EXPECT_FALSE(obj.CommitWith(mtl));
  }
  EXPECT_EQ(ReadFile(dir + "a.obj"), "old obj");
  EXPECT_EQ(TemporaryFilesIn(dir), 0);
}

TEST(FileReplace, KeepsTheOwnerAndGroupOfWhatItReplaces) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  const std::string dir = TempFolder("owner");
  const std::string path = dir + "theirs.xsi";
  std::ofstream(path) << "old";
  ASSERT_EQ(chown(path.c_str(), 4321, 8765), 0);
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  ASSERT_TRUE(Write(path, "new"));
  const struct stat info = StatOf(path);
  EXPECT_EQ(info.st_uid, 4321u);
  EXPECT_EQ(info.st_gid, 8765u);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_EQ(ReadFile(path), "new");
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
    EXPECT_EQ(TemporaryFilesIn(dir), 1);
  }
  EXPECT_EQ(ReadFile(dir + "target"), "old");
  EXPECT_EQ(TemporaryFilesIn(dir), 0);

  FileReplacement r;
  EXPECT_EQ(BeginFileReplacement(dir.c_str(), "wb", r).error(), EISDIR);
  symlink("cycle", (dir + "cycle").c_str());
  EXPECT_EQ(BeginFileReplacement((dir + "cycle").c_str(), "wb", r).error(), ELOOP);
  EXPECT_EQ(BeginFileReplacement((dir + "no-such-dir/file").c_str(), "wb", r).error(), ENOENT);
  EXPECT_EQ(r.error, ENOENT);

  // The same answers before any work, and a folder that takes new files.
  EXPECT_EQ(CheckFileWritable(dir + "target"), 0);
  EXPECT_EQ(CheckFileWritable(dir + "new"), 0);
  EXPECT_EQ(CheckFileWritable(dir), EISDIR);
  EXPECT_EQ(CheckFileWritable(dir + "no-such-dir/file"), ENOENT);
  EXPECT_EQ(CheckFileWritable(dir + "target/file"), ENOTDIR);
}
