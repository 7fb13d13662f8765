// Whole-file replacement: what it replaces, what it keeps, and what it
// leaves behind when a write is abandoned.
#include "w_lib/writers/file_replace.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
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
  EXPECT_EQ(TemporaryFilePath(dir, 12345, 0x3fULL), dir + "vellmar-partial-12345-000000000000003f");
  EXPECT_EQ(TemporaryFilePath(dir, 12345, ~0ULL), TemporaryFilePrefix(dir, 12345) + "ffffffffffffffff");

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

  // Names that anyone could foresee (the process id and a small number, a
  // file left behind by a killed process of the same id) are taken
  // beforehand: the write goes on under a name of its own and leaves them.
  std::vector<std::string> squatted;
  for (int i = 0; i < 64; ++i) {
    squatted.push_back(TemporaryFilePrefix(dir, getpid()) + std::to_string(i));
    std::ofstream(squatted.back()) << "left over";
  }
  ASSERT_TRUE(Write(dir + "fresh", "fresh"));
  EXPECT_EQ(ReadFile(dir + "fresh"), "fresh");
  for (const std::string& name : squatted) {
    EXPECT_EQ(ReadFile(name), "left over");
    std::remove(name.c_str());
  }

  // Many files at once, each under a name of its own that no two runs share.
  std::vector<std::unique_ptr<TextOutput>> open;
  for (int i = 0; i < 40; ++i) {
    open.push_back(std::make_unique<TextOutput>());
    ASSERT_TRUE(open.back()->Open((dir + "many" + std::to_string(i)).c_str(), "wb")) << i;
  }
  EXPECT_EQ(TemporaryFilesIn(dir), 40);
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

TEST(FileReplace, FollowsALinkInASharedFolderOnlyFromItsOwnerOrTheUser) {
  if (geteuid() != 0) GTEST_SKIP() << "a link of another user needs root to make";
  const uid_t other = 65534, folder_owner = 4321;
  const std::string dir = TempFolder("shared");
  const std::string shared = dir + "shared/", victim = dir + "victim.txt";
  ASSERT_EQ(mkdir(shared.c_str(), 0755), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  ASSERT_EQ(chown(shared.c_str(), folder_owner, folder_owner), 0);
  std::ofstream(victim) << "theirs";

  // Planted by another user: neither written through nor passed by way of
  // a chain of links that starts with one of the user's own.
  const std::string planted = shared + "out.xsi";
  ASSERT_EQ(symlink(victim.c_str(), planted.c_str()), 0);
  ASSERT_EQ(lchown(planted.c_str(), other, other), 0);
  ASSERT_EQ(symlink(planted.c_str(), (dir + "mine.xsi").c_str()), 0);
  for (const std::string& path : {planted, dir + "mine.xsi"}) {
    EXPECT_FALSE(Write(path, "new")) << path;
    EXPECT_EQ(CheckFileWritable(path), EPERM) << path;
    const std::string reason = WriteFailureReason(path, EPERM);
    EXPECT_NE(reason.find("'" + planted + "' is a link that another user put in the shared folder '" + shared),
              std::string::npos)
        << reason;
  }
  EXPECT_EQ(ReadFile(victim), "theirs");
  EXPECT_TRUE(S_ISLNK(ModeOf(planted, false)));
  EXPECT_EQ(TemporaryFilesIn(shared) + TemporaryFilesIn(dir), 0);

  // The folder's owner's link and the user's own are followed, and so is
  // another user's link in a folder that is not sticky or not writable by all.
  for (const uid_t owner : {folder_owner, geteuid()}) {
    ASSERT_EQ(lchown(planted.c_str(), owner, owner), 0);
    EXPECT_TRUE(Write(planted, "by " + std::to_string(owner)));
    EXPECT_EQ(ReadFile(victim), "by " + std::to_string(owner));
  }
  ASSERT_EQ(lchown(planted.c_str(), other, other), 0);
  for (const mode_t mode : {0777, 01775}) {
    ASSERT_EQ(chmod(shared.c_str(), mode), 0);
    EXPECT_TRUE(Write(planted, "mode " + std::to_string(mode))) << mode;
    EXPECT_EQ(ReadFile(victim), "mode " + std::to_string(mode));
  }
  EXPECT_TRUE(S_ISLNK(ModeOf(planted, false)));
}

TEST(FileReplace, AnotherProcessHoldsAFolderOnlySoLong) {
  const std::string dir = TempFolder("held");
  std::ofstream(dir + "a.obj") << "old obj";
  std::ofstream(dir + "a.mtl") << "old mtl";
  const int wait = FolderLockWait();
  SetFolderLockWait(200);
  // Another open of the folder holds its lock, as another process would.
  const int held = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  {
    TextOutput obj, mtl;
    Stage(obj, dir + "a.obj", "new obj");
    Stage(mtl, dir + "a.mtl", "new mtl");
    EXPECT_EQ(obj.CommitWith(mtl).error(), ETIMEDOUT);
  }
  EXPECT_EQ(ReadFile(dir + "a.obj"), "old obj");
  EXPECT_EQ(ReadFile(dir + "a.mtl"), "old mtl");
  EXPECT_EQ(TemporaryFilesIn(dir), 0);
  const std::string reason = WriteFailureReason(dir + "a.obj", ETIMEDOUT);
  EXPECT_NE(reason.find("held the folder '" + dir + "' for 200 ms"), std::string::npos) << reason;

  // One file needs no turn.
  EXPECT_TRUE(Write(dir + "one.xsi", "one"));
  close(held);

  // Threads of one process take turns among themselves without that limit.
  SetFolderLockWait(0);
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) {
        TextOutput obj, mtl;
        const std::string text = std::to_string(t) + "-" + std::to_string(i);
        if (!obj.Open((dir + "b.obj").c_str(), "wb") || !mtl.Open((dir + "b.mtl").c_str(), "wb")) {
          ++failures;
          continue;
        }
        obj.Put(text);
        mtl.Put(text);
        if (!obj.Finish() || !mtl.Finish() || !obj.CommitWith(mtl)) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  SetFolderLockWait(wait);
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(ReadFile(dir + "b.obj"), ReadFile(dir + "b.mtl"));
  EXPECT_EQ(TemporaryFilesIn(dir), 0);
}

TEST(FileReplace, ANameReplacedWhileItIsPlannedIsStillReplacedNotWrittenInPlace) {
  // Another run renames new files over the name as fast as it can; every
  // plan made meanwhile must still replace the name, never write whatever
  // file it leads to at that moment in place.
  const std::string dir = TempFolder("renamed");
  const std::string name = dir + "out.obj";
  std::ofstream(name) << "first";
  std::atomic<bool> stop{false};
  std::thread renamer([&] {
    for (int i = 0; !stop.load(); ++i) {
      const std::string next = dir + "next" + std::to_string(i % 2);
      std::ofstream(next) << i;
      std::rename(next.c_str(), name.c_str());
    }
  });
  int in_place = 0;
  for (int i = 0; i < 20000; ++i) {
    WritePlan plan;
    ASSERT_TRUE(PlanFileWrite(name, plan).written());
    if (plan.in_place) ++in_place;
  }
  stop = true;
  renamer.join();
  EXPECT_EQ(in_place, 0);
}
