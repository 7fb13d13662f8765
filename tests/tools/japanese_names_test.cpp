// Japanese names through the command line: every character of code page 932
// exported and read back byte for byte, names of OBJ, .x and the dump by
// --names, messages in the terminal's character set, info --json's file,
// and output names cut where the system cuts paths.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "test_files.h"
#include "tool_runs.h"
#include "w_lib/util/code_page.h"

namespace {

// 表 (95 5C), マテリアル, ボディ and テスト in Shift-JIS.
const std::string kOmote = "\x95\x5c";
const std::string kMaterial = "\x83\x7d\x83\x65\x83\x8a\x83\x41\x83\x8b";
const std::string kBody = "\x83\x7b\x83\x66\x83\x42";
const std::string kTest = "\x83\x65\x83\x58\x83\x67";

std::string Single(const std::string& s) { return "'" + s + "'"; }

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A document of one triangle per name, object i of material i, which has
// texture i when textures has one.
std::string NamedDocument(const std::vector<std::string>& objects, const std::vector<std::string>& materials,
                          const std::vector<std::string>& textures) {
  std::string text = "Metasequoia Document\nFormat Text Ver 1.0\n\nMaterial " + std::to_string(materials.size()) + " {\n";
  for (size_t i = 0; i < materials.size(); ++i)
    text += "\t\"" + materials[i] + "\" col(1 1 1 1)" + (i < textures.size() ? " tex(\"" + textures[i] + "\")" : "") + "\n";
  text += "}\n";
  for (size_t i = 0; i < objects.size(); ++i)
    text += "Object \"" + objects[i] +
            "\" {\n\tvertex 3 {\n\t\t0 0 0\n\t\t1 0 0\n\t\t0 1 0\n\t}\n\tface 1 {\n\t\t3 V(0 1 2) M(" +
            std::to_string(i % materials.size()) + ") UV(0 0 1 0 0 1)\n\t}\n}\n";
  return text + "Eof\n";
}

// The quoted texts that follow each match of head in a .mqo text.
std::vector<std::string> Captures(const std::string& text, const std::string& pattern) {
  std::vector<std::string> found;
  const std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
    found.push_back((*it)[1]);
  return found;
}

TEST(JapaneseNames, EveryCodePage932CharacterComesBackFromTheExport) {
  // Every pair of bytes that code page 932 decodes, private use and the
  // rows past 0xF5 included; a quarter of them have '{', '}' or '\' as
  // their second byte, or a lead byte past the host's own range.
  std::vector<std::string> pairs;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
      if (NameAsUtf8(pair, false).find("\xEF\xBF\xBD") == std::string::npos) pairs.push_back(pair);
    }
  }
  ASSERT_EQ(pairs.size(), 9604u);
  // Names of 100 characters (200 bytes, within the host's 259); texture
  // names of 60 characters in a folder named 表.
  std::vector<std::string> names, textures;
  for (size_t i = 0; i < pairs.size(); i += 100) {
    std::string name;
    for (size_t k = i; k < i + 100 && k < pairs.size(); ++k) name += pairs[k];
    names.push_back(name);
    textures.push_back(kOmote + "\\" + name.substr(0, 120) + ".png");
  }
  const std::string doc = TempPath("all_pairs.mqo"), xsi = TempPath("all_pairs.xsi"), back = TempPath("back.mqo");
  WriteFile(doc, NamedDocument(names, names, textures));
  ASSERT_EQ(Vellmar("export " + Quoted(doc) + " " + Quoted(xsi)).status, 0);
  const ToolRun converted = Vellmar("convert " + Quoted(xsi) + " " + Quoted(back) + " --format mqo");
  ASSERT_EQ(converted.status, 0) << converted.err;
  const std::string text = ReadFile(back);
  EXPECT_EQ(Captures(text, "\nObject \"([^\"]*)\""), names);
  // The materials after the default one that the read scene brings.
  std::vector<std::string> materials = Captures(text, "\n\t\"([^\"]*)\" shader");
  ASSERT_FALSE(materials.empty());
  materials.erase(materials.begin());
  EXPECT_EQ(materials, names);
  // dotXSI keeps a texture's file name, without its folder.
  std::vector<std::string> files;
  for (const std::string& t : textures) files.push_back(t.substr(3));
  EXPECT_EQ(Captures(text, "tex\\(\"([^\"]*)\"\\)"), files);
}

