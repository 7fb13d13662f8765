// What the tool writes and what it never does: no input or file of another
// format written over, no partial file after a failure or a signal, whole
// pairs of files, standard output and pipes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "host_documents.h"
#include "tool_runs.h"

TEST(VellmarCli, WritesIntoAPipe) {
  // /dev/stdout leads to the pipe through links that only the system can
  // follow: it is written in place.
  const ToolRun run = Vellmar("convert " + Example("cube.mqo") + " /dev/stdout --format x | cat");
  EXPECT_EQ(run.out.rfind("xof 0303txt 0032\n", 0), 0u) << run.out;
}

TEST(VellmarCli, NeverWritesOverAnInput) {
  const std::string dir = TempFolder("over_input");
  const std::string doc = dir + "doc.mqo";
  const std::string original = ReadFile(std::string(VELLMAR_EXAMPLES) + "/cube.mqo");
  std::ofstream(doc, std::ios::binary) << original;
  symlink("doc.mqo", (dir + "link.mqo").c_str());
  // (export to doc.mqo itself is refused for its name, before this check)
  symlink("doc.mqo", (dir + "link.xsi").c_str());
  const std::string cases[] = {
      "export " + Quoted(doc) + " " + Quoted(dir + "link.xsi"),
      "convert " + Quoted(doc) + " " + Quoted(dir + "./doc.mqo"),
      "convert " + Quoted(doc) + " " + Quoted(dir + "link.mqo"),
      "convert " + Quoted(doc) + " " + Quoted(dir + "link.obj") + " --format obj",  // its .mtl is link.mtl
      "convert " + Quoted(doc) + " " + Quoted(dir + "link.gltf"),                  // its buffer is link.bin
      "convert " + Example("ngon.mqo") + " " + Quoted(doc) + " --out-dir " + Quoted(dir) + " --format mqo",
  };
  symlink("doc.mqo", (dir + "link.mtl").c_str());
  symlink("doc.mqo", (dir + "link.bin").c_str());
  for (const std::string& args : cases) {
    const ToolRun run = Vellmar(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(Count(run.err, "\n"), 1) << run.err;
    EXPECT_NE(run.err.find("not written: it is the input"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(doc), original) << args;
  }
  EXPECT_FALSE(FileExists(dir + "ngon.mqo"));  // refused before any work
  // Standard output sent to the input.
  const std::string err = dir + "err.txt";
  const std::string appending = Quoted(VELLMAR_TOOL) + " convert " + Quoted(doc) + " - --format mqo >>" +
                                Quoted(doc) + " 2>" + Quoted(err);
  EXPECT_EQ(WEXITSTATUS(std::system(appending.c_str())), 2);
  EXPECT_NE(ReadFile(err).find("standard output: not written: it is the input"), std::string::npos) << ReadFile(err);
  EXPECT_EQ(ReadFile(doc), original);
}

TEST(VellmarCli, AFailedWriteKeepsTheOldFilesAndSaysWhy) {
  const std::string dir = TempFolder("full_disk");
  // export replaces only dotXSI.
  const auto good = [](const std::string& name) {
    return (name == "old.xsi" ? "xsi 0300txt 0032\ngood " : "good ") + name;
  };
  for (const char* name : {"old.xsi", "old.obj", "old.mtl"}) std::ofstream(dir + name) << good(name);
  const std::string doc = TempPath("full_disk.mqo");
  std::ofstream(doc, std::ios::binary) << GridDocument(30);
  // A file size limit stands in for a full disk; the tool inherits it. A
  // path through /proc names the file like any other.
  for (const std::string command : {"export", "convert", "export through /proc"}) {
    const std::string out = (command == "export through /proc" ? "/proc/self/root" + dir : dir) +
                            (command == "convert" ? "old.obj" : "old.xsi");
    ToolRun run;
    WriteUnderFileSizeLimit(4096, [&] {
      run = Vellmar(command.substr(0, command.find(' ')) + " " + Quoted(doc) + " " + Quoted(out));
      return true;
    });
    EXPECT_EQ(run.status, 1) << command;
    EXPECT_NE(run.err.find("cannot write: File too large"), std::string::npos) << run.err;
  }
  for (const char* name : {"old.xsi", "old.obj", "old.mtl"}) EXPECT_EQ(ReadFile(dir + name), good(name));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 3);
}

TEST(VellmarCli, ASignalMidWriteLeavesNoPartialFile) {
  const std::string doc = TempPath("grid.mqo");
  std::ofstream(doc, std::ios::binary) << GridDocument(500);
  // SIGHUP is a closed terminal. A pair (OBJ and its material file) loses
  // both temporary files; a path through /proc names a file like any other.
  struct Case {
    int signal;
    const char* command;
    const char* extension;
    bool through_proc;
  };
  const Case cases[] = {{SIGINT, "export", ".xsi", false},
                        {SIGTERM, "convert", ".obj", false},
                        {SIGHUP, "export", ".xsi", false},
                        {SIGHUP, "convert", ".obj", false},
                        {SIGINT, "export", ".xsi", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.command) + " " + c.extension + " " + std::to_string(c.signal));
    const std::string dir = TempFolder("signal");
    const std::string out = dir + "grid" + c.extension;
    // export replaces only dotXSI.
    const std::string old = std::string(c.extension == std::string(".xsi") ? "xsi 0300txt 0032\n" : "") + "old output";
    std::ofstream(out) << old;
    std::ofstream(dir + "grid.mtl") << "old mtl";
    const pid_t pid = StartVellmar({c.command, doc, (c.through_proc ? "/proc/self/root" : "") + out});
    // A temporary file appears once the write has begun.
    for (int i = 0; i < 60000 && TemporaryFilesIn(dir, pid) == 0; ++i) usleep(1000);
    ASSERT_GT(TemporaryFilesIn(dir, pid), 0) << "the write never began";
    kill(pid, c.signal);
    EXPECT_EQ(Finish(pid).first, 128 + c.signal);
    EXPECT_EQ(ReadFile(out), old);
    EXPECT_EQ(ReadFile(dir + "grid.mtl"), "old mtl");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2) << "no temporary file left";
  }
}

