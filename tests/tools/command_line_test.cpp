// The command line's conventions: help and usage, exit statuses, messages
// and the batch summary.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>

#include "host_documents.h"
#include "tool_runs.h"

TEST(VellmarCli, HelpAndUsage) {
  for (const char* args : {"--help", "export --help", "convert -h", "info --help"}) {
    const ToolRun run = Vellmar(args);
    EXPECT_EQ(run.status, 0) << args;
    EXPECT_EQ(run.out.rfind("Usage: vellmar", 0), 0u) << args;
  }
  // Usage errors: status 2 and one clear line naming the fault.
  const std::pair<const char*, const char*> usage_errors[] = {
      {"", "no command"},
      {"frobnicate", "unknown command"},
      {"export onlyone.mqo", "needs IN and OUT"},
      {"export a.mqo b.xsi --scale zero", "--scale"},
      {"export a.mqo b.xsi --axes x,x,z", "--axes"},
      {"convert a.mqo b.xsi --bogus", "unknown option"},
      {"convert a.mqo --out-dir d", "needs --format"},
      {"export a.mqo b.xsi --max-document-size 12Q", "--max-document-size"},
  };
  for (const auto& [args, message] : usage_errors) {
    const ToolRun run = Vellmar(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find(message), std::string::npos) << args << ": " << run.err;
    EXPECT_EQ(Count(run.err, "\n"), 1) << "one clear line: " << run.err;
  }
}

TEST(VellmarCli, ErrorsAndExitStatus) {
  const std::string bad = TempPath("bad.mqo");
  std::ofstream(bad, std::ios::binary)
      << "Metasequoia Document\nFormat Text Ver 1.0\n\nObject \"o\" {\n\tvertex 1 {\n\t\t1 2 x\n\t}\n}\n";
  ToolRun run = Vellmar("export " + Quoted(bad) + " " + Quoted(TempPath("bad.xsi")));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("bad.mqo:6:"), std::string::npos) << run.err;

  run = Vellmar("export " + Quoted(TempPath("does-not-exist.mqo")) + " " + Quoted(TempPath("x.xsi")));
  EXPECT_EQ(run.status, 2);

  run = Vellmar("export " + Example("cube.mqo") + " " + Quoted(TempPath("no-such-dir/cube.xsi")));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cube.xsi: cannot write: No such file or directory"), std::string::npos) << run.err;

  run = Vellmar("convert " + Example("cube.mqo") + " " + Quoted(TempPath("cube.unknown")));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--format"), std::string::npos);
  run = Vellmar("convert " + Example("cube.mqo") + " x --format nonsense");
  EXPECT_EQ(run.status, 2);

  // A batch goes on past a bad input and reports the worst status; a second
  // input of the same name does not overwrite the first one's output.
  const std::string dir = TempPath("batch");
  run = Vellmar("export " + Example("cube.mqo") + " " + Quoted(bad) + " " + Example("ngon.mqo") + " " +
                Example("cube.mqo") + " --out-dir " + Quoted(dir));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(Count(run.err, "\n"), 2) << run.err;
  EXPECT_NE(run.err.find("cube.xsi already holds the output of"), std::string::npos) << run.err;
  EXPECT_NE(ReadFile(dir + "/cube.xsi").find("SI_Model MDL-cube"), std::string::npos);
  EXPECT_NE(ReadFile(dir + "/ngon.xsi").find("SI_Model MDL-ngons"), std::string::npos);
}

