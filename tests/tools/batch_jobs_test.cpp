// Batches side by side (--jobs), only what changed (--newer), and standard
// input as the one input.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host_documents.h"
#include "test_files.h"
#include "tool_runs.h"

namespace fs = std::filesystem;

namespace {

// Every file of a folder, by name, with its bytes.
std::vector<std::pair<std::string, std::string>> Contents(const std::string& dir) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& entry : fs::directory_iterator(dir))
    files.emplace_back(entry.path().filename().string(), ReadFile(entry.path().string()));
  std::sort(files.begin(), files.end());
  return files;
}

// The lines of a run's errors without the batch's summary, whose time
// differs from run to run.
std::string WithoutSummary(const std::string& err) {
  const size_t summary = err.rfind("vellmar: ", err.size() - 2);
  return summary != std::string::npos && err.find(" failed in ", summary) != std::string::npos
             ? err.substr(0, summary)
             : err;
}

void SetOlder(const std::string& path, const std::string& than) {
  fs::last_write_time(path, fs::last_write_time(than) - std::chrono::hours(1));
}

}  // namespace

// Inputs of every kind of outcome: written, unreadable, a clash whose first
// input fails (so the second writes the file) and a clash whose first input
// is written (so the second is refused). Each number of jobs gives the same
// files, the same lines in the same order and the same status.
TEST(BatchJobs, AnyNumberOfJobsGivesTheSameRun) {
  const std::string in = TempFolder("jobs-in");
  fs::create_directories(in + "a");
  fs::create_directories(in + "b");
  std::ofstream(in + "a/bad.mqo") << "not a document\n";
  fs::copy_file(std::string(VELLMAR_EXAMPLES) + "/cube.mqo", in + "b/bad.mqo");
  fs::copy_file(std::string(VELLMAR_EXAMPLES) + "/ngon.mqo", in + "a/ngon.mqo");
  fs::copy_file(std::string(VELLMAR_EXAMPLES) + "/cube.mqo", in + "b/ngon.mqo");
  std::string inputs = Example("textured_seam.mqo") + " " + Quoted(in + "a/bad.mqo") + " " +
                       Quoted(in + "b/bad.mqo") + " " + Quoted(in + "a/ngon.mqo") + " " + Quoted(in + "b/ngon.mqo");
  for (const char* name : {"cube.mqo", "untextured_and_no_material.mqo"}) inputs += " " + Example(name);

  std::vector<std::pair<std::string, std::string>> first_files;
  ToolRun first;
  for (const char* jobs : {"1", "2", "5"}) {
    const std::string out = TempPath("jobs-out") + "/";
    fs::remove_all(out);
    const ToolRun run = Vellmar("convert " + inputs + " --format obj --out-dir " + Quoted(out) + " --jobs " + jobs,
                                "VELLMAR_PROGRESS=1 ");
    const auto files = Contents(out);
    if (jobs[0] == '1') {
      first = run;
      first_files = files;
      EXPECT_EQ(run.status, 2);
      EXPECT_NE(run.err.find("5 converted, 2 failed in "), std::string::npos) << run.err;
      // The clash whose first input failed wrote the second's cube.
      EXPECT_NE(ReadFile(out + "bad.obj").find("# 6 elements"), std::string::npos);
      EXPECT_NE(run.err.find("b/ngon.mqo: not written, "), std::string::npos) << run.err;
      continue;
    }
    EXPECT_EQ(run.status, first.status) << jobs;
    EXPECT_EQ(run.out, first.out) << jobs;
    EXPECT_EQ(WithoutSummary(run.err), WithoutSummary(first.err)) << jobs;
    EXPECT_EQ(files, first_files) << jobs;
  }
  for (const char* refused : {"0", "65", "2x"})
    EXPECT_EQ(Vellmar("convert " + inputs + " --format obj --out-dir d --jobs " + refused).status, 2) << refused;
}

// info over several files at once prints each description whole, in order.
TEST(BatchJobs, InfoKeepsTheOrderOfItsInputs) {
  const std::string bad = TempPath("info-jobs-bad.mqo");
  std::ofstream(bad) << "not a document\n";
  const std::string inputs =
      Example("cube.mqo") + " " + Quoted(bad) + " " + Example("ngon.mqo") + " " + Example("textured_seam.mqo");
  const ToolRun one = Vellmar("info " + inputs + " --jobs 1");
  const ToolRun three = Vellmar("info " + inputs + " --jobs 3");
  EXPECT_EQ(one.status, 2);
  EXPECT_EQ(three.status, 2);
  EXPECT_EQ(three.out, one.out);
  EXPECT_EQ(three.err, one.err);
  EXPECT_LT(one.out.find("cube.mqo"), one.out.find("ngon.mqo"));
}