TEST(VellmarCli, OutputToStandardOutputLeavesNothingAfterAHardKill) {
  // The scratch file that holds the output until it is whole has no name
  // in its folder while it is written, so that even SIGKILL leaves nothing.
  const std::string scratch = TempFolder("killed-scratch");
  const std::string doc = TempPath("killed.mqo");
  std::ofstream(doc, std::ios::binary) << GridDocument(500);
  setenv("TMPDIR", scratch.c_str(), 1);
  const pid_t pid = StartVellmar({"export", doc, "-"});
  unsetenv("TMPDIR");
  const std::string descriptors = "/proc/" + std::to_string(pid) + "/fd";
  bool open_there = false;
  for (int i = 0; i < 60000 && !open_there && waitpid(pid, nullptr, WNOHANG) == 0; ++i) {
    std::error_code ignored;
    for (const auto& fd : std::filesystem::directory_iterator(descriptors, ignored)) {
      const std::string target = std::filesystem::read_symlink(fd.path(), ignored).string();
      open_there = open_there || target.rfind(scratch, 0) == 0;
    }
    if (!open_there) usleep(1000);
  }
  ASSERT_TRUE(open_there) << "the scratch file was never seen open";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch), {}), 0) << "it has no name";
  kill(pid, SIGKILL);
  Finish(pid);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch), {}), 0);
}

TEST(VellmarCli, WritesToStandardOutputOnlyWhatAFileWouldHold) {
  // Scratch files go to a folder of this test, which must be empty after.
  const std::string scratch = TempFolder("scratch");
  const std::string env = "TMPDIR=" + Quoted(scratch) + " SOURCE_DATE_EPOCH=1796655600 ";
  const std::string cube = Example("cube.mqo");
  const std::string xsi = TempPath("stdout.xsi"), x = TempPath("stdout.x");
  ASSERT_EQ(Vellmar("export " + cube + " " + Quoted(xsi), env).status, 0);
  ASSERT_EQ(Vellmar("convert " + cube + " " + Quoted(x), env).status, 0);
  const std::pair<std::string, std::string> cases[] = {
      {"export " + cube + " -", xsi},
      {"convert " + cube + " - --format xsi", xsi},
      {"convert " + cube + " - --format x", x},
      // Standard output sent to a file and named by a path: no status line
      // may go over the file's first bytes.
      {"convert " + cube + " /dev/stdout --format x", x},
      {"export " + cube + " /dev/stdout", xsi},
  };
  for (const auto& [args, file] : cases) {
    const ToolRun run = Vellmar(args, env);
    EXPECT_EQ(run.status, 0) << args << ": " << run.err;
    EXPECT_EQ(run.out, ReadFile(file)) << args;
  }
  // Formats of more than one file need a path; so does a device.
  for (const char* out : {"-", "/dev/stdout", "/dev/null"}) {
    const ToolRun run = Vellmar("convert " + cube + " " + out + " --format obj", env);
    EXPECT_EQ(run.status, 2) << out;
    EXPECT_NE(run.err.find(".mtl file"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(Vellmar("convert " + cube + " -", env).status, 2) << "no extension to tell the format by";
  // A reader that goes away before the end leaves no scratch file either.
  const std::string grid = TempPath("stdout-grid.mqo");
  std::ofstream(grid, std::ios::binary) << GridDocument(100);
  Vellmar("convert " + Quoted(grid) + " - --format x | head -c 10", env);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch), {}), 0);
}

