// The plug-in module through its real boundary: the module and the host
// stand-in are loaded with the dynamic loader, bound with MQInit, and
// documents are exported with MQExportFile as the host does.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

#include <string>

#include "Vellmar/dynamic_library.h"
#include "host_documents.h"

namespace {

using EnumFn = const char* (*)(int32_t);
using ExportFn = int32_t (*)(int32_t, const char*, MQDocument);
using InitFn = int32_t (*)(const char*);

class PluginTest : public testing::Test {
 protected:
  void SetUp() override {
    // The host keeps its own module loaded while plug-ins use it.
    host_ = OpenLibrary(VELLMAR_HOST_MODULE);
    ASSERT_NE(host_, nullptr) << LibraryError();
    plugin_ = OpenLibrary(VELLMAR_PLUGIN_MODULE);
    ASSERT_NE(plugin_, nullptr) << LibraryError();
    doc_ = VHost_CreateDocument();
    VHost_SetExportOptions(1.0f, 1, 2, 4, 0);
  }

  void TearDown() override {
    VHost_DestroyDocument(doc_);
    VHost_SetExportOptions(1.0f, 1, 2, 4, 0);
    if (plugin_) CloseLibrary(plugin_);
    if (host_) CloseLibrary(host_);
  }

  template <class Fn>
  Fn Entry(const char* name) {
    LibraryProc proc = FindLibraryProc(plugin_, name);
    EXPECT_NE(proc, nullptr) << name;
    return reinterpret_cast<Fn>(proc);
  }

  // Binds the plug-in to the stand-in host and exports the document.
  std::string Export(const std::string& name) {
    EXPECT_EQ(Entry<InitFn>("MQInit")(VELLMAR_HOST_MODULE), 1);
    const std::string path = TempPath(name);
    EXPECT_EQ(Entry<ExportFn>("MQExportFile")(0, path.c_str(), doc_), 1);
    return ReadFile(path);
  }

  void* host_ = nullptr;
  void* plugin_ = nullptr;
  MQDocument doc_ = nullptr;
};

}  // namespace

TEST_F(PluginTest, EntryPointsHandBackTheirConstants) {
  const auto check_version = Entry<uint32_t (*)(uint32_t)>("MQCheckVersion");
  EXPECT_EQ(check_version(0), 0x231u);
  EXPECT_EQ(check_version(0xFFFFFFFFu), 0x231u);
  EXPECT_EQ(Entry<int32_t (*)()>("MQGetPlugInType")(), 2);
  uint32_t product = 0, id = 0;
  Entry<void (*)(uint32_t*, uint32_t*)>("MQGetPlugInID")(&product, &id);
  EXPECT_EQ(product, 0x5A7E1240u);
  EXPECT_EQ(id, 0x6C2F93B1u);
  const std::string name = Entry<const char* (*)()>("MQGetPlugInName")();
  EXPECT_EQ(name.rfind("Vellmar v1.00   ", 0), 0u);
  EXPECT_GT(name.size(), 16u);
  const EnumFn enum_type = Entry<EnumFn>("MQEnumFileType");
  const EnumFn enum_ext = Entry<EnumFn>("MQEnumFileExt");
  EXPECT_STREQ(enum_type(0), "XSI (*.xsi)");
  EXPECT_STREQ(enum_ext(0), "xsi");
  for (int32_t index : {1, 2, -1, -100}) {
    EXPECT_EQ(enum_type(index), nullptr);
    EXPECT_EQ(enum_ext(index), nullptr);
  }

  // Another file type touches neither the file nor the document.
  const std::string path = TempPath("untouched.xsi");
  std::ofstream(path, std::ios::binary) << "keep";
  EXPECT_EQ(Entry<ExportFn>("MQExportFile")(1, path.c_str(), doc_), 0);
  EXPECT_EQ(ReadFile(path), "keep");
}