// --newer: an input is converted again only when it changed after any of
// its outputs, or one of them (the .mtl too) is missing; an input left as it
// is is not read, and counts apart in the summary.
TEST(BatchJobs, NewerConvertsOnlyWhatChanged) {
  const std::string in = TempFolder("newer-in"), out = TempFolder("newer-out");
  for (const char* name : {"cube.mqo", "ngon.mqo", "textured_seam.mqo"})
    fs::copy_file(std::string(VELLMAR_EXAMPLES) + "/" + name, in + name);
  std::ofstream(in + "bad.mqo") << "not a document\n";
  const std::string batch = "convert " + Quoted(in + "bad.mqo") + " " + Quoted(in + "cube.mqo") + " " +
                            Quoted(in + "ngon.mqo") + " " + Quoted(in + "textured_seam.mqo") +
                            " --format obj --newer --out-dir " + Quoted(out);
  ToolRun run = Vellmar(batch, "VELLMAR_PROGRESS=1 ");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("3 converted, 1 failed"), std::string::npos) << run.err;

  // Nothing changed: nothing read (a document spoiled but older than its
  // outputs stays as it was converted); the bad one fails again.
  const std::string cube = ReadFile(out + "cube.obj");
  std::ofstream(in + "cube.mqo") << "spoiled\n";
  SetOlder(in + "cube.mqo", out + "cube.obj");
  run = Vellmar(batch, "VELLMAR_PROGRESS=1 ");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("0 converted, 3 up to date, 1 failed"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(out + "cube.obj"), cube);

  // A changed input, and an output's material file gone.
  fs::copy_file(std::string(VELLMAR_EXAMPLES) + "/cube.mqo", in + "cube.mqo", fs::copy_options::overwrite_existing);
  fs::last_write_time(in + "cube.mqo", fs::last_write_time(out + "cube.obj") + std::chrono::hours(1));
  fs::remove(out + "ngon.mtl");
  fs::remove(in + "bad.mqo");
  fs::copy_file(std::string(VELLMAR_EXAMPLES) + "/cube.mqo", in + "bad.mqo");
  run = Vellmar(batch, "VELLMAR_PROGRESS=1 ");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("3 converted, 1 up to date, 0 failed"), std::string::npos) << run.err;
  EXPECT_TRUE(FileExists(out + "ngon.mtl"));
  EXPECT_EQ(run.out.find("textured_seam"), std::string::npos) << run.out;
}

// "-" reads a document or a dotXSI file from standard input, told by its
// first bytes, as the one input, with the output named.
TEST(BatchJobs, StandardInputIsOneInput) {
  const std::string dir = TempFolder("stdin");
  ToolRun run = Vellmar("convert " + Example("cube.mqo") + " " + Quoted(dir + "file.glb"));
  ASSERT_EQ(run.status, 0) << run.err;
  run = Vellmar("convert - " + Quoted(dir + "piped.glb"), "cat " + Example("cube.mqo") + " | ");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(dir + "piped.glb"), ReadFile(dir + "file.glb"));

  // A dotXSI file through a pipe, read as dotXSI by convert and info.
  ASSERT_EQ(Vellmar("export " + Example("cube.mqo") + " " + Quoted(dir + "cube.xsi")).status, 0);
  run = Vellmar("convert - " + Quoted(dir + "from-xsi.glb"), "cat " + Quoted(dir + "cube.xsi") + " | ");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(dir + "from-xsi.glb"), (Vellmar("convert " + Quoted(dir + "cube.xsi") + " - --format glb").out));
  run = Vellmar("info -", "cat " + Quoted(dir + "cube.xsi") + " | ");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("dotXSI 3.0"), std::string::npos) << run.out;

  // A bad document names standard input as "-", not where it was staged.
  run = Vellmar("convert - " + Quoted(dir + "bad.glb"), "echo garbage | ");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.rfind("vellmar: -:1: ", 0), 0u) << run.err;

  // Refused, each with one line and status 2.
  const std::pair<std::string, std::string> refused[] = {
      {"printf 'PK\\003\\004rest' | ", "convert - " + Quoted(dir + "zip.glb")},
      {"", "convert - --out-dir " + Quoted(dir) + " --format glb"},
      {"", "info - " + Example("cube.mqo")},
      {"", "convert - " + Example("cube.mqo") + " --out-dir " + Quoted(dir) + " --format glb"},
  };
  for (const auto& [before, args] : refused) {
    run = Vellmar(args, before);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_EQ(Count(run.err, "\n"), 1) << args << ": " << run.err;
  }
  EXPECT_FALSE(FileExists(dir + "zip.glb"));
}
