// Helpers of the writer tests: the text a writer gives, and what every
// scene writer must do when its file cannot be written, and the reason it
// returns then.
#pragma once

#include <cerrno>
#include <cstdio>

#include "test_files.h"
#include "test_scenes.h"
#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"

// A writer's form that reads the scene, and the form that uses it up.
using SceneWriter = WriteResult (*)(const char* path, const WScene& scene, const WriterOptions& options);
using ConsumingWriter = WriteResult (*)(const char* path, WScene&& scene, const WriterOptions& options);

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
  EXPECT_TRUE(write(path.c_str(), scene, {}));
  const std::string text = ReadFile(path);
  std::remove(path.c_str());
  return text;
}

// small is a scene whose text fits one output block; the writer must fail
// on a path that cannot be opened, on a directory, on a device that takes
// no bytes, and on a regular file that cannot grow (a full disk), where the
// partial file must be removed again: a big scene fails on the way, the
// small one when the file is closed. Each failure returns its reason as the
// system gave it. errno holds a decoy before each write: a reason taken from
// it instead of from the call that failed would show as EDOM.
inline void ExpectFailedWritesLeaveNoFile(SceneWriter write, const WScene& small) {
  const std::string missing = TempPath("no-such-dir") + "/a.out";
  errno = EDOM;
  EXPECT_EQ(write(missing.c_str(), small, {}).error(), ENOENT);
  EXPECT_FALSE(FileExists(missing));
  errno = EDOM;
  EXPECT_EQ(write(::testing::TempDir().c_str(), small, {}).error(), EISDIR);
  if (FileExists("/dev/full")) {
    errno = EDOM;
    EXPECT_EQ(write("/dev/full", small, {}).error(), ENOSPC);
    EXPECT_TRUE(FileExists("/dev/full"));
  }

  WScene big;
  const int o = big.AddObject("big");
  WObject& obj = big.objects[o];
  ASSERT_TRUE(obj.ReserveVertices(60000) && obj.ReserveFaces(20000));
  for (int i = 0; i < 60000; ++i) AddVertexAt(obj, static_cast<float>(i), 0.5f, -0.25f);
  for (int i = 0; i < 60000; i += 3) AddFaceOver(obj, {i, i + 1, i + 2});
  const std::string path = TempPath("limited");
  EXPECT_FALSE(WriteUnderFileSizeLimit(64, [&] { return write(path.c_str(), big, {}).written(); }));
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(WriteUnderFileSizeLimit(64, [&] { return write((path + "2").c_str(), small, {}).written(); }));
  EXPECT_FALSE(FileExists(path + "2"));

  // A full disk over a good file keeps it byte for byte, and says why.
  const std::string old_text(100, 'o');
  std::ofstream(path, std::ios::binary) << old_text;
  EXPECT_FALSE(WriteUnderFileSizeLimit(64, [&] {
    const WriteResult result = write(path.c_str(), big, {});
    EXPECT_EQ(result.error(), EFBIG);
    return result.written();
  }));
  EXPECT_EQ(ReadFile(path), old_text);
  EXPECT_EQ(TemporaryFilesIn(ProcessTempFolder()), 0);
  std::remove(path.c_str());
}
