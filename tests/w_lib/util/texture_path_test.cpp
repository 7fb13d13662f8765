// Finding texture files as a document names them: absolute names, names in
// the document's folder with either separator, paths of another machine by
// their file name, Shift-JIS second bytes that look like separators, and
// Shift-JIS names of files named in UTF-8.
#include "w_lib/util/texture_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "test_files.h"
#include "w_lib/util/path_parts.h"

namespace {

void Touch(const std::string& path) { std::ofstream(path, std::ios::binary) << "image"; }

}  // namespace

TEST(TexturePath, NamesAreFoundAsTheHostFindsThem) {
  const std::string doc = TempFolder("textures_doc");
  mkdir((doc + "maps").c_str(), 0755);
  Touch(doc + "a.png");
  Touch(doc + "maps/b.png");
  // Absolute: as it is, whatever the folder.
  EXPECT_EQ(FindTextureFile((doc + "maps/b.png").c_str(), false, "/nowhere"), doc + "maps/b.png");
  // Relative, with either separator, in the document's folder (with or
  // without its closing slash).
  EXPECT_EQ(FindTextureFile("maps\\b.png", false, doc), doc + "maps/b.png");
  EXPECT_EQ(FindTextureFile("maps/b.png", true, doc.substr(0, doc.size() - 1)), doc + "maps/b.png");
  EXPECT_EQ(FindTextureFile("a.png", false, doc), doc + "a.png");
  // A path of the machine the document was made on, and a relative one
  // whose folder is not here: the file name alone in the document's folder.
  EXPECT_EQ(FindTextureFile("C:\\Users\\me\\a.png", false, doc), doc + "a.png");
  EXPECT_EQ(FindTextureFile("D:a.png", false, doc), doc + "a.png");
  EXPECT_EQ(FindTextureFile("gone\\a.png", false, doc), doc + "a.png");
  EXPECT_EQ(FindTextureFile("/gone/a.png", false, doc), doc + "a.png");
  // Nothing of that name, a folder of that name, no name.
  EXPECT_EQ(FindTextureFile("c.png", false, doc), "");
  EXPECT_EQ(FindTextureFile("maps", false, doc), "");
  EXPECT_EQ(FindTextureFile("", false, doc), "");
  EXPECT_EQ(SystemFolderOf(doc + "model.mqo"), doc);
  EXPECT_EQ(SystemFolderOf("model.mqo"), "");
}

TEST(TexturePath, CodePagesOfNames) {
  const std::string doc = TempFolder("textures_code_pages");
  // "hyou" in Shift-JIS (0x95 0x5C): its second byte is no separator.
  mkdir((doc + "\x95\x5C").c_str(), 0755);
  Touch(doc + "\x95\x5C/c.png");
  Touch(doc + "\x95\x5C.png");
  EXPECT_EQ(FindTextureFile("\x95\x5C\\c.png", false, doc), doc + "\x95\x5C/c.png");
  EXPECT_EQ(FindTextureFile("C:\\\x95\x5C.png", false, doc), doc + "\x95\x5C.png");
  // In UTF-8 "a" (E3 81 82) ends in a byte that would lead a Shift-JIS
  // character: the backslash after it separates.
  mkdir((doc + "\xE3\x81\x82").c_str(), 0755);
  Touch(doc + "\xE3\x81\x82/d.png");
  EXPECT_EQ(FindTextureFile("\xE3\x81\x82\\d.png", true, doc), doc + "\xE3\x81\x82/d.png");
  // "te" named in Shift-JIS by the document, in UTF-8 by the file system.
  Touch(doc + "\xE3\x83\x86.png");
  EXPECT_EQ(FindTextureFile("\x83\x65.png", false, doc), doc + "\xE3\x83\x86.png");
  EXPECT_EQ(FindTextureFile("\x83\x65.png", true, doc), "") << "a UTF-8 document means those bytes";
}