TEST(JapaneseNames, NamesOfObjXAndTheDumpFollowNames) {
  const std::string doc = TempPath("jp_names.mqo");
  WriteFile(doc, NamedDocument({kBody}, {kMaterial}, {kOmote + "\\" + kTest + ".png"}));
  const std::string obj = TempPath("jp_names.obj"), mtl = TempPath("jp_names.mtl");
  // OBJ: UTF-8 by default, textures by their relative path with '/'.
  ASSERT_EQ(Vellmar("convert " + Quoted(doc) + " " + Quoted(obj)).status, 0);
  EXPECT_NE(ReadFile(obj).find("\no ボディ\ng ボディ\nusemtl マテリアル\n"), std::string::npos) << ReadFile(obj);
  EXPECT_NE(ReadFile(mtl).find("newmtl マテリアル\nmap_Kd 表/テスト.png\n"), std::string::npos) << ReadFile(mtl);
  ASSERT_EQ(Vellmar("convert " + Quoted(doc) + " " + Quoted(obj) + " --names stored").status, 0);
  EXPECT_NE(ReadFile(obj).find("\no " + kBody + "\n"), std::string::npos);
  EXPECT_NE(ReadFile(mtl).find("map_Kd " + kTest + ".png\n"), std::string::npos);
  // .x and the dump: as stored by default.
  const ToolRun x = Vellmar("convert " + Quoted(doc) + " - --format x");
  EXPECT_NE(x.out.find("Frame Frame_" + kBody + " {"), std::string::npos);
  const ToolRun x_utf8 = Vellmar("convert " + Quoted(doc) + " - --format x --names utf8");
  EXPECT_NE(x_utf8.out.find("Frame Frame_ボディ {"), std::string::npos);
  EXPECT_NE(Vellmar("convert " + Quoted(doc) + " - --format dump").out.find(kMaterial), std::string::npos);
  EXPECT_NE(Vellmar("convert " + Quoted(doc) + " - --format dump --names utf8").out.find("マテリアル"),
            std::string::npos);
  // Formats that declare their encoding keep their rules.
  const ToolRun glb = Vellmar("convert " + Quoted(doc) + " - --format glb --names utf8");
  EXPECT_EQ(glb.status, 2);
  EXPECT_EQ(glb.err, "vellmar: --names applies to x, obj, dump, not to glb\n");
  EXPECT_EQ(Vellmar("convert " + Quoted(doc) + " - --format x --names ascii").status, 2);
  // Names in ASCII come out the same either way.
  const std::string cube_utf8 = Vellmar("convert " + Example("cube.mqo") + " - --format dump --names utf8").out;
  EXPECT_EQ(cube_utf8, Vellmar("convert " + Example("cube.mqo") + " - --format dump").out);
}

