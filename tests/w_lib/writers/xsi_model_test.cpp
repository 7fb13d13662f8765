// The dotXSI models of objects: polygon-list order, corner indices written
// as stored, deep hierarchies and parent cycles.
#include <gtest/gtest.h>

#include <string>

#include "w_lib/writers/text_output.h"
#include "w_lib/writers/w_writers.h"
#include "writer_checks.h"

namespace {

// The model text of one object with its descendants.
std::string Model(const WScene& scene, int object) {
  XsiModelContext context(scene);
  TextOutput out;
  EXPECT_TRUE(WriteXsiModel(out, scene, context, object, 0));
  return std::string(out.text());
}

}  // namespace

TEST(XsiModel, PolygonListsByMaterialThenGroup) {
  WScene scene;
  scene.AddMaterial("a");
  scene.AddMaterial("b");
  scene.AddMaterial("c");
  WObject& obj = AddObjectAt(scene, "o");
  for (int i = 0; i < 8; ++i) {
    AddVertexAt(obj, 0.0f, 0.0f, 0.0f);
    obj.AddUv();
  }
  // Face i runs over vertices i, i+1, i+2; a textured face's corners all
  // use uv i.
  const int material[] = {2, 0, 2, 0, 2, -1, -2, 3};
  const bool textured[] = {true, false, false, true, true, false, true, true};
  for (int i = 0; i < 8; ++i) {
    const int f = AddFaceOver(obj, {i, (i + 1) % 8, (i + 2) % 8}, material[i]);
    if (textured[i]) obj.faces[f].vt()[0] = obj.faces[f].vt()[1] = obj.faces[f].vt()[2] = i;
  }
  obj.faces[2].vt()[0] = obj.faces[2].vt()[2] = 2;  // one corner short of textured

  const std::string expected = Golden("xsi/polygon_lists_tail.xsi");
  const std::string text = Model(scene, 0);
  EXPECT_TRUE(EndsWith(text, "\t\t}\n\n" + expected)) << text;
  EXPECT_EQ(Count(text, "SI_PolygonList"), 4);
}

TEST(XsiModel, CornerIndicesAreWrittenAsStoredWithoutReadingThrough) {
  WScene scene = MakeTexturedTriangle();
  WObject& obj = scene.objects[0];
  SetCorners(obj, 0, &WFace::v, {0, 99, -7});
  SetCorners(obj, 0, &WFace::vn, {5, 0, -1});
  SetCorners(obj, 0, &WFace::vc, {2, 2, 2});
  SetCorners(obj, 0, &WFace::vt, {42, 0, 0});
  const std::string text = Model(scene, 0);
  EXPECT_EQ(Count(text, "\n\n\t\t\t0,99,-7,\n\n\t\t\t5,0,-1,\n\n\t\t\t2,2,2,\n\n\t\t\t42,0,0,\n\n\t\t}\n"), 1) << text;
}

TEST(XsiModel, DeepChainsCapTheIndentAndUseNoRecursion) {
  const std::string tabs254(254, '\t');
  const std::string tabs255(255, '\t');

  const WScene scene = MakeChain(300);
  const std::string text = Model(scene, 0);
  EXPECT_EQ(Count(text, "SI_Model MDL-"), 300);
  EXPECT_EQ(Count(text, "\n" + tabs254 + "SI_Model MDL-o254 {\n"), 1);
  EXPECT_EQ(Count(text, "\n" + tabs255 + "SI_Model MDL-o255 {\n"), 1);
  EXPECT_EQ(Count(text, "\n" + tabs255 + "SI_Model MDL-o299 {\n"), 1);
  EXPECT_EQ(Count(text, "\n" + tabs255 + "\tSI_Null o299 {\n"), 1);  // inner lines too
  // Lines of 255 TABs and a brace: the closings of the 45 models at the cap
  // and the five block closings inside o254 (254 TABs of indent and one).
  EXPECT_EQ(Count(text, "\n" + tabs255 + "}\n"), 50);
  EXPECT_EQ(Count(text, "\n" + tabs255 + "}\n" + tabs254 + "}\n"), 1);
  EXPECT_TRUE(EndsWith(text, "\n\t\t}\n\t}\n}\n"));

  // A hundred thousand levels: a recursive writer would run out of stack.
  const WScene deep = MakeChain(100000);
  EXPECT_TRUE(WriteXsiFile("/dev/null", deep));
}

TEST(XsiModel, ParentCyclesEndAtTheStart) {
  const WScene scene = MakeHierarchy();
  // "loop" is its own parent: written on request, once, and not as a child.
  const std::string text = Model(scene, 5);
  EXPECT_EQ(Count(text, "SI_Model"), 1);
  EXPECT_TRUE(EndsWith(text, "\tSI_Null loop {\n\t}\n\n}\n"));
}
