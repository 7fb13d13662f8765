// Binding the host's interface by name: the table's semantics on success,
// on a module that does not load and on a module that lacks a function.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Vellmar/host_binding.h"

namespace {

// A loader over an imaginary module that lacks the names in `missing`.
struct FakeModule {
  bool loads = true;
  std::vector<std::string> missing;
  std::vector<std::string> looked_up;
  int closes = 0;
};
FakeModule* g_fake = nullptr;

void Dummy() {}

void* FakeOpen(const char*) { return g_fake->loads ? g_fake : nullptr; }
LibraryProc FakeFind(void*, const char* name) {
  g_fake->looked_up.push_back(name);
  for (const std::string& m : g_fake->missing)
    if (m == name) return nullptr;
  return &Dummy;
}
void FakeClose(void*) { ++g_fake->closes; }

const ModuleLoader kFakeLoader = {FakeOpen, FakeFind, FakeClose};

LibraryProc Marker() { return reinterpret_cast<LibraryProc>(&Marker); }

}  // namespace

TEST(HostBinding, TableSemantics) {
  FakeModule fake;
  g_fake = &fake;
  HostTable table;
  for (LibraryProc& slot : table.slots) slot = Marker();

  // A module that does not load: no look-up, no slot changed.
  fake.loads = false;
  EXPECT_FALSE(BindHost("nowhere", table, kFakeLoader));
  EXPECT_TRUE(fake.looked_up.empty());
  EXPECT_EQ(fake.closes, 0);
  for (LibraryProc slot : table.slots) EXPECT_EQ(slot, Marker());

  // A module that lacks a function in the middle: earlier slots are bound,
  // later ones keep what they held, and the module is released.
  fake.loads = true;
  fake.missing = {"MQObj_GetName"};
  EXPECT_FALSE(BindHost("partial", table, kFakeLoader));
  EXPECT_EQ(fake.looked_up.size(), static_cast<size_t>(kHost_MQObj_GetName) + 1);
  EXPECT_EQ(fake.closes, 1);
  EXPECT_EQ(table.slots[kHost_MQObj_GetName - 1], &Dummy);
  EXPECT_EQ(table.slots[kHost_MQObj_GetName], Marker());
  EXPECT_EQ(table.slots[kHostFunctionCount - 1], Marker());

  // Lacking only the last name: all the others are bound.
  fake.looked_up.clear();
  fake.missing = {"MQMat_SetBumpName"};
  EXPECT_FALSE(BindHost("almost", table, kFakeLoader));
  EXPECT_EQ(fake.looked_up.size(), static_cast<size_t>(kHostFunctionCount));
  EXPECT_EQ(table.slots[kHostFunctionCount - 2], &Dummy);
  EXPECT_EQ(table.slots[kHostFunctionCount - 1], Marker());

  // Everything the host's interface needs, though none of the stand-in's
  // own functions: bound, and those left null.
  fake.missing = {"VHost_DocumentNamesAreUtf8", "VHost_DestroyDocument"};
  EXPECT_TRUE(BindHost("real host", table, kFakeLoader));
  EXPECT_EQ(table.stand_in.VHost_DocumentNamesAreUtf8, nullptr);
  EXPECT_EQ(table.stand_in.VHost_DestroyDocument, nullptr);

  // Everything there: 1, the module released once more.
  fake.missing.clear();
  EXPECT_TRUE(BindHost("host", table, kFakeLoader));
  EXPECT_EQ(fake.closes, 4);
  for (LibraryProc slot : table.slots) EXPECT_EQ(slot, &Dummy);
  EXPECT_EQ(reinterpret_cast<LibraryProc>(table.stand_in.VHost_DestroyDocument), &Dummy);
  g_fake = nullptr;
}

// The incomplete host and a missing module: through MQInit in the plug-in's test.
TEST(HostBinding, RealModules) {
  // Keep the complete host loaded, as a running host keeps itself.
  void* host = OpenLibrary(VELLMAR_HOST_MODULE);
  ASSERT_NE(host, nullptr) << LibraryError();
  HostTable table;
  EXPECT_TRUE(BindHost(VELLMAR_HOST_MODULE, table));
  EXPECT_EQ(table.slots[kHost_MQObj_GetName], FindLibraryProc(host, "MQObj_GetName"));
  EXPECT_EQ(reinterpret_cast<LibraryProc>(table.stand_in.VHost_DocumentNamesAreUtf8),
            FindLibraryProc(host, "VHost_DocumentNamesAreUtf8"));
  CloseLibrary(host);
}
