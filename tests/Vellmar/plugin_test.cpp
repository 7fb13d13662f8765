// The plug-in module through its real boundary: the module and the host
// stand-in are loaded with the dynamic loader, bound with MQInit, and
// documents are exported with MQExportFile as the host does.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>

#include "Vellmar/dynamic_library.h"
#include "host_documents.h"
#include "xsi_expectations.h"

namespace {

using CheckVersionFn = uint32_t (*)(uint32_t);
using GetTypeFn = int32_t (*)();
using GetIdFn = void (*)(uint32_t*, uint32_t*);
using GetNameFn = const char* (*)();
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
    check_version_ = Entry<CheckVersionFn>("MQCheckVersion");
    get_type_ = Entry<GetTypeFn>("MQGetPlugInType");
    get_id_ = Entry<GetIdFn>("MQGetPlugInID");
    get_name_ = Entry<GetNameFn>("MQGetPlugInName");
    enum_type_ = Entry<EnumFn>("MQEnumFileType");
    enum_ext_ = Entry<EnumFn>("MQEnumFileExt");
    export_file_ = Entry<ExportFn>("MQExportFile");
    init_ = Entry<InitFn>("MQInit");
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
  std::string Export(const std::string& name, int32_t expected_result = 1) {
    EXPECT_EQ(init_(VELLMAR_HOST_MODULE), 1);
    const std::string path = TempPath(name);
    EXPECT_EQ(export_file_(0, path.c_str(), doc_), expected_result);
    return ReadWholeFile(path);
  }

  void* host_ = nullptr;
  void* plugin_ = nullptr;
  MQDocument doc_ = nullptr;
  CheckVersionFn check_version_ = nullptr;
  GetTypeFn get_type_ = nullptr;
  GetIdFn get_id_ = nullptr;
  GetNameFn get_name_ = nullptr;
  EnumFn enum_type_ = nullptr;
  EnumFn enum_ext_ = nullptr;
  ExportFn export_file_ = nullptr;
  InitFn init_ = nullptr;
};

}  // namespace

TEST_F(PluginTest, EntryPointsHandBackTheirConstants) {
  EXPECT_EQ(check_version_(0), 0x231u);
  EXPECT_EQ(check_version_(0xFFFFFFFFu), 0x231u);
  EXPECT_EQ(get_type_(), 2);
  uint32_t product = 0, id = 0;
  get_id_(&product, &id);
  EXPECT_EQ(product, 0x5A7E1240u);
  EXPECT_EQ(id, 0x6C2F93B1u);
  const std::string name = get_name_();
  EXPECT_EQ(name.rfind("Vellmar v1.00   ", 0), 0u);
  EXPECT_GT(name.size(), 16u);
  EXPECT_STREQ(enum_type_(0), "XSI (*.xsi)");
  EXPECT_STREQ(enum_ext_(0), "xsi");
  for (int32_t index : {1, 2, -1, -100}) {
    EXPECT_EQ(enum_type_(index), nullptr);
    EXPECT_EQ(enum_ext_(index), nullptr);
  }

  // Another file type touches neither the file nor the document.
  const std::string path = TempPath("untouched.xsi");
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fputs("keep", f);
  std::fclose(f);
  EXPECT_EQ(export_file_(1, path.c_str(), doc_), 0);
  EXPECT_EQ(ReadWholeFile(path), "keep");
}

TEST_F(PluginTest, InitBindsOnlyACompleteHost) {
  EXPECT_EQ(init_("no-such-host-module.so"), 0);
  EXPECT_EQ(init_(VELLMAR_INCOMPLETE_HOST_MODULE), 0);
  EXPECT_EQ(init_(VELLMAR_HOST_MODULE), 1);
}

TEST_F(PluginTest, ExportsATexturedTriangleByteForByte) {
  AddHostMaterial(doc_, "m", MQColor{1.0f, 0.5f, 0.25f}, 1.0f, "C:\\tex\\wood.bmp");
  MQObject obj = AddHostObject(doc_, "tri", {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}});
  AddHostFace(obj, {0, 1, 2}, 0, {{0, 0}, {1, 0}, {0, 1}});
  const std::string written = Export("triangle.xsi");
  EXPECT_EQ(MaskTimeStamp(written), kTexturedTriangleXsi);
  EXPECT_TRUE(HasTimeStampLine(written));
}

TEST_F(PluginTest, HostFaultsNeverReachTheScene) {
  AddHostMaterial(doc_, "only", MQColor{0.5f, 0.5f, 0.5f});
  MQObject obj = AddHostObject(doc_, "ngon", {{0, 0, 0}, {2, 0, 0}, {3, 1, 0}, {3, 2, 0}, {2, 3, 0},
                                               {0, 3, 0}, {-1, 1, 0}});
  AddHostFace(obj, {0, 1, 2, 3, 4, 5, 6}, 0);
  AddHostFace(obj, {0, 1, 2}, 7);  // no material 7: written as having none
  const std::string written = Export("faults.xsi");
  // The heptagon arrives whole, and the face of the unknown material falls
  // to the first material with it: one list of a 7-corner and a 3-corner face.
  EXPECT_NE(written.find("\t\t\t2,\n\t\t\t\"NORMAL|COLOR\",\n\t\t\t\"MAT-only\",\n"
                         "\t\t\t10,\n\t\t\t7,\n\t\t\t3,\n"),
            std::string::npos);
}

TEST_F(PluginTest, AFailedSaveIsNotReportedAsSuccess) {
  AddHostObject(doc_, "empty", {});
  EXPECT_EQ(init_(VELLMAR_HOST_MODULE), 1);
  const std::string path = TempPath("no-such-dir/out.xsi");
  EXPECT_EQ(export_file_(0, path.c_str(), doc_), 0);
  EXPECT_EQ(std::fopen(path.c_str(), "rb"), nullptr);
  EXPECT_EQ(export_file_(0, nullptr, doc_), 0);
}

TEST_F(PluginTest, ACancelledDialogStillExports) {
  MQObject obj = AddHostObject(doc_, "o", {{100, 200, 300}});
  (void)obj;
  // The program's options would scale by 2, but the user cancels: the
  // export goes on with the record as the driver made it.
  VHost_SetExportOptions(2.0f, 1, 2, 4, 1);
  const std::string cancelled = Export("cancelled.xsi");
  EXPECT_NE(cancelled.find("\t\t\t-1.000000, 2.000000, 3.000000,\n"), std::string::npos);

  VHost_SetExportOptions(2.0f, 1, 2, 4, 0);
  const std::string scaled = Export("scaled.xsi");
  EXPECT_NE(scaled.find("\t\t\t-2.000000, 4.000000, 6.000000,\n"), std::string::npos);
}
