#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/defaulted_array.h"
#include "test_scenes.h"
#include "w_lib/util/owned.h"
#include "w_lib/w_scene.h"

namespace {

// A helper that owns memory through plain fields, and one that adds a field
// the language cannot move by its bytes.
struct IntBox {
  int* value = nullptr;

 protected:
  void CopyFrom(const IntBox& o) {
    if (o.value) value = new int(*o.value);
  }
  void Release() noexcept {
    delete value;
    value = nullptr;
  }
};
struct OwnedInt : WOwned<IntBox> {};
struct OwnedIntWithText : WOwned<IntBox> {
  std::string text;
};

}  // namespace

// What may live in a record array: plain data and WOwned over plain fields;
// not raw pointers, standard containers, or a helper that adds a field.
static_assert(WRelocatable<int[3]>::value && WRelocatable<WUv>::value && WRelocatable<WName[2]>::value, "");
static_assert(WRelocatable<OwnedInt>::value && WRelocatable<WOptional<WVertexExtras>>::value, "");
static_assert(!WRelocatable<int*>::value && !WRelocatable<std::string>::value, "");
static_assert(!WRelocatable<std::vector<int>>::value && !WRelocatable<OwnedIntWithText>::value, "");
static_assert(!WRelocatable<DefaultedArray<float>>::value, "its values are a std::vector");
// Every record kind with owned memory is checked field by field.
static_assert(WFieldsChecked<WVertex>::value && WFieldsChecked<WFace>::value && WFieldsChecked<WMaterial>::value &&
                  WFieldsChecked<WTexture>::value && WFieldsChecked<WCamera>::value &&
                  WFieldsChecked<WLight>::value && WFieldsChecked<WPar>::value && WFieldsChecked<WObject>::value,
              "");
static_assert(!WMayMoveBytes<OwnedIntWithText>::value, "");

TEST(Owned, CopyIsDeepMoveTradesAndSelfAssignmentKeeps) {
  OwnedInt a;
  a.value = new int(7);
  OwnedInt b(a);
  ASSERT_NE(b.value, a.value);
  EXPECT_EQ(*b.value, 7);
  OwnedInt c;
  c.value = new int(9);
  const OwnedInt& same = c;
  c = same;
  EXPECT_EQ(*c.value, 9);
  c = a;  // the old value is freed (the sanitizer build sees any leak)
  EXPECT_EQ(*c.value, 7);
  int* const held = b.value;
  OwnedInt d(std::move(b));
  EXPECT_EQ(d.value, held);
  EXPECT_EQ(b.value, nullptr);
  int* const d_value = d.value;
  a = std::move(d);
  EXPECT_EQ(a.value, d_value);
  EXPECT_NE(d.value, nullptr);  // a's old value, released with d
}

TEST(Owned, VertexExtrasCostNothingUntilWritten) {
  WVertex plain;
  EXPECT_EQ(plain.extras.block, nullptr);
  EXPECT_EQ(plain.col(), WColor(0, 0, 0, 1));
  EXPECT_EQ(plain.uv().remap, -1);
  EXPECT_EQ(plain.wnum() + plain.wmax(), 0);
  EXPECT_EQ(plain.weights(), nullptr);
  ASSERT_TRUE(plain.ReserveWeights(0));
  plain.CompactWeights();
  plain.NormalizeWeights();
  const WVertex copy = plain;
  EXPECT_EQ(copy.extras.block, nullptr);

  // Written, they travel with copies of the vertex and of its object.
  WVertex coloured;
  coloured.SetCol(WColor(1, 0, 0, 1));
  AddWeight(coloured, 3, 0.5f);
  WObject obj;
  ASSERT_TRUE(obj.ReserveVertices(2));
  obj.vnum = 2;
  obj.vertices[1] = coloured;
  obj.vertices[1].SetUv(WUv(0.25f, 0.5f));
  ASSERT_TRUE(obj.ReserveVertices(600));  // moved by its bytes
  const WObject copied = obj;
  EXPECT_EQ(copied.vertices[0].extras.block, nullptr);
  EXPECT_EQ(copied.vertices[1].col(), WColor(1, 0, 0, 1));
  EXPECT_EQ(copied.vertices[1].uv().v, 0.5f);
  ASSERT_EQ(copied.vertices[1].wnum(), 1);
  EXPECT_EQ(copied.vertices[1].weights()[0].bone, 3);
  EXPECT_NE(copied.vertices[1].weights(), obj.vertices[1].weights());
  EXPECT_EQ(coloured.uv().v, 0.0f);  // the source of the first copy kept its own
}
