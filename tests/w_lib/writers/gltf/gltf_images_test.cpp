// The images that glTF files store: PNG and JPEG kept byte for byte, other
// formats converted to PNG with their pixels and channels, files that are
// no images refused with a reason, and the images of a scene's materials:
// found as the host finds them, each stored once, and the textures left out
// told once each with all their materials.
#include "w_lib/writers/gltf/gltf_images.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "test_files.h"
#include "../test_images.h"

// stb_image reads the PNG files back: the pixels must be those of the file
// that was converted.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#include <stb/stb_image.h>

namespace {

void Save(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string Text(const std::vector<unsigned char>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The PNG's pixels, its size and channels.
struct Pixels {
  int width = 0, height = 0, channels = 0;
  std::vector<unsigned char> values;
};

Pixels Decode(const std::vector<unsigned char>& png) {
  Pixels p;
  unsigned char* data =
      stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &p.width, &p.height, &p.channels, 0);
  EXPECT_NE(data, nullptr) << stbi_failure_reason();
  if (!data) return p;
  p.values.assign(data, data + p.width * p.height * p.channels);
  stbi_image_free(data);
  return p;
}

// A TGA of one colour in runs of 128 pixels (4 bytes each): a few bytes
// for many pixels.
std::string TgaOfRuns(int width, int height) {
  std::string tga(18, '\0');
  tga[2] = 10;  // run-length true colour
  tga[12] = static_cast<char>(width & 255);
  tga[13] = static_cast<char>(width >> 8);
  tga[14] = static_cast<char>(height & 255);
  tga[15] = static_cast<char>(height >> 8);
  tga[16] = 24;
  for (int left = width * height; left > 0; left -= 128) {
    const int run = left < 128 ? left : 128;
    tga += static_cast<char>(0x80 | (run - 1));
    tga += "\x10\x20\x30";
  }
  return tga;
}

// A PSD of 2 x 2 pixels in four channels (RGBA), stored raw; its colour
// channels hold colour, its alpha channel alpha.
std::vector<unsigned char> Psd(unsigned char colour, unsigned char alpha) {
  std::vector<unsigned char> psd = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 2, 0, 0,
                                    0, 2, 0, 8, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  psd.insert(psd.end(), 12, colour);
  psd.insert(psd.end(), 4, alpha);
  return psd;
}

// The colour type byte of a PNG's header: 2 RGB, 6 RGBA.
int PngColourType(const std::vector<unsigned char>& png) { return png.size() > 25 ? png[25] : -1; }

}  // namespace

TEST(GltfImages, FormatsThatGltfNamesAreKeptOthersBecomePng) {
  const std::string dir = TempFolder("gltf_images_read");
  // A BMP of 3 x 2 pixels: RGB, rows padded.
  const std::vector<Rgb> rgb = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}, {200, 100, 50}, {1, 2, 3}};
  Save(dir + "a.bmp", BmpBytes(3, 2, rgb));
  GltfImage bmp;
  std::string why;
  ASSERT_TRUE(ReadGltfImage(dir + "a.bmp", bmp, why)) << why;
  EXPECT_STREQ(bmp.mime_type, "image/png");
  ASSERT_EQ(Text(bmp.bytes).substr(0, 8), "\x89PNG\r\n\x1A\n");
  EXPECT_EQ(PngColourType(bmp.bytes), 2);
  Pixels p = Decode(bmp.bytes);
  EXPECT_EQ(p.width, 3);
  EXPECT_EQ(p.height, 2);
  EXPECT_EQ(p.values, std::vector<unsigned char>({255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30, 200, 100, 50, 1, 2, 3}));
  GltfImage again;
  ASSERT_TRUE(ReadGltfImage(dir + "a.bmp", again, why));
  EXPECT_EQ(again.bytes, bmp.bytes);

  // A TGA with alpha keeps its four channels.
  Save(dir + "b.tga", TgaBytes(2, 2, {{1, 2, 3, 0}, {4, 5, 6, 64}, {7, 8, 9, 128}, {250, 251, 252, 255}}));
  GltfImage tga;
  ASSERT_TRUE(ReadGltfImage(dir + "b.tga", tga, why)) << why;
  EXPECT_EQ(PngColourType(tga.bytes), 6);
  p = Decode(tga.bytes);
  EXPECT_EQ(p.values, std::vector<unsigned char>({1, 2, 3, 0, 4, 5, 6, 64, 7, 8, 9, 128, 250, 251, 252, 255}));

  // PNG and JPEG go in as they are, whatever their file is called.
  Save(dir + "c.bmp", Text(bmp.bytes));
  GltfImage png;
  ASSERT_TRUE(ReadGltfImage(dir + "c.bmp", png, why)) << why;
  EXPECT_STREQ(png.mime_type, "image/png");
  EXPECT_EQ(png.bytes, bmp.bytes);
  const std::string jpeg_path = std::string(VELLMAR_TEST_DATA_DIR) + "/images/tiny.jpg";
  GltfImage jpeg;
  ASSERT_TRUE(ReadGltfImage(jpeg_path, jpeg, why)) << why;
  EXPECT_STREQ(jpeg.mime_type, "image/jpeg");
  EXPECT_EQ(Text(jpeg.bytes), ReadFile(jpeg_path));
}

