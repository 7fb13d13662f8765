// File helpers for the tests: whole files, temporary paths, the hand-written
// files of tests/data, dotXSI time stamps, and writing on a full disk.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

// The whole content of a file, or "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline bool FileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// The folder of this test process's temporary files, ending in a slash:
// made on first use (one left by an earlier process of the same id is
// removed first) and removed with all it holds when the process ends, so
// that test runs leave nothing behind. A forked child that exits leaves it
// to the process that made it. Readable by all, as a test may run the tool
// as another user inside it.
inline const std::string& ProcessTempFolder() {
  struct Folder {
    pid_t owner = getpid();
    std::string path;
    Folder() {
      const std::string dir = ::testing::TempDir();
      path = dir + (dir.empty() || dir.back() == '/' ? "" : "/") + "vellmar-" + std::to_string(owner) + "/";
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
      mkdir(path.c_str(), 0755);
    }
    ~Folder() {
      if (getpid() != owner) return;
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static const Folder folder;
  return folder.path;
}

// A path in the temporary folder of this test process.
inline std::string TempPath(const std::string& name) { return ProcessTempFolder() + name; }

// A fresh directory of this process, ending in a slash. One left by an
// earlier process that had the same id is removed first.
inline std::string TempFolder(const std::string& name) {
  const std::string dir = TempPath(name) + "/";
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  mkdir(dir.c_str(), 0755);
  return dir;
}

// How many temporary files of process pid ("vellmar-partial-PID-RANDOM") are
// in folder.
inline int TemporaryFilesIn(const std::string& folder, pid_t pid = getpid()) {
  const std::string prefix = "vellmar-partial-" + std::to_string(pid) + "-";
  int n = 0;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
    if (entry.path().filename().string().rfind(prefix, 0) == 0) ++n;
  return n;
}

// A hand-written file of tests/data.
inline std::string Golden(const std::string& name) {
  const std::string text = ReadFile(std::string(VELLMAR_TEST_DATA_DIR) + "/" + name);
  EXPECT_FALSE(text.empty()) << name;
  return text;
}

// Occurrences of needle in text, overlapping ones included.
inline int Count(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

// A dotXSI file with its time-stamp line (the sixth) replaced by "TIME",
// after checking that it reads like "Tue Dec 08 09:33:07 2026" in quotes.
inline std::string MaskTimeStamp(std::string xsi) {
  size_t begin = 0;
  for (int line = 1; line < 6; ++line) begin = xsi.find('\n', begin) + 1;  // 0 when there is none
  const size_t length = xsi.find('\n', begin) - begin;
  static const std::regex stamp(
      "\t\"(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
      "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}\",");
  EXPECT_TRUE(std::regex_match(xsi.substr(begin, length), stamp)) << xsi.substr(begin, length);
  return xsi.replace(begin, length, "TIME");
}

// Runs write() while no file may grow past limit bytes, as on a full disk;
// returns its result.
template <class Write>
bool WriteUnderFileSizeLimit(rlim_t limit, Write write) {
  rlimit saved{};
  if (getrlimit(RLIMIT_FSIZE, &saved) != 0) {
    ADD_FAILURE() << "getrlimit";
    return true;
  }
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = limit;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool result = write();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  return result;
}
