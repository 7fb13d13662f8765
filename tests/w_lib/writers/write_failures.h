// What every scene writer must do when its file cannot be written: return
// false and leave no file behind.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <string>

#include "test_scenes.h"

using SceneWriter = bool (*)(const char* path, const WScene& scene);

inline bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

inline std::string TempPath(const std::string& name) {
  return std::string(::testing::TempDir()) + name + "_" + std::to_string(::getpid());
}

// small is a scene whose text fits one output block; the writer must fail
// on a path that cannot be opened, on a device that takes no bytes, and on
// a regular file that cannot grow (a full disk), where the partial file must
// be removed again.
inline void ExpectFailedWritesLeaveNoFile(SceneWriter write, const WScene& small) {
  const std::string missing = TempPath("no-such-dir") + "/a.out";
  EXPECT_FALSE(write(missing.c_str(), small));
  EXPECT_FALSE(FileExists(missing));
  EXPECT_FALSE(write(::testing::TempDir().c_str(), small));  // a directory
  if (FileExists("/dev/full")) {
    EXPECT_FALSE(write("/dev/full", small));
    EXPECT_TRUE(FileExists("/dev/full"));
  }

  // Several blocks of text: the writes fail on the way. The small scene
  // fails when the file is closed.
  WScene big;
  const int o = big.AddObject("big");
  WObject& obj = big.objects[o];
  obj.ReserveVertices(60000);
  obj.ReserveFaces(20000);
  for (int i = 0; i < 60000; ++i) AddVertexAt(obj, static_cast<float>(i), 0.5f, -0.25f);
  for (int i = 0; i < 60000; i += 3) AddFaceOver(obj, {i, i + 1, i + 2});
  const std::string path = TempPath("limited");
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool big_written = write(path.c_str(), big);
  const bool small_written = write((path + "2").c_str(), small);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(big_written);
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(small_written);
  EXPECT_FALSE(FileExists(path + "2"));
}
