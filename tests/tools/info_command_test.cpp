// vellmar info: what the plug-in module reports, and documents described.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "host_documents.h"
#include "tool_runs.h"

TEST(VellmarCli, InfoShowsThePlugIn) {
  const ToolRun run = Vellmar("info");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Vellmar v1.00"), std::string::npos);
  EXPECT_NE(run.out.find("0x231"), std::string::npos);
  EXPECT_NE(run.out.find("0x5A7E1240"), std::string::npos);
  EXPECT_NE(run.out.find("0x6C2F93B1"), std::string::npos);
  EXPECT_NE(run.out.find("XSI (*.xsi), extension xsi"), std::string::npos);
  EXPECT_EQ(Vellmar("info --plugin " + Quoted(TempPath("missing.so"))).status, 2);
}

TEST(VellmarCli, InfoDescribesDocuments) {
  const std::string dir = TempFolder("info");
  std::filesystem::create_directories(dir + "tex");
  std::ofstream(dir + "tex/here.png") << "png";
  // Two objects (one hidden and mirrored, one lathed with a profile line),
  // faces of three, four and five corners, textures beside the document or
  // not, one named in Shift-JIS.
  std::ofstream(dir + "doc.mqo", std::ios::binary)
      << "Metasequoia Document\nFormat Text Ver 1.1\nCodePage 932\n\n"
         "Material 2 {\n\t\"a\" tex(\"tex\\here.png\") bump(\"gone.bmp\")\n"
         "\t\"b\" tex(\"\x83\x65\x83\x4c\x83\x58\x83\x60\x83\x83.bmp\") aplane(\"tex\\here.png\")\n}\n"
         "Object \"hidden\" {\n\tvisible 0\n\tmirror 1\n\tmirror_axis 1\n\tvertex 5 {\n"
         "\t\t0 0 0\n\t\t1 0 0\n\t\t1 1 0\n\t\t0 1 0\n\t\t2 2 0\n\t}\n"
         "\tface 3 {\n\t\t3 V(0 1 2) M(0)\n\t\t4 V(0 1 2 3)\n\t\t5 V(0 1 4 2 3) M(1)\n\t}\n}\n"
         "Object \"turned\" {\n\tlathe 3\n\tlathe_axis 1\n\tlathe_seg 8\n\tvertex 2 {\n\t\t1 0 0\n\t\t1 1 0\n\t}\n"
         "\tface 1 {\n\t\t2 V(0 1)\n\t}\n}\nEof\n";
  std::ofstream(dir + "bad.mqo") << "not a document\n";

  // The texture named in Shift-JIS: as stored in a locale of another
  // character set, in UTF-8 in a UTF-8 one.
  const std::string sjis_texture = "    \x83\x65\x83\x4c\x83\x58\x83\x60\x83\x83.bmp (missing)\n";
  const std::string utf8_texture =
      "    \xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x81\xE3\x83\xA3.bmp (missing)\n";
  ToolRun run = Vellmar("info " + Quoted(dir + "doc.mqo"), "LC_ALL=C.UTF-8 ");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(utf8_texture), std::string::npos) << run.out;
  const std::string in_utf8 = run.out;
  run = Vellmar("info " + Quoted(dir + "doc.mqo"), "LC_ALL=C ");
  EXPECT_NE(run.out.find(sjis_texture), std::string::npos) << run.out;
  EXPECT_EQ(run.out.substr(0, run.out.find(sjis_texture)), in_utf8.substr(0, in_utf8.find(utf8_texture)));
  for (const char* line :
       {"  format version:  1.1\n", "  code page:       932\n",
        "  objects:         2 (1 hidden, 1 mirrored, 1 lathed, 0 subdivided)\n", "  vertices:        7\n",
        "  faces:           3 (1 of 3 corners, 1 of 4 corners, 1 of 5 corners)\n", "  lines:           1\n",
        "  materials:       2\n", "  textures:        3\n", "    tex\\here.png\n", "    gone.bmp (missing)\n"})
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;

  // JSON of the same, for every readable document; the unreadable one is
  // reported and makes the status 2.
  run = Vellmar("info --json " + Quoted(dir + "doc.mqo") + " " + Quoted(dir + "bad.mqo") + " " + Example("cube.mqo"));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("bad.mqo:1: expected"), std::string::npos) << run.err;
  const nlohmann::json documents = nlohmann::json::parse(run.out);
  ASSERT_EQ(documents.size(), 2u);
  const nlohmann::json& doc = documents[0];
  EXPECT_EQ(doc["format_version"], "1.1");
  EXPECT_EQ(doc["code_page"], "932");
  EXPECT_EQ(doc["objects"], nlohmann::json::parse(
                                R"({"total": 2, "hidden": 1, "mirrored": 1, "lathed": 1, "subdivided": 0})"));
  EXPECT_EQ(doc["vertices"], 7);
  EXPECT_EQ(doc["faces"]["total"], 3);
  EXPECT_EQ(doc["faces"]["by_corners"]["5"], 1);
  EXPECT_EQ(doc["lines"], 1);
  EXPECT_EQ(doc["materials"], 2);
  ASSERT_EQ(doc["textures"].size(), 3u);
  EXPECT_EQ(doc["textures"][0], nlohmann::json::parse(R"({"name": "tex\\here.png", "exists": true})"));
  EXPECT_EQ(doc["textures"][1]["exists"], false);
  // Converted from the document's code page, whatever the locale.
  EXPECT_EQ(doc["textures"][2]["name"], "\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x81\xE3\x83\xA3.bmp");
  EXPECT_EQ(documents[1]["code_page"], nullptr);
  EXPECT_EQ(documents[1]["faces"]["by_corners"]["4"], 6);
}