TEST(VellmarCli, FollowsTheConventionsOfCommandLineTools) {
  for (const char* args : {"--version", "version"}) {
    const ToolRun run = Vellmar(args);
    EXPECT_EQ(run.status, 0) << args;
    EXPECT_EQ(run.out, "vellmar " VELLMAR_VERSION "\n") << args;
  }
  // A command's help, however asked for; the formats come from their table.
  const ToolRun help = Vellmar("help convert");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, Vellmar("convert --help").out);
  EXPECT_NE(help.out.find("--max-document-size N"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("  dxf-polyface  DXF with polyface meshes (.dxf)\n"), std::string::npos) << help.out;
  EXPECT_EQ(Vellmar("help export").out, Vellmar("export -h").out);
  EXPECT_EQ(Vellmar("help frobnicate").status, 2);

  // --opt=value, "--" before names that start with '-', format names in any case.
  const std::string dir = TempFolder("conventions");
  std::ofstream(dir + "-cube.mqo", std::ios::binary) << ReadFile(std::string(VELLMAR_EXAMPLES) + "/cube.mqo");
  const std::string in_dir = "cd " + Quoted(dir) + " && ";
  ToolRun run = Vellmar("convert --format=X --scale=2 -- -cube.mqo -out.x", in_dir);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Vellmar("convert --format x --scale 2 -cube.mqo spaced.x", in_dir).status, 2) << "an option without --";
  ASSERT_EQ(Vellmar("convert --format x --scale 2 -- -cube.mqo spaced.x", in_dir).status, 0);
  EXPECT_EQ(ReadFile(dir + "-out.x"), ReadFile(dir + "spaced.x"));
  EXPECT_NE(ReadFile(dir + "-out.x").find("-2.000000;2.000000;-2.000000;,"), std::string::npos) << "--scale=2 applied";

  // An output named for another format than --format, and options that
  // take no value or do not apply: one line each, status 2.
  ExpectRefused({{"convert --format obj -- -cube.mqo out.x", "'out.x' names the x format, not obj"},
                 {"convert --format dxf -- -cube.mqo out.OBJ", "names the obj format, not dxf"},
                 {"export --freeze=yes -- -cube.mqo out.xsi", "--freeze takes no value"},
                 {"export --format x -- -cube.mqo out.xsi", "'--format' does not apply to export"}},
                in_dir);
  EXPECT_FALSE(FileExists(dir + "out.x"));
  EXPECT_EQ(Vellmar("convert --format dxf-polyface -- -cube.mqo out.DXF", in_dir).status, 0);

  // -q leaves out the note and the line per file, not errors.
  const std::string half = Quoted(std::string(VELLMAR_TEST_DATA_DIR) + "/mqo/half_cube_mirror.mqo");
  run = Vellmar("export " + half + " " + Quoted(dir + "half.xsi"));
  EXPECT_NE(run.out.find(" -> "), std::string::npos);
  EXPECT_NE(run.err.find("note: "), std::string::npos);
  run = Vellmar("export -q " + half + " " + Quoted(dir + "half.xsi"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out + run.err, "");
  run = Vellmar("export -q " + half + " " + Quoted(dir + "no-such-dir/half.xsi"));
  EXPECT_NE(run.err.find("cannot write"), std::string::npos);
}

TEST(VellmarCli, ABatchOnATerminalEndsWithASummary) {
  // VELLMAR_PROGRESS=1 shows what a terminal would see. An input that is
  // not read (the second cube, whose output the first one wrote) counts as
  // failed as well as one that cannot be read.
  const std::string dir = TempPath("summary"), bad = TempPath("summary-bad.mqo");
  std::ofstream(bad) << "not a document\n";
  const std::string batch = "export " + Example("cube.mqo") + " " + Quoted(bad) + " " + Example("ngon.mqo") + " " +
                            Example("cube.mqo") + " --out-dir " + Quoted(dir);
  ToolRun run = Vellmar(batch, "VELLMAR_PROGRESS=1 ");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("\nvellmar: 2 exported, 2 failed in "), std::string::npos) << run.err;
  EXPECT_EQ(run.err.substr(run.err.size() - 3), " s\n") << run.err;
  EXPECT_EQ(Count(Vellmar(batch + " -q", "VELLMAR_PROGRESS=1 ").err, "\n"), 2) << "only the errors";
  EXPECT_EQ(Count(Vellmar(batch).err, "\n"), 2) << "not a terminal: only the errors";
}