TEST(VellmarCli, ExportWritesOnlyDotXsiAndNoRunWritesOverAnotherFormat) {
  const std::string dir = TempFolder("names");
  const std::string cube = ReadFile(std::string(VELLMAR_EXAMPLES) + "/cube.mqo");
  for (const char* name : {"a.mqo", "b.mqo"}) std::ofstream(dir + name, std::ios::binary) << cube;
  for (const char* name : {"t.png", "a.mqoz", "p.mtl", "scene.bin", "b.x"}) std::ofstream(dir + name) << "keep";
  const std::string in_dir = "cd " + Quoted(dir) + " && ";

  // What the shell makes of "vellmar export *.mqo" in a folder of two
  // documents, and other names that are no dotXSI file.
  for (const char* out : {"b.mqo", "b", "b.x", "a.mqoz", "t.png"}) {
    const ToolRun run = Vellmar(std::string("export a.mqo ") + out, in_dir);
    EXPECT_EQ(run.status, 2) << out;
    EXPECT_EQ(Count(run.err, "\n"), 1) << run.err;
    EXPECT_NE(run.err.find("is not a dotXSI file name"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("--out-dir"), std::string::npos) << "says how to export several: " << run.err;
  }
  EXPECT_EQ(ReadFile(dir + "b.mqo"), cube);
  ToolRun run = Vellmar("export a.mqo B.XSI", in_dir);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(dir + "B.XSI").rfind("xsi 0300txt 0032\n", 0), 0u);

  // convert with --format: an extension that names another format, known to
  // the tool or beside its files, is refused; one that no format claims is not.
  ExpectRefused({{"convert --format x a.mqo t.png", "names an image"},
                 {"convert --format glb a.mqo a.mqoz", "names the host's document archive"},
                 {"convert --format obj a.mqo p.mtl", "names an OBJ material file"},
                 {"convert --format mqo a.mqo scene.bin", "names a glTF buffer"},
                 {"convert --format obj a.mqo b.x", "names the x format"}},
                in_dir);
  for (const char* name : {"t.png", "a.mqoz", "p.mtl", "scene.bin", "b.x"}) EXPECT_EQ(ReadFile(dir + name), "keep");
  EXPECT_EQ(Vellmar("convert --format x a.mqo out.data", in_dir).status, 0);
  EXPECT_EQ(ReadFile(dir + "out.data").rfind("xof 0303txt 0032\n", 0), 0u);
}