TEST(JapaneseNames, MessagesFollowTheLocalesCharacterSet) {
  // A document named 表 in Shift-JIS whose texture is missing, and a file
  // name with a byte that is neither UTF-8 nor Shift-JIS.
  const std::string folder = TempFolder("jp_messages");
  const std::string doc = folder + "/" + kOmote + ".mqo";
  WriteFile(doc, NamedDocument({kBody}, {kMaterial}, {kOmote + "\\" + kTest + ".png"}));
  const std::string args = "convert " + Single(doc) + " " + Single(folder + "/\xff.glb") + " --format glb";
  const ToolRun utf8 = Vellmar(args, "LC_ALL=C.UTF-8 ");
  ASSERT_EQ(utf8.status, 0) << utf8.err;
  EXPECT_TRUE(IsValidUtf8(utf8.err)) << utf8.err;
  EXPECT_TRUE(IsValidUtf8(utf8.out)) << utf8.out;
  EXPECT_NE(utf8.err.find("表.mqo: texture \"表\\テスト.png\" (material \"マテリアル\") is not found"), std::string::npos)
      << utf8.err;
  EXPECT_NE(utf8.out.find("表.mqo -> " + folder + "/\\xff.glb"), std::string::npos) << utf8.out;
  // Elsewhere the bytes as stored.
  const ToolRun plain = Vellmar(args, "LC_ALL=C ");
  EXPECT_NE(plain.err.find("texture \"" + kOmote + "\\" + kTest + ".png\""), std::string::npos) << plain.err;
  EXPECT_NE(plain.out.find("/\xff.glb"), std::string::npos);
}

TEST(JapaneseNames, InfoJsonKeepsTheFilesBytes) {
  const std::string folder = TempFolder("jp_info");
  // 日本/テスト.mqo in Shift-JIS; a name of bytes that decode in neither.
  const std::string sjis = folder + "/\x93\xfa\x96\x7b";
  ASSERT_TRUE(std::system(("mkdir -p " + Single(sjis)).c_str()) == 0);
  const std::string named = sjis + "/" + kTest + ".mqo";
  const std::string odd = folder + "/a\xff\x80.mqo";
  const std::string plain = folder + "/plain.mqo";
  for (const std::string& path : {named, odd, plain}) WriteFile(path, NamedDocument({kBody}, {kMaterial}, {}));
  const ToolRun info = Vellmar("info " + Single(named) + " " + Single(odd) + " " + Single(plain) + " --json");
  ASSERT_EQ(info.status, 0) << info.err;
  ASSERT_TRUE(IsValidUtf8(info.out));
  const nlohmann::json documents = nlohmann::json::parse(info.out);
  ASSERT_EQ(documents.size(), 3u);
  const auto hex = [](const std::string& s) {
    std::string out;
    char two[3];
    for (const char c : s) {
      std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(c));
      out += two;
    }
    return out;
  };
  EXPECT_EQ(documents[0]["file"], folder + "/日本/テスト.mqo");
  EXPECT_EQ(documents[0]["file_bytes"], hex(named));
  EXPECT_EQ(documents[1]["file"], folder + "/a\\xff\\x80.mqo");
  EXPECT_EQ(documents[1]["file_bytes"], hex(odd));
  EXPECT_EQ(documents[2]["file"], plain);
  EXPECT_FALSE(documents[2].contains("file_bytes"));
  // The names stay in UTF-8 as before.
  EXPECT_EQ(documents[0]["textures"].size(), 0u);
}

TEST(JapaneseNames, OutDirNamesKeepWhatThisSystemCallsTheFileName) {
#if !defined(_WIN32)
  const std::string folder = TempFolder("jp_out_dir");
  const std::string out = folder + "/out";
  const std::string backslashed = folder + "/a\\b.mqo", omote = folder + "/" + kOmote + ".mqo";
  for (const std::string& path : {backslashed, omote}) WriteFile(path, NamedDocument({kBody}, {kMaterial}, {}));
  const ToolRun run = Vellmar("convert " + Single(backslashed) + " " + Single(omote) + " --out-dir " + Single(out) +
                              " --format obj");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(FileExists(out + "/a\\b.obj"));
  EXPECT_TRUE(FileExists(out + "/a\\b.mtl"));
  EXPECT_TRUE(FileExists(out + "/" + kOmote + ".obj"));
  EXPECT_NE(ReadFile(out + "/a\\b.obj").find("mtllib a\\b.mtl\n"), std::string::npos);
  EXPECT_FALSE(FileExists(out + "/b.obj"));
  EXPECT_FALSE(FileExists(out + "/.mqo.obj"));
#endif
}

}  // namespace