TEST(VellmarCli, MessagesShowControlCharactersEscaped) {
  const std::string dir = TempFolder("escaped");
  // A file name that would break the line and colour the terminal.
  const std::string bad = dir + "bad\nname\x1b[31m.mqo";
  std::ofstream(bad) << "not a document\n";
  ToolRun run = Vellmar("export " + Quoted(bad) + " " + Quoted(dir + "out.xsi"));
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(Count(run.err, "\n"), 1) << run.err;
  EXPECT_NE(run.err.find("bad\\nname\\x1b[31m.mqo:1:"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\x1b'), std::string::npos);

  // An object name, and both names of the line that reports a written file.
  const std::string far = dir + "far\tdoc.mqo";
  std::ofstream(far, std::ios::binary) << "Metasequoia Document\nFormat Text Ver 1.0\nObject \"a\x1b]0;t\x07z\" {\n"
                                          "\tvertex 3 {\n\t\t3e38 0 0\n\t\t0 1 0\n\t\t0 0 1\n\t}\n"
                                          "\tface 1 {\n\t\t3 V(0 1 2)\n\t}\n}\nEof\n";
  run = Vellmar("export " + Quoted(far) + " " + Quoted(dir + "far.xsi") + " --scale 10");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("far\\tdoc.mqo: object \"a\\x1b]0;t\\x07z\" has a coordinate"), std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
  run = Vellmar("export " + Quoted(far) + " " + Quoted(dir + "out\x1b.xsi"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("far\\tdoc.mqo -> " + dir + "out\\x1b.xsi\n"), std::string::npos) << run.out;
  // info's names too: the file's and its textures'.
  std::ofstream(dir + "tex\rdoc.mqo", std::ios::binary)
      << "Metasequoia Document\nFormat Text Ver 1.0\nMaterial 1 {\n\t\"m\" tex(\"a\x1b[2Jb.png\")\n}\nEof\n";
  run = Vellmar("info " + Quoted(dir + "tex\rdoc.mqo"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind(dir + "tex\\rdoc.mqo\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("    a\\x1b[2Jb.png (missing)\n"), std::string::npos) << run.out;
}

// What a new user trips over: a name of a format that is not written says
// so once, listing what is; help names every kind of input; counts of one
// read in the singular.
TEST(VellmarCli, NewUsersAreToldWhatIsWrittenAndRead) {
  for (const char* args : {"convert a.mqo x.fbx", "convert a.mqo x.FBX --format glb", "convert a.mqo x.mqoz"}) {
    const ToolRun run = Vellmar(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find("which vellmar does not write; it writes xsi, x, obj, mqo, dxf, dxf-polyface, dump"),
              std::string::npos)
        << args << ": " << run.err;
    EXPECT_EQ(Count(run.err, "\n"), 1) << run.err;
  }
  const std::string help = Vellmar("help").out;
  for (const char* input : {".mqo", ".mqoz", ".xsi", "'-'"}) EXPECT_NE(help.find(input), std::string::npos) << input;

  const std::string dir = TempFolder("singular");
  std::ofstream(dir + "one.mqo") << "Metasequoia Document\nFormat Text Ver 1.0\n\nObject \"o\" {\n\tvertex 3 {\n"
                                    "\t\t0 0 0\n\t\t1 0 0\n\t\t0 1 0\n\t}\n\tface 1 {\n\t\t3 V(0 1 2)\n\t}\n}\nEof\n";
  ASSERT_EQ(Vellmar("export " + Quoted(dir + "one.mqo") + " " + Quoted(dir + "one.xsi")).status, 0);
  const std::string info = Vellmar("info " + Quoted(dir + "one.xsi")).out;
  EXPECT_NE(info.find(": 3 vertices, 1 face"), std::string::npos) << info;
}