TEST(VellmarCli, TheFileALinkLeadsToDecidesWhatMayBeWritten) {
  const std::string dir = TempFolder("link_targets");
  const std::string cube = ReadFile(std::string(VELLMAR_EXAMPLES) + "/cube.mqo");
  std::ofstream(dir + "a.mqo", std::ios::binary) << cube;
  std::ofstream(dir + "keep.mqo", std::ios::binary) << cube;
  std::ofstream(dir + "notes.xsi") << "not dotXSI";
  std::ofstream(dir + "t.png") << "keep";
  std::ofstream(dir + "old.xsi") << "xsi 0300txt 0032\nold";
  std::ofstream(dir + "empty.xsi");
  std::filesystem::create_directory(dir + "out");
  const std::string in_dir = "cd " + Quoted(dir) + " && ";
  for (const auto& [link, target] : std::vector<std::pair<std::string, std::string>>{
           {"link.xsi", "keep.mqo"}, {"notes-link.xsi", "notes.xsi"}, {"old-link.xsi", "old.xsi"},
           {"empty-link.xsi", "empty.xsi"}, {"new-link.xsi", "new.mqo"}, {"current", "current.xsi"},
           {"link.obj", "keep.mqo"}, {"l.obj", "l-real.obj"}, {"l.mtl", "t.png"}, {"out/a.xsi", "../keep.mqo"}})
    ASSERT_EQ(symlink(target.c_str(), (dir + link).c_str()), 0) << link;

  // export replaces only a file that holds dotXSI or nothing, however the
  // link that leads there is named, and makes no file of another format's name.
  for (const char* args : {"export a.mqo link.xsi", "export a.mqo notes-link.xsi", "export a.mqo notes.xsi",
                           "export a.mqo new-link.xsi", "export a.mqo --out-dir out"}) {
    const ToolRun run = Vellmar(args, in_dir);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(Count(run.err, "\n"), 1) << run.err;
  }
  EXPECT_NE(Vellmar("export a.mqo notes-link.xsi", in_dir).err.find("which holds no dotXSI"), std::string::npos);
  EXPECT_NE(Vellmar("export a.mqo link.xsi", in_dir).err.find("leads to 'keep.mqo', which names the mqo format"),
            std::string::npos);
  EXPECT_EQ(ReadFile(dir + "keep.mqo"), cube);
  EXPECT_EQ(ReadFile(dir + "notes.xsi"), "not dotXSI");
  EXPECT_FALSE(FileExists(dir + "new.mqo"));

  // A dotXSI file or an empty one is replaced through its link, which stays
  // a link; a link of another name may lead to a dotXSI name.
  for (const char* out : {"old-link.xsi", "empty-link.xsi", "current"}) {
    const ToolRun run = Vellmar(std::string("export a.mqo ") + out, in_dir);
    EXPECT_EQ(run.status, 0) << out << ": " << run.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir + out)) << out;
    EXPECT_EQ(ReadFile(dir + out).rfind("xsi 0300txt 0032\n", 0), 0u) << out;
  }

  // convert holds a link's target to the names it holds the output's own to,
  // the file beside the output included.
  for (const char* args : {"convert a.mqo link.obj", "convert --format x a.mqo link.obj", "convert a.mqo l.obj"}) {
    const ToolRun run = Vellmar(args, in_dir);
    EXPECT_EQ(run.status, 2) << args;
  }
  EXPECT_NE(Vellmar("convert a.mqo l.obj", in_dir).err.find("'l.mtl' leads to 't.png', which names an image"),
            std::string::npos);
  EXPECT_EQ(ReadFile(dir + "keep.mqo"), cube);
  EXPECT_EQ(ReadFile(dir + "t.png"), "keep");
  EXPECT_FALSE(FileExists(dir + "l-real.obj"));
}

TEST(VellmarCli, TemporaryNamesTakenBeforehandDoNotStopARun) {
  // The shell takes the names that the process id foretells, then becomes
  // the tool under that id.
  const std::string dir = TempFolder("squatted");
  const std::string squat = "cd " + Quoted(dir) + " && for i in $(seq 0 63); do : > vellmar-partial-$$-$i; done; exec ";
  for (const char* args : {"export ", "convert "}) {
    const ToolRun run = Vellmar(args + Example("cube.mqo") + (args[0] == 'e' ? " out.xsi" : " out.obj"), squat);
    EXPECT_EQ(run.status, 0) << args << run.err;
  }
  EXPECT_TRUE(FileExists(dir + "out.xsi"));
  EXPECT_TRUE(FileExists(dir + "out.mtl"));
  // The files taken beforehand stay; the run leaves none of its own.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 3 + 2 * 64);
}