TEST_F(PluginTest, InitBindsOnlyACompleteHost) {
  const InitFn init = Entry<InitFn>("MQInit");
  const ExportFn export_file = Entry<ExportFn>("MQExportFile");
  // Process ids come round again: a file left by an earlier process of
  // this id must not count as written here.
  const std::string path = TempPath("init.xsi");
  std::remove(path.c_str());
  EXPECT_EQ(init("no-such-host-module.so"), 0);
  EXPECT_EQ(init(VELLMAR_HOST_MODULE), 1);
  // A failing MQInit after a good one unbinds: no export until a good one.
  EXPECT_EQ(init(VELLMAR_INCOMPLETE_HOST_MODULE), 0);
  EXPECT_EQ(export_file(0, path.c_str(), doc_), 0);
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(init(VELLMAR_HOST_MODULE), 1);
  EXPECT_EQ(export_file(0, path.c_str(), doc_), 1);
  std::remove(path.c_str());
}

TEST_F(PluginTest, ExportsATexturedTriangleByteForByte) {
  // The mirror in x makes the zero x of two vertices -0; the face is
  // reversed, so its corners run over the vertices 2, 1, 0 and the uv
  // records 2, 1, 0, while normal and colour records follow the reversed
  // corner order.
  AddHostMaterial(doc_, "m", MQColor{1.0f, 0.5f, 0.25f}, 1.0f, "C:\\tex\\wood.bmp");
  MQObject obj = AddHostObject(doc_, "tri", {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}});
  AddHostFace(obj, {0, 1, 2}, 0, {{0, 0}, {1, 0}, {0, 1}});
  EXPECT_EQ(MaskTimeStamp(Export("triangle.xsi")), Golden("xsi/plugin_triangle.xsi"));
}

TEST_F(PluginTest, AnExportLeavesNothingThatKeepsTheModuleLoaded) {
  // Smoothing keeps scratch space per vertex: none of it may stay with the
  // host's thread, which would keep the module (and its binding) loaded
  // after the host closes it.
  MQObject obj = AddHostObject(doc_, "quads", {{0, 0, 0}, {100, 0, 0}, {100, 100, 0}, {0, 100, 0}, {50, 50, 50}});
  AddHostFace(obj, {0, 1, 4}, -1);
  AddHostFace(obj, {1, 2, 4}, -1);
  AddHostFace(obj, {2, 3, 4}, -1);
  AddHostFace(obj, {3, 0, 4}, -1);
  EXPECT_NE(Export("kept.xsi").find("SI_Mesh"), std::string::npos);
  CloseLibrary(plugin_);
  plugin_ = OpenLibrary(VELLMAR_PLUGIN_MODULE);
  ASSERT_NE(plugin_, nullptr) << LibraryError();
  // A module loaded afresh has nothing bound.
  const std::string path = TempPath("fresh.xsi");
  std::remove(path.c_str());
  EXPECT_EQ(Entry<ExportFn>("MQExportFile")(0, path.c_str(), doc_), 0);
  EXPECT_FALSE(FileExists(path));
}

TEST_F(PluginTest, AFailedSaveIsNotReportedAsSuccess) {
  AddHostObject(doc_, "empty", {});
  const ExportFn export_file = Entry<ExportFn>("MQExportFile");
  // Before MQInit nothing is bound: no call into the host, no file.
  const std::string unbound = TempPath("unbound.xsi");
  std::remove(unbound.c_str());  // left by an earlier process of this id
  EXPECT_EQ(export_file(0, unbound.c_str(), doc_), 0);
  EXPECT_FALSE(FileExists(unbound));

  EXPECT_EQ(Entry<InitFn>("MQInit")(VELLMAR_HOST_MODULE), 1);
  const std::string path = TempPath("no-such-dir/out.xsi");
  EXPECT_EQ(export_file(0, path.c_str(), doc_), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(export_file(0, nullptr, doc_), 0);

  // Saving over a good export on a full disk keeps the old one, and says why.
  const std::string good = TempPath("good.xsi");
  std::ofstream(good, std::ios::binary) << "good export";
  EXPECT_FALSE(WriteUnderFileSizeLimit(64, [&] {
    const bool written = export_file(0, good.c_str(), doc_) == 1;
    EXPECT_EQ(errno, EFBIG);
    return written;
  }));
  EXPECT_EQ(ReadFile(good), "good export");
}
