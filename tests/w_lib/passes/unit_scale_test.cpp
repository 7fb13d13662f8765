// Unit scale: lengths multiplied by the factor, nothing else.
#include <gtest/gtest.h>

#include "test_scenes.h"

TEST(ScaleScene, PositionsAndTranslationsOnly) {
  WScene scene;
  WObject& obj = AddObjectAt(scene, "thing", {{100, -50, 2.5f}});
  const int v = 0;
  obj.vertices[v].SetNormal(WVector(0, 0, 1));
  obj.vertices[v].SetUv(WUv(0.5f, 0.25f));
  obj.transform.translate = WVector(10, 0, 0);
  obj.transform.base_translate = WVector(0, 300, 0);
  obj.transform.scale = WVector(2, 2, 2);
  const int k = obj.FindOrAddKey(5);
  obj.keys[k].translate = WVector(0, 0, -200);
  obj.keys[k].base_translate = WVector(1, 1, 1);
  obj.keys[k].rotate = WVector(1, 2, 3);

  ScaleScene(scene, 0.01f);
  EXPECT_EQ(obj.vertices[v].pos.x, 1.0f);
  EXPECT_EQ(obj.vertices[v].pos.y, -0.5f);
  EXPECT_FLOAT_EQ(obj.vertices[v].pos.z, 0.025f);
  EXPECT_EQ(obj.vertices[v].normal(), WVector(0, 0, 1));
  EXPECT_EQ(obj.vertices[v].uv().u, 0.5f);
  // 10 x 0.01f lies exactly half way between two floats; the tie goes to
  // the even one, just below 0.1f.
  EXPECT_EQ(obj.transform.translate.x, 13421772.0f / 134217728.0f);
  EXPECT_EQ(obj.transform.base_translate.y, 3.0f);
  EXPECT_EQ(obj.transform.scale, WVector(2, 2, 2));
  EXPECT_EQ(obj.keys[k].translate.z, -2.0f);
  EXPECT_EQ(obj.keys[k].base_translate.x, 0.01f);
  EXPECT_EQ(obj.keys[k].rotate, WVector(1, 2, 3));

  // The matrices follow the new transform.
  WMatrix expected;
  expected.Scale(2, 2, 2);
  expected.Translate(obj.transform.translate);
  EXPECT_EQ(obj.transform.local_matrix, expected);
  EXPECT_EQ(obj.transform.world_matrix, expected);
  // Keys get no matrices.
  EXPECT_EQ(obj.keys[k].local_matrix, WMatrix());

  // Nothing to scale: no array is read (the sanitizer build would see it).
  WScene empty;
  ScaleScene(empty, 0.01f);
  EXPECT_EQ(empty.objects, nullptr);
}
