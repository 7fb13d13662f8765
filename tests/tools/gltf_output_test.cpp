// glTF from the command line: textures stored from beside the document,
// mesh order and compression options.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host_documents.h"
#include "tool_runs.h"

TEST(VellmarCli, GltfStoresTheTexturesFoundBesideTheDocument) {
  // The document lies elsewhere than the current folder; its texture is
  // looked for beside it. Missing: one warning naming it and its material,
  // and the file is written without it.
  const std::string dir = TempFolder("textures");
  std::filesystem::copy_file(std::string(VELLMAR_EXAMPLES) + "/untextured_and_no_material.mqo", dir + "doc.mqo");
  ToolRun run = Vellmar("convert -q " + Quoted(dir + "doc.mqo") + " " + Quoted(dir + "out.glb"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "vellmar: warning: " + dir +
                         "doc.mqo: texture \"decal.png\" (material \"decal\") is not found; the material is "
                         "written without it\n");
  std::string glb = ReadFile(dir + "out.glb");
  EXPECT_EQ(glb.find("\"images\""), std::string::npos);
  EXPECT_EQ(glb.find("decal.png"), std::string::npos);

  // Beside it: stored in the file, which names nothing outside itself.
  const std::string decal = ReadFile(std::string(VELLMAR_EXAMPLES) + "/decal.png");
  std::filesystem::copy_file(std::string(VELLMAR_EXAMPLES) + "/decal.png", dir + "decal.png");
  run = Vellmar("convert -q " + Quoted(dir + "doc.mqo") + " " + Quoted(dir + "out.glb"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  glb = ReadFile(dir + "out.glb");
  EXPECT_NE(glb.find("\"mimeType\":\"image/png\",\"name\":\"decal.png\""), std::string::npos);
  EXPECT_EQ(glb.find("\"uri\""), std::string::npos);
  EXPECT_NE(glb.find(decal), std::string::npos) << "the PNG as it is";
}

TEST(VellmarCli, GltfOrderAndCompressionOptions) {
  // Only glTF takes them; export takes neither.
  ToolRun run = Vellmar("convert " + Example("cube.mqo") + " " + Quoted(TempPath("opt.obj")) + " --compress");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find(VELLMAR_COMPRESSES_GLTF ? "--compress applies to gltf, glb, not to obj"
                                                 : "--compress is not available in this build"),
            std::string::npos)
      << run.err;
  run = Vellmar("convert " + Example("cube.mqo") + " " + Quoted(TempPath("opt.x")) + " --keep-order");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--keep-order applies to gltf, glb, not to x"), std::string::npos) << run.err;
  run = Vellmar("export " + Example("cube.mqo") + " " + Quoted(TempPath("opt.xsi")) + " --compress");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("does not apply to export"), std::string::npos) << run.err;
  EXPECT_NE(Vellmar("help convert").out.find("--compress"), std::string::npos);

  // A grid of 40 x 40 quads: ordered for drawing, the file has the same
  // JSON and the same size, its buffer other bytes; compressed, it requires
  // both extensions and is a fraction of the size.
  const std::string doc = TempPath("opt-grid.mqo");
  std::ofstream(doc, std::ios::binary) << GridDocument(41, "m");
  const std::string kept = TempPath("opt-kept.glb"), ordered = TempPath("opt-ordered.glb"),
                    packed = TempPath("opt-packed.glb");
  ASSERT_EQ(Vellmar("convert " + Quoted(doc) + " " + Quoted(kept) + " --keep-order -q").status, 0);
  ASSERT_EQ(Vellmar("convert " + Quoted(doc) + " " + Quoted(ordered) + " -q").status, 0);
  const std::string a = ReadFile(kept), b = ReadFile(ordered);
  ASSERT_EQ(a.size(), b.size());
  ASSERT_GT(a.size(), 20u);
  const size_t json_end = 20 + static_cast<unsigned char>(a[12]) + 256u * static_cast<unsigned char>(a[13]);
  EXPECT_TRUE(a.compare(0, json_end, b, 0, json_end) == 0);
  if (VELLMAR_COMPRESSES_GLTF) {
    EXPECT_FALSE(a == b);
    run = Vellmar("convert " + Quoted(doc) + " " + Quoted(packed) + " --compress -q");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string c = ReadFile(packed);
    EXPECT_NE(c.find("\"extensionsRequired\":[\"EXT_meshopt_compression\",\"KHR_mesh_quantization\"]"),
              std::string::npos);
    EXPECT_LT(c.size() * 4, ReadFile(kept).size());
  } else {
    EXPECT_TRUE(a == b);  // a build without meshoptimizer keeps the order
    run = Vellmar("convert " + Quoted(doc) + " " + Quoted(packed) + " --compress");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("--compress is not available in this build"), std::string::npos) << run.err;
  }
}
