// Texture coordinates mirrored in u, v or both.
#include <gtest/gtest.h>

#include "test_scenes.h"
#include "w_lib/writer_edits/writer_edits.h"

TEST(FlipUvs, FlipsTheChosenAxesOfEveryObject) {
  WScene scene;
  for (const char* name : {"a", "b"}) AddUvAt(AddObjectAt(scene, name), 0.25f, 0.1f);
  FlipUvs(scene, 0x200);
  for (int o = 0; o < 2; ++o) {
    EXPECT_EQ(scene.objects[o].uvs[0].u, 0.25f);
    EXPECT_EQ(scene.objects[o].uvs[0].v, 0.9f);
  }
  FlipUvs(scene.objects[0], 0x100);
  EXPECT_EQ(scene.objects[0].uvs[0].u, 0.75f);
  EXPECT_EQ(scene.objects[0].uvs[0].v, 0.9f);
  // 1 - 0.9f is 0.100000024 in float arithmetic, not 0.1f again.
  FlipUvs(scene.objects[1], 0x300);
  EXPECT_EQ(scene.objects[1].uvs[0].u, 0.75f);
  EXPECT_EQ(scene.objects[1].uvs[0].v, 0.100000024f);
  FlipUvs(scene, 0xFF | 0x400);  // no flip bit
  EXPECT_EQ(scene.objects[1].uvs[0].u, 0.75f);
  EXPECT_EQ(scene.objects[1].uvs[0].v, 0.100000024f);
}