TEST(GltfImages, FilesThatAreNoImagesAreRefusedWithTheReason) {
  const std::string dir = TempFolder("gltf_images_refused");
  GltfImage image;
  std::string why;
  Save(dir + "text.bmp", "not an image at all");
  EXPECT_FALSE(ReadGltfImage(dir + "text.bmp", image, why));
  EXPECT_NE(why.find("not an image"), std::string::npos) << why;
  // A PNG signature before bytes of no image, and a BMP cut short.
  Save(dir + "cut.png", std::string("\x89PNG\r\n\x1A\n", 8) + "IHDR");
  EXPECT_FALSE(ReadGltfImage(dir + "cut.png", image, why));
  Save(dir + "cut.bmp", BmpBytes(4, 4, std::vector<Rgb>(16)).substr(0, 20));
  EXPECT_FALSE(ReadGltfImage(dir + "cut.bmp", image, why));
  // A PNG head of a colour type PNG lacks; a JPEG cut before its frame
  // head, and one whose first segment runs past its end.
  Save(dir + "a.bmp", BmpBytes(1, 1, {{1, 2, 3}}));
  ASSERT_TRUE(ReadGltfImage(dir + "a.bmp", image, why)) << why;
  std::string png = Text(image.bytes);
  ASSERT_EQ(png[25], 2);
  Save(dir + "colour.png", png);
  EXPECT_TRUE(ReadGltfImage(dir + "colour.png", image, why)) << why;
  png[25] = 5;
  Save(dir + "colour.png", png);
  EXPECT_FALSE(ReadGltfImage(dir + "colour.png", image, why));
  const std::string jpeg = ReadFile(std::string(VELLMAR_TEST_DATA_DIR) + "/images/tiny.jpg");
  Save(dir + "cut.jpg", jpeg.substr(0, 100));
  EXPECT_FALSE(ReadGltfImage(dir + "cut.jpg", image, why));
  EXPECT_EQ(why, "not an image that can be read (a JPEG file without a whole head)");
  Save(dir + "long.jpg", jpeg.substr(0, 4) + "\xFF\xFF" + jpeg.substr(6));
  EXPECT_FALSE(ReadGltfImage(dir + "long.jpg", image, why));
  // A head that claims more pixels than 4096 x 4096 before a few bytes,
  // which the decoder would fill in: refused without converting.
  std::string wide = BmpBytes(4, 4, std::vector<Rgb>(16));
  wide[18] = 0x01;
  wide[19] = 0x10;  // 4097 pixels wide
  wide[22] = 0x00;
  wide[23] = 0x10;  // 4096 high
  Save(dir + "wide.bmp", wide);
  EXPECT_FALSE(ReadGltfImage(dir + "wide.bmp", image, why));
  EXPECT_EQ(why, "4097 x 4096 pixels, more than 4096 x 4096 to convert");
  // The same stored top down: a negative height of as many rows.
  wide[22] = 0x00;
  wide[23] = static_cast<char>(0xF0);
  wide[24] = static_cast<char>(0xFF);
  wide[25] = static_cast<char>(0xFF);
  Save(dir + "wide.bmp", wide);
  EXPECT_FALSE(ReadGltfImage(dir + "wide.bmp", image, why));
  EXPECT_EQ(why, "4097 x 4096 pixels, more than 4096 x 4096 to convert");
  // No columns at all (the decoder gives a picture of none).
  Save(dir + "empty.bmp", BmpBytes(0, 3, {}));
  EXPECT_FALSE(ReadGltfImage(dir + "empty.bmp", image, why));
  why.clear();
  EXPECT_FALSE(ReadGltfImage(dir + "missing.png", image, why));
  EXPECT_FALSE(why.empty());
  // A folder, and a pipe that no one writes to: refused at once.
  EXPECT_FALSE(ReadGltfImage(dir, image, why));
  EXPECT_EQ(why, "not a regular file");
  ASSERT_EQ(mkfifo((dir + "pipe.png").c_str(), 0600), 0);
  EXPECT_FALSE(ReadGltfImage(dir + "pipe.png", image, why));
  EXPECT_EQ(why, "not a regular file");
}

