// Helpers of the writer tests: the text a writer gives, and what every
// scene writer must do when its file cannot be written.
#pragma once

#include <cerrno>
#include <cstdio>

#include "test_files.h"
#include "test_scenes.h"
#include "w_lib/writers/text_output.h"

using SceneWriter = bool (*)(const char* path, const WScene& scene);

// Whether text ends with tail.
inline bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The text that write(out, scene) puts out.
template <class Write>
std::string TextOf(Write write, const WScene& scene) {
  TextOutput out;
  write(out, scene);
  return std::string(out.text());
}

// The file that write(path, scene) writes.
inline std::string FileTextOf(SceneWriter write, const WScene& scene) {
  const std::string path = TempPath("written");
  EXPECT_TRUE(write(path.c_str(), scene));
  const std::string text = ReadFile(path);
  std::remove(path.c_str());
  return text;
}

// small is a scene whose text fits one output block; the writer must fail
// on a path that cannot be opened, on a directory, on a device that takes
// no bytes, and on a regular file that cannot grow (a full disk), where the
// partial file must be removed again: a big scene fails on the way, the
// small one when the file is closed.
inline void ExpectFailedWritesLeaveNoFile(SceneWriter write, const WScene& small) {
  const std::string missing = TempPath("no-such-dir") + "/a.out";
  EXPECT_FALSE(write(missing.c_str(), small));
  EXPECT_FALSE(FileExists(missing));
  EXPECT_FALSE(write(::testing::TempDir().c_str(), small));
  if (FileExists("/dev/full")) {
    EXPECT_FALSE(write("/dev/full", small));
    EXPECT_TRUE(FileExists("/dev/full"));
  }

  WScene big;
  const int o = big.AddObject("big");
  WObject& obj = big.objects[o];
  ASSERT_TRUE(obj.ReserveVertices(60000) && obj.ReserveFaces(20000));
  for (int i = 0; i < 60000; ++i) AddVertexAt(obj, static_cast<float>(i), 0.5f, -0.25f);
  for (int i = 0; i < 60000; i += 3) AddFaceOver(obj, {i, i + 1, i + 2});
  const std::string path = TempPath("limited");
  EXPECT_FALSE(WriteUnderFileSizeLimit(64, [&] { return write(path.c_str(), big); }));
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(WriteUnderFileSizeLimit(64, [&] { return write((path + "2").c_str(), small); }));
  EXPECT_FALSE(FileExists(path + "2"));

  // A full disk over a good file keeps it byte for byte, and says why.
  const std::string old_text(100, 'o');
  std::ofstream(path, std::ios::binary) << old_text;
  EXPECT_FALSE(WriteUnderFileSizeLimit(64, [&] {
    const bool written = write(path.c_str(), big);
    EXPECT_EQ(errno, EFBIG);
    return written;
  }));
  EXPECT_EQ(ReadFile(path), old_text);
  EXPECT_EQ(TemporaryFilesIn(ProcessTempFolder()), 0);
  std::remove(path.c_str());
}
