// Names converted to UTF-8 for the formats whose readers take them so.
#include <gtest/gtest.h>

#include <string>

#include "w_lib/writer_edits/writer_edits.h"

TEST(NamesToUtf8, ConvertsEveryNamedRecordOnce) {
  WScene scene;
  scene.AddObject("\x83\x7b\x83\x66\x83\x42");                 // ボディ
  scene.AddMaterial("\x83\x7d\x83\x65\x83\x8a\x83\x41\x83\x8b");  // マテリアル
  scene.AddTexture("\x95\x5c\\wood.bmp");                        // 表\wood.bmp
  scene.AddCamera("cam");
  NamesToUtf8(scene);
  EXPECT_TRUE(scene.utf8_names);
  EXPECT_EQ(std::string(scene.objects[0].name.c_str()), "ボディ");
  EXPECT_EQ(std::string(scene.materials[0].name.c_str()), "マテリアル");
  EXPECT_EQ(std::string(scene.textures[0].name.c_str()), "表\\wood.bmp");
  EXPECT_EQ(std::string(scene.cameras[0].name.c_str()), "cam");
  // Once UTF-8, a second conversion keeps them; a byte that is no UTF-8
  // becomes U+FFFD.
  scene.AddObject("a\xff");
  NamesToUtf8(scene);
  EXPECT_EQ(std::string(scene.objects[0].name.c_str()), "ボディ");
  EXPECT_EQ(std::string(scene.objects[1].name.c_str()), "a\xEF\xBF\xBD");
}