TEST(GltfImages, EachImageOfTheMaterialsIsStoredOnceAndLeftOutOnesAreTold) {
  const std::string dir = TempFolder("gltf_images_scene");
  mkdir((dir + "maps").c_str(), 0755);
  const std::string wood = BmpBytes(2, 1, {{90, 60, 30}, {100, 70, 40}});
  Save(dir + "maps/wood.bmp", wood);
  Save(dir + "copy.bmp", wood);  // the same image in another file
  Save(dir + "bad.png", "no image");
  WScene scene;
  const auto material = [&](const char* name, const char* texture) {
    const int m = scene.AddMaterial(name);
    if (texture) scene.materials[m].tex = scene.AddTexture(texture);
  };
  material("plain", nullptr);
  material("a", "maps\\wood.bmp");
  material("b", "C:\\elsewhere\\copy.bmp");
  material("c", "gone.png");
  material("d", "maps\\wood.bmp");
  material("e", "bad.png");
  material("f", "gone.png");
  material("g", "maps\\");  // no file name: nothing to look for, nothing to tell
  std::vector<std::string> warnings;
  const GltfImages images = CollectGltfImages(scene, TextureSource{dir, &warnings});
  ASSERT_EQ(images.images.size(), 1u);
  EXPECT_EQ(images.images[0].name, "wood.bmp");
  EXPECT_EQ(images.material_image, std::vector<int>({-1, 0, 0, -1, 0, -1, -1, -1}));
  ASSERT_EQ(warnings.size(), 2u) << warnings.back();
  EXPECT_EQ(warnings[0], "texture \"gone.png\" (material \"c\", \"f\") is not found; the material is written without it");
  EXPECT_EQ(warnings[1].rfind("texture \"bad.png\" (material \"e\") is not stored: " + dir + "bad.png: not an image", 0),
            0u)
      << warnings[1];

  // Found from another folder only by their full path.
  warnings.clear();
  EXPECT_EQ(CollectGltfImages(scene, TextureSource{"", &warnings}).images.size(), 0u);
  EXPECT_EQ(warnings.size(), 4u);
}

TEST(GltfImages, HostileImagesAreLeftOutOrTakenWithinBounds) {
  // A PNG whose head is whole but whose image data is missing, and one cut
  // before its end: refused, not stored.
  GltfImage image;
  std::string why;
  const std::string bmp = BmpBytes(1, 1, {{1, 2, 3}});
  ASSERT_TRUE(GltfImageOfBytes(std::vector<unsigned char>(bmp.begin(), bmp.end()), image, why)) << why;
  const std::string png = Text(image.bytes);
  const size_t idat = png.find("IDAT") - 4, iend = png.find("IEND") - 4;
  for (const std::string& hostile : {png.substr(0, idat) + png.substr(iend), png.substr(0, iend)}) {
    EXPECT_FALSE(GltfImageOfBytes(std::vector<unsigned char>(hostile.begin(), hostile.end()), image, why));
    EXPECT_EQ(why, "not an image that can be read (a PNG file cut short, or without image data)");
  }

  // An RGBA PSD whose colours lie below what its alpha allows over the
  // white matte that the decoder takes off: they come out as black, as do
  // the lowest colours that alpha allows.
  for (const int colour : {7, 248}) {
    ASSERT_TRUE(GltfImageOfBytes(Psd(static_cast<unsigned char>(colour), 7), image, why)) << why;
    EXPECT_EQ(Decode(image.bytes).values, std::vector<unsigned char>({0, 0, 0, 7, 0, 0, 0, 7, 0, 0, 0, 7, 0, 0, 0, 7}));
  }
  ASSERT_TRUE(GltfImageOfBytes(Psd(255, 128), image, why)) << why;
  EXPECT_EQ(Decode(image.bytes).values[0], 255);

  // Small files that expand to many pixels share one budget; a file that
  // holds a fair share of its pixels never counts against it.
  const std::string runs = TgaOfRuns(64, 64);
  const std::string honest = BmpBytes(64, 64, std::vector<Rgb>(64 * 64, Rgb{1, 2, 3}));
  ExpansionBudget budget;
  budget.bytes_left = 2 * 64 * 64 * 3;
  for (int k = 0; k < 2; ++k)
    EXPECT_TRUE(GltfImageOfBytes(std::vector<unsigned char>(runs.begin(), runs.end()), image, why,
                                 kMaxConvertedPixels, &budget))
        << why;
  EXPECT_FALSE(GltfImageOfBytes(std::vector<unsigned char>(runs.begin(), runs.end()), image, why,
                                kMaxConvertedPixels, &budget));
  EXPECT_EQ(why, "64 x 64 pixels from a file of " + std::to_string(runs.size()) +
                     " bytes, past what the small files of one document may expand to");
  EXPECT_TRUE(GltfImageOfBytes(std::vector<unsigned char>(honest.begin(), honest.end()), image, why,
                               kMaxConvertedPixels, &budget))
      << why;

  // One file under many names is read once; a file left out is told once
  // for each name, as it always was.
  const std::string dir = TempFolder("gltf_images_names");
  Save(dir + "one.tga", runs);
  Save(dir + "bad.png", png.substr(0, iend));
  WScene scene;
  std::string name = "one.tga", bad = "bad.png";
  for (int k = 0; k < 40; ++k, name = "./" + name, bad = "./" + bad) {
    // Added first: an add may move the array.
    const int m = scene.AddMaterial(("m" + std::to_string(k)).c_str());
    scene.materials[m].tex = scene.AddTexture(name.c_str());
    const int b = scene.AddMaterial(("b" + std::to_string(k)).c_str());
    scene.materials[b].tex = scene.AddTexture(bad.c_str());
  }
  std::vector<std::string> warnings;
  const GltfImages images = CollectGltfImages(scene, TextureSource{dir, &warnings});
  EXPECT_EQ(images.files_read, 2);
  EXPECT_EQ(images.images.size(), 1u);
  EXPECT_EQ(warnings.size(), 40u);
}