TEST(VellmarCli, ACompanionThatCannotBeWrittenFailsTheRun) {
  const std::string dir = TempFolder("companion");
  std::ofstream(dir + "p.obj") << "old obj";
  std::ofstream(dir + "q.gltf") << "old gltf";
  ASSERT_EQ(mkdir((dir + "p.mtl").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir + "q.bin").c_str(), 0755), 0);
  for (const char* out : {"p.obj", "q.gltf"}) {
    const ToolRun run = Vellmar("convert " + Example("cube.mqo") + " " + Quoted(dir + out));
    EXPECT_EQ(run.status, 1) << out;
    EXPECT_EQ(Count(run.err, "\n"), 1) << run.err;
    EXPECT_NE(run.err.find(std::string(out[0] == 'p' ? "p.mtl" : "q.bin") + ": cannot write: Is a directory"),
              std::string::npos)
        << run.err;
  }
  EXPECT_EQ(ReadFile(dir + "p.obj"), "old obj");
  EXPECT_EQ(ReadFile(dir + "q.gltf"), "old gltf");

  // A read-only material file, for a user who may not write it (root may:
  // then the run is made as nobody).
  const std::string shared = TempFolder("read-only");
  std::ofstream(shared + "r.obj") << "old obj";
  std::ofstream(shared + "r.mtl") << "old mtl";
  ASSERT_EQ(chmod((shared + "r.mtl").c_str(), 0444), 0);
  std::string as_user;
  if (geteuid() == 0) {
    if (std::system("setpriv --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no setpriv to run as nobody";
    ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
    for (const char* name : {"r.obj", "r.mtl"}) ASSERT_EQ(chown((shared + name).c_str(), 65534, 65534), 0);
    as_user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  const ToolRun run = Vellmar("convert " + Example("cube.mqo") + " " + Quoted(shared + "r.obj"), as_user);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("r.mtl: cannot write: Permission denied"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(shared + "r.obj"), "old obj");
  EXPECT_EQ(ReadFile(shared + "r.mtl"), "old mtl");
}

TEST(VellmarCli, TwoRunsWritingOnePairLeaveOneRunsWholePair) {
  // Two documents whose pairs differ in both files.
  const std::string a = TempPath("pair-a.mqo"), b = TempPath("pair-b.mqo");
  std::ofstream(a, std::ios::binary) << GridDocument(40, "alpha");
  std::ofstream(b, std::ios::binary) << GridDocument(60, "beta");
  for (const auto& [extension, companion] : {std::pair<std::string, std::string>{".obj", ".mtl"}, {".gltf", ".bin"}}) {
    SCOPED_TRACE(extension);
    // Each run's own pair, written alone under the same name.
    std::vector<std::pair<std::string, std::string>> whole;
    for (const std::string& doc : {a, b}) {
      const std::string alone = TempFolder("pair-alone");
      ASSERT_EQ(Vellmar("convert " + Quoted(doc) + " " + Quoted(alone + "p" + extension)).status, 0);
      whole.emplace_back(ReadFile(alone + "p" + extension), ReadFile(alone + "p" + companion));
    }
    ASSERT_NE(whole[0], whole[1]);
    const std::string dir = TempFolder("pair-raced");
    const std::string out = dir + "p" + extension;
    int mixed = 0;
    for (int attempt = 0; attempt < 40; ++attempt) {
      const pid_t first = StartVellmar({"convert", a, out});
      const pid_t second = StartVellmar({"convert", b, out});
      EXPECT_EQ(Finish(first).first, 0);
      EXPECT_EQ(Finish(second).first, 0);
      const std::pair<std::string, std::string> pair{ReadFile(out), ReadFile(dir + "p" + companion)};
      if (pair != whole[0] && pair != whole[1]) ++mixed;
    }
    EXPECT_EQ(mixed, 0) << "of 40";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2) << "no lock or temporary file left";
  }
}

TEST(VellmarCli, NamesAtTheFileSystemLimitAndReplacedOwners) {
  // Output names of 255 bytes, whose temporary files cannot be named after
  // them, for both pairs.
  const std::string dir = TempFolder("long");
  for (const std::string& name : {std::string(251, 'o') + ".obj", std::string(250, 'g') + ".gltf"}) {
    const ToolRun run = Vellmar("convert " + Example("cube.mqo") + " " + Quoted(dir + name));
    EXPECT_EQ(run.status, 0) << run.err;
  }
  EXPECT_NE(ReadFile(dir + std::string(251, 'o') + ".obj").find("mtllib " + std::string(251, 'o') + ".mtl"),
            std::string::npos);
  EXPECT_NE(ReadFile(dir + std::string(250, 'g') + ".bin"), "");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 4);

  // Files of another user, replaced by root through the plug-in and by
  // convert, stay theirs, with their permissions.
  if (geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  const std::string owned = TempFolder("owned");
  for (const char* name : {"theirs.xsi", "theirs.obj", "theirs.mtl"}) {
    std::ofstream(owned + name) << "xsi 0300txt 0032\nold";
    ASSERT_EQ(chown((owned + name).c_str(), 4321, 8765), 0);
    ASSERT_EQ(chmod((owned + name).c_str(), 0600), 0);
  }
  ASSERT_EQ(Vellmar("export " + Example("cube.mqo") + " " + Quoted(owned + "theirs.xsi")).status, 0);
  ASSERT_EQ(Vellmar("convert " + Example("cube.mqo") + " " + Quoted(owned + "theirs.obj")).status, 0);
  for (const char* name : {"theirs.xsi", "theirs.obj", "theirs.mtl"}) {
    struct stat info {};
    ASSERT_EQ(stat((owned + name).c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 4321u) << name;
    EXPECT_EQ(info.st_gid, 8765u) << name;
    EXPECT_EQ(info.st_mode & 07777, 0600u) << name;
    EXPECT_NE(ReadFile(owned + name), "old") << name;
  }
}
