// File helpers for the writer tests: reading results and hand-written
// expected files, temporary paths, and writing under a file size limit.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <string>

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline bool FileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// A hand-written expected file of tests/data.
inline std::string Golden(const std::string& name) {
  const std::string text = ReadFile(std::string(VELLMAR_TEST_DATA_DIR) + "/" + name);
  EXPECT_FALSE(text.empty()) << name;
  return text;
}

// A fresh directory of this process under the test temporary directory,
// ending in a slash.
inline std::string TempFolder(const std::string& name) {
  const std::string dir = ::testing::TempDir() + name + "_" + std::to_string(::getpid()) + "/";
  mkdir(dir.c_str(), 0755);
  return dir;
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
