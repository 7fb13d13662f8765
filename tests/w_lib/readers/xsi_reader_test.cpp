// The dotXSI reader: the files our own writer makes, text in the style of
// the format's authoring application, the frames and angle units a file can
// name, the templates it passes over, malformed text, and files read in
// pieces.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "test_files.h"
#include "test_scenes.h"
#include "vector_expectations.h"
#include "w_lib/readers/xsi_reader.h"

namespace {

struct Read {
  bool ok = false;
  WScene scene;
  XsiReadReport report;
  std::string error;
};

Read ReadText(const std::string& text) {
  Read r;
  r.ok = ReadXsiBytes(text.data(), text.size(), "in.xsi", r.scene, r.report, r.error);
  return r;
}

// The object of that name, or a failed test.
const WObject& Object(const WScene& scene, const char* name) {
  const int o = scene.FindObject(name);
  EXPECT_GE(o, 0) << name;
  return scene.objects[o < 0 ? 0 : o];
}

// Each named object's parent is the object of the second name, or none
// where that is null.
void ExpectParents(const WScene& scene, std::initializer_list<std::pair<const char*, const char*>> child_parent) {
  for (const auto& [child, parent] : child_parent)
    EXPECT_EQ(Object(scene, child).parent, parent ? scene.FindObject(parent) : -1) << child;
}

constexpr float kDegree = 3.1415927f / 180.0f;

// In the authoring application's style: 3.6 header, blanks after every
// comma, values one to a line, an XSI_Material whose surface shader takes
// its diffuse colour from an image shader, an image library after the
// models, two texture-coordinate sets, triangle lists, a hierarchy with
// base poses, and templates that the scene does not take (a mixer with
// curves, a camera, a light, envelopes), some with braces in their strings.
const char kApplicationStyle[] = R"(xsi 0360txt 0032

SI_FileInfo { 
	"", 
	"someone", 
	"Mon Jan  5 10:00:00 2009", 
	"an application", 
}

SI_Scene Scene { 
	"FRAMES", 
	1.000000, 
	100.000000, 
	29.970030, 
}

SI_CoordinateSystem { 
	1, 
	0, 
	1, 
	0, 
	2, 
	5, 
}

SI_Angle { 
	0, 
}

SI_MaterialLibrary MATLIB-Scene { 
	1, 
	XSI_Material DefaultLib.Stone { 
		2, 
		"surface","Phong",
		"shadow","Phong",
		XSI_Shader Phong { 
			"a.phong.1", 
			4, 
			4, 
			2, 
			"Name","STRING","Phong",
			"diffuse.red","FLOAT",0.200000,
			"diffuse.green","FLOAT",0.400000,
			"diffuse.blue","FLOAT",0.600000,
			"ambient","","",
			"diffuse","Image","SHADER",
		}

		XSI_Shader Image { 
			"a.image.1", 
			4, 
			1, 
			1, 
			"Name","STRING","Image",
			"tex","stone_pic","IMAGE",
		}

		XSI_MaterialInfo { 
			1, 
			1, 
		}

	}

}

SI_Model MDL-base { 
	SI_GlobalMaterial { 
		"DefaultLib.Stone", 
		"BRANCH", 
	}

	SI_Transform SRT-base { 
		2.000000, 
		2.000000, 
		2.000000, 
		0.000000, 
		0.000000, 
		0.000000, 
		1.000000, 
		2.000000, 
		3.000000, 
	}

	XSI_CustomPSet base.Info { 
		"NODE", 
		1,
		"Note","Text","{ not a template }", 
		XSI_CustomParamInfo Note { 
			0,
		}

	}

	SI_Mesh MSH-base { 
		SI_Shape SHP-base-ORG { 
			4, 
			"ORDERED", 

			4, 
			"POSITION", 
			0.000000,0.000000,0.000000,
			1.000000,0.000000,0.000000,
			0.000000,1.000000,0.000000,
			0.000000,0.000000,1.000000,

			2, 
			"NORMAL", 
			0.000000,0.000000,1.000000,
			0.000000,1.000000,0.000000,

			3, 
			"TEX_COORD_UV0", 
			"Projection", 
			0.000000,0.000000,
			1.000000,0.000000,
			0.000000,0.250000,

			1, 
			"TEX_COORD_UV1", 
			"Projection1", 
			0.500000,0.500000,

		}

		SI_TriangleList base { 
			2, 
			"NORMAL|TEX_COORD_UV0|TEX_COORD_UV1", 
			"DefaultLib.Stone", 

			0,1,2,
			0,3,1,

			0,0,0,
			1,1,1,

			0,1,2,
			0,1,2,

			0,0,0,
			0,0,0,

		}

	}

	XSI_Mixer base { 
		0, 
		XSI_Action Take1 { 
			0.040000, 
			SI_FCurve { 
				"1", 
				"base.kine.local.posx", 
				"CONSTANT", 
				1, 
			}

			SI_FCurve { 
				"1", 
				"base.kine.local.posy", 
				"CONSTANT", 
				1, 
			}

		}

	}

	SI_Model MDL-arm { 
		SI_GlobalMaterial { 
			"DefaultLib.Stone", 
			"INHERITED", 
		}

		SI_Transform BASEPOSE-arm { 
			1.000000, 
			1.000000, 
			1.000000, 
			0.000000, 
			0.000000, 
			0.000000, 
			7.000000, 
			8.000000, 
			9.000000, 
		}

		SI_Transform SRT-arm { 
			1.000000, 
			1.000000, 
			1.000000, 
			90.000000, 
			0.000000, 
			90.000000, 
			0.000000, 
			0.500000, 
			0.000000, 
		}

		SI_Mesh MSH-arm { 
			SI_Shape SHP-arm-ORG { 
				1, 
				"ORDERED", 

				3, 
				"POSITION", 
				0.000000,0.000000,0.000000,
				1.000000,0.000000,0.000000,
				0.000000,1.000000,0.000000,

			}

			SI_TriangleList arm { 
				1, 
				"", 
				"a material of another file", 

				0,1,2,

			}

		}

	}

	SI_Model MDL-eye { 
		SI_Null eye { 
		}

		SI_Camera eye.Camera { 
			0.000000, 
		}

		SI_Light eye.Light { 
			0.000000, 
		}

	}

}

XSI_ImageLibrary  { 
	1, 
	XSI_Image stone_pic { 
		"maps\stone.png", 
		1, 
		XSI_ImageFX { 
			0.000000, 
		}

	}

}

SI_EnvelopeList Scene { 
	2, 
	SI_Envelope base { 
		"MDL-base", 
		"MDL-arm", 
		1, 
		0,100.000000,
	}

	SI_Envelope base { 
		"MDL-base", 
		"MDL-eye", 
		0, 
	}

}
)";

}  // namespace

TEST(XsiReader, ReadsTheExportsOwnFilesBackIntoTheirScenes) {
  // The golden files of the writer's tests, from the scenes they were made of.
  Read r = ReadText(Golden("xsi/textured_triangle.xsi"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.report.version, "3.0");
  const WScene made = MakeTexturedTriangle();
  ASSERT_EQ(r.scene.onum, 1);
  const WObject& tri = r.scene.objects[0];
  const WObject& source = made.objects[0];
  EXPECT_STREQ(tri.name.c_str(), "tri");
  ASSERT_EQ(tri.vnum, source.vnum);
  for (int v = 0; v < tri.vnum; ++v) EXPECT_EQ(tri.vertices[v].pos, source.vertices[v].pos) << v;
  ASSERT_EQ(tri.fnum, 1);
  EXPECT_EQ(Corners(tri.faces[0]), Corners(source.faces[0]));
  for (CornerArray array : std::initializer_list<CornerArray>{&WFace::vn, &WFace::vc, &WFace::vt})
    EXPECT_EQ(Corners(tri.faces[0], array), Corners(source.faces[0], array));
  EXPECT_EQ(tri.normals[0].normal, source.normals[0].normal);
  EXPECT_EQ(tri.colors[0].col, source.colors[0].col);
  ASSERT_EQ(tri.unum, source.unum);
  for (int t = 0; t < tri.unum; ++t) {
    // The file's v runs up: read back, it runs down again.
    EXPECT_EQ(tri.uvs[t].u, source.uvs[t].u) << t;
    EXPECT_EQ(tri.uvs[t].v, source.uvs[t].v) << t;
  }
  // The fixed first material of the library, then the scene's, with its
  // image by the file name that the file gives.
  ASSERT_EQ(r.scene.mnum, 2);
  EXPECT_STREQ(r.scene.materials[0].name.c_str(), "Default");
  EXPECT_STREQ(r.scene.materials[1].name.c_str(), "m");
  EXPECT_EQ(r.scene.materials[1].col, WColor(0.5f, 0.25f, 1.0f, 0.75f));
  EXPECT_EQ(tri.faces[0].material, 1);
  ASSERT_EQ(r.scene.tnum, 1);
  EXPECT_EQ(r.scene.materials[1].tex, 0);
  EXPECT_STREQ(r.scene.textures[0].name.c_str(), "wood.bmp");
  // Its image is blended whole into the whole diffuse colour: it stands for
  // that colour. Blended into half of it, it only tints the colour.
  EXPECT_TRUE(r.scene.materials[1].flags & kImageIsDiffuse);
  EXPECT_FALSE(r.scene.materials[0].flags & kImageIsDiffuse);
  std::string half = Golden("xsi/textured_triangle.xsi");
  const std::string shares = "\t\t\t0.750000;\n\t\t\t1.000000;\n";
  ASSERT_NE(half.find(shares), std::string::npos);
  half.replace(half.find(shares), shares.size(), "\t\t\t0.750000;\n\t\t\t0.500000;\n");
  const Read tinted = ReadText(half);
  ASSERT_TRUE(tinted.ok) << tinted.error;
  EXPECT_EQ(tinted.scene.materials[1].tex, 0);
  EXPECT_FALSE(tinted.scene.materials[1].flags & kImageIsDiffuse);
  EXPECT_EQ(r.report.envelopes + r.report.animation_curves + r.report.cameras + r.report.lights, 0);

  // The hierarchy keeps its parents and transforms; its curves are left out.
  r = ReadText(Golden("xsi/hierarchy.xsi"));
  ASSERT_TRUE(r.ok) << r.error;
  ExpectParents(r.scene, {{"top", nullptr}, {"mid", "top"}, {"leaf", "mid"}, {"other", nullptr}});
  const WObject& top = Object(r.scene, "top");
  EXPECT_EQ(r.scene.FindObject("stray"), -1) << "written nowhere, read nowhere";
  const WScene hierarchy = MakeHierarchy();
  const WTransform& t = hierarchy.objects[hierarchy.FindObject("top")].transform;
  ExpectNear(top.transform.scale, t.scale);
  ExpectNear(top.transform.translate, t.translate);
  ExpectNear(top.transform.base_translate, t.base_translate);
  // A rotation about x and then y is the same in the file's order (x, y,
  // z) and the scene's (z, x, y), as no turn about z comes first.
  ExpectNear(top.transform.rotate, t.rotate, 1e-5f);
  EXPECT_GT(r.report.animation_curves, 0);

  r = ReadText(Golden("xsi/envelopes.xsi"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_GT(r.report.envelopes, 0);
}

TEST(XsiReader, ReadsTheAuthoringApplicationsStyle) {
  const Read r = ReadText(kApplicationStyle);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.report.version, "3.6");
  EXPECT_EQ(r.scene.start_frame, 1);
  EXPECT_EQ(r.scene.end_frame, 100);
  EXPECT_FLOAT_EQ(r.scene.fps, 29.97003f);

  // The material: the diffuse colour of its surface shader, and the image
  // that feeds that colour, found in the library that follows the models.
  ASSERT_EQ(r.scene.mnum, 1);
  const WMaterial& stone = r.scene.materials[0];
  EXPECT_STREQ(stone.name.c_str(), "DefaultLib.Stone");
  EXPECT_EQ(stone.col, WColor(0.2f, 0.4f, 0.6f, 1.0f));
  ASSERT_EQ(r.scene.tnum, 1);
  EXPECT_EQ(stone.tex, 0);
  EXPECT_TRUE(stone.flags & kImageIsDiffuse);
  EXPECT_STREQ(r.scene.textures[0].name.c_str(), "maps\\stone.png");

  // The hierarchy: base holds arm and eye.
  ASSERT_EQ(r.scene.onum, 3);
  ExpectParents(r.scene, {{"base", nullptr}, {"arm", "base"}, {"eye", "base"}});
  const WObject& base = Object(r.scene, "base");
  const WObject& arm = Object(r.scene, "arm");
  EXPECT_EQ(Object(r.scene, "eye").vnum, 0);

  // base: its transform, its shape with the first set of texture
  // coordinates (v turned to run down), and its triangles' corners.
  EXPECT_EQ(base.transform.scale, WVector(2, 2, 2));
  EXPECT_EQ(base.transform.translate, WVector(1, 2, 3));
  ASSERT_EQ(base.vnum, 4);
  EXPECT_EQ(base.vertices[3].pos, WVector(0, 0, 1));
  ASSERT_EQ(base.nnum, 2);
  EXPECT_EQ(base.normals[1].normal, WVector(0, 1, 0));
  ASSERT_EQ(base.unum, 3);
  EXPECT_EQ(base.uvs[1].u, 1.0f);
  EXPECT_EQ(base.uvs[1].v, 1.0f);
  EXPECT_EQ(base.uvs[2].v, 0.75f);
  EXPECT_EQ(base.cnum, 0);
  ASSERT_EQ(base.fnum, 2);
  EXPECT_EQ(Corners(base.faces[1]), (std::vector<int>{0, 3, 1}));
  EXPECT_EQ(Corners(base.faces[1], &WFace::vn), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(Corners(base.faces[1], &WFace::vt), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(Corners(base.faces[1], &WFace::vc), (std::vector<int>{-1, -1, -1}));
  EXPECT_EQ(base.faces[0].material, 0);
  EXPECT_EQ(r.report.more_uv_sets, 1);

  // arm: the base pose gives only its translation; the rotation of x then z
  // by a quarter turn each is the scene's z then y (see the math test). Its
  // triangle names no material of this file and takes the one it inherits.
  EXPECT_EQ(arm.transform.base_translate, WVector(7, 8, 9));
  EXPECT_EQ(arm.transform.translate, WVector(0, 0.5f, 0));
  ExpectNear(arm.transform.rotate, WVector(0, 90 * kDegree, 90 * kDegree), 1e-6f);
  ASSERT_EQ(arm.fnum, 1);
  EXPECT_EQ(arm.faces[0].material, 0);
  EXPECT_EQ(Corners(arm.faces[0], &WFace::vn), (std::vector<int>{-1, -1, -1}));
  // Its world matrix puts its origin at its translation turned and scaled
  // by base's, then moved by base's.
  ExpectNear(TransformPoint(WVector(0, 0, 0), arm.transform.world_matrix), WVector(1, 3, 3));

  EXPECT_EQ(r.report.animation_curves, 2);
  EXPECT_EQ(r.report.cameras, 1);
  EXPECT_EQ(r.report.lights, 1);
  EXPECT_EQ(r.report.envelopes, 2);
}

TEST(XsiReader, IndexedShapesPolygonsAndTriangleStrips) {
  const std::string text =
      "xsi 0300txt 0032\n"
      "SI_Model MDL-strip {\n"
      " SI_Mesh MSH-strip {\n"
      "  SI_Shape SHP-strip-ORG {\n"
      "   3, \"INDEXED\",\n"
      "   5, \"POSITION\",\n"
      "   4, 4.0, 0.0, 0.0,\n  0, 0.0, 0.0, 0.0,\n  2, 2.0, 0.0, 0.0,\n  1, 1.0, 1.0, 0.0,\n  3, 3.0, 1.0, 0.0,\n"
      "   2, \"COLOR\",\n"
      "   1, 0.0, 0.0, 1.0, 1.0,\n   0, 1.0, 0.0, 0.0, 0.5,\n"
      "   1, \"WEIGHT\", 7, 7, 7,\n"
      "  }\n"
      "  SI_TriangleStripList {\n"
      "   1, \"COLOR\", \"\",\n"
      "   SI_TriangleStrip {\n"
      "    6,\n"
      "    0, 1, 2, 3, 3, 4,\n"
      "    0, 1, 0, 1, 1, 0,\n"
      "   }\n"
      "  }\n"
      "  SI_PolygonList {\n"
      "   2, \"COLOR\", \"\", 6,\n"
      "   4, 2,\n"
      "   0, 2, 4, 3,  1, 0,\n"
      "   1, 1, 1, 1,  0, 0,\n"
      "  }\n"
      " }\n"
      "}\n";
  const Read r = ReadText(text);
  ASSERT_TRUE(r.ok) << r.error;
  const WObject& o = r.scene.objects[0];
  ASSERT_EQ(o.vnum, 5);
  for (int v = 0; v < 5; ++v) EXPECT_EQ(o.vertices[v].pos.x, static_cast<float>(v)) << v;
  ASSERT_EQ(o.cnum, 2);
  EXPECT_EQ(o.colors[0].col, WColor(1, 0, 0, 0.5f));
  // Strip 0 1 2 3 3 4: triangles 0 1 2, then 1 2 3 turned round (2 1 3);
  // the three that repeat vertex 3 are left out.
  ASSERT_EQ(o.fnum, 4);
  EXPECT_EQ(Corners(o.faces[0]), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(Corners(o.faces[1]), (std::vector<int>{2, 1, 3}));
  EXPECT_EQ(Corners(o.faces[1], &WFace::vc), (std::vector<int>{0, 1, 1}));
  // The polygons follow: a quad and a line.
  EXPECT_EQ(Corners(o.faces[2]), (std::vector<int>{0, 2, 4, 3}));
  EXPECT_EQ(Corners(o.faces[3]), (std::vector<int>{1, 0}));
  EXPECT_EQ(Corners(o.faces[3], &WFace::vc), (std::vector<int>{0, 0}));
}

TEST(XsiReader, FramesOtherThanRightHandedYUpAreTurnedIntoIt) {
  // One triangle, counter-clockwise seen from +z in the file's own axes, and
  // a model moved along the file's z.
  const auto file = [](const char* system, const char* angle) {
    return std::string("xsi 0350txt 0032\nSI_CoordinateSystem {\n") + system + "}\nSI_Angle {\n" + angle +
           "}\nSI_Model MDL-t {\n SI_Transform SRT-t {\n 1,1,2,\n 0,0,0.5,\n 0,0,3,\n }\n"
           " SI_Mesh MSH-t {\n SI_Shape SHP-t-ORG {\n 2, \"ORDERED\",\n"
           " 3, \"POSITION\", 0,0,0, 1,0,0, 0,1,0,\n 1, \"TEX_COORD_UV\", 0.25, 0.125,\n }\n"
           " SI_PolygonList {\n 1, \"TEX_COORD_UV\", \"\", 3, 3,\n 0,1,2,\n 0,0,0,\n }\n }\n}\n";
  };
  // Right-handed with z up: x right, y into the screen, z up. A file point
  // (a, b, c) is (a, c, -b) here; faces keep their turn.
  Read r = ReadText(file("1, 0, 1, 0, 4, 2,\n", "0,\n"));
  ASSERT_TRUE(r.ok) << r.error;
  const WObject* o = &r.scene.objects[0];
  EXPECT_EQ(o->vertices[2].pos, WVector(0, 0, -1));
  EXPECT_EQ(Corners(o->faces[0]), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(o->transform.translate, WVector(0, 3, 0));
  EXPECT_EQ(o->transform.scale, WVector(1, 2, 1));
  // A turn about the file's z (up) is a turn about y here, the same way.
  ExpectNear(o->transform.rotate, WVector(0, 0.5f * kDegree, 0), 1e-7f);
  EXPECT_EQ(o->uvs[0].v, 0.875f);

  // Left-handed, z into the screen, with left-handed turns in radians: the
  // mirror turns every face round; u runs left and v down. A turn about z
  // takes x towards y on the screen as it does here, about z out of it.
  r = ReadText(file("0, 1, 0, 0, 2, 4,\n", "1,\n"));
  ASSERT_TRUE(r.ok) << r.error;
  o = &r.scene.objects[0];
  EXPECT_EQ(o->vertices[1].pos, WVector(1, 0, 0));
  EXPECT_EQ(Corners(o->faces[0]), (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(o->transform.translate, WVector(0, 0, -3));
  EXPECT_EQ(o->transform.rotate, WVector(0, 0, 0.5f));
  EXPECT_EQ(o->uvs[0].u, 0.75f);
  EXPECT_EQ(o->uvs[0].v, 0.125f);

  // Right-handed turns in left-handed axes turn the other way round.
  r = ReadText(file("1, 0, 1, 0, 2, 4,\n", "1,\n"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.scene.objects[0].transform.rotate, WVector(0, 0, -0.5f));
}

TEST(XsiReader, MalformedTextIsRefusedWithItsLine) {
  const std::string model = "xsi 0300txt 0032\nSI_Model MDL-m {\n";
  const std::string mesh = model + " SI_Mesh MSH-m {\n";
  const std::string shape = mesh + "  SI_Shape SHP-m {\n   1, \"ORDERED\",\n   2, \"POSITION\", 0,0,0, 1,1,1,\n  }\n";
  const struct {
    std::string text;
    const char* error;
  } cases[] = {
      {"", "in.xsi:1: expected the dotXSI header \"xsi 0300txt 0032\", found the end of the file"},
      {"Metasequoia Document\n", "in.xsi:1: expected the dotXSI header"},
      {"xsi 0300bin 0032\n", "in.xsi:1: expected dotXSI text; binary dotXSI (\"0300bin\") is not read"},
      {"xsi 0500txt 0032\n", "in.xsi:1: expected dotXSI text of version 3.0, 3.5 or 3.6"},
      {"xsi 0300txt\n0032\n", "in.xsi:2: expected the float size"},
      {"xsi 0300txt 0032\n\n42,\n", "in.xsi:3: expected a template, found \"42,\""},
      {"xsi 0300txt 0032\n}\n", "in.xsi:2: unexpected '}'"},
      // A NUL byte ends nothing: between templates, inside one, and where a
      // number is expected.
      {std::string("xsi 0300txt 0032\n\0SI_Model MDL-m {\n}\n", 37), "in.xsi:2: expected text, found a NUL byte"},
      {std::string("xsi 0300txt 0032\nSI_Thing {\n \0 }\n", 33), "in.xsi:3: expected text, found a NUL byte"},
      {std::string("xsi 0300txt 0032\nSI_Angle {\n\0", 29), "in.xsi:3: expected an integer, found"},
      {"xsi 0300txt 0032\nSI_Model MDL-m {\n", "in.xsi:2: unexpected end of file: expected '}' closing the model"},
      {"xsi 0300txt 0032\nSI_MaterialLibrary {\n XSI_Material MAT-a {\n",
       "in.xsi:3: unexpected end of file: expected '}' closing the material opened at line 3"},
      {"xsi 0300txt 0032\nSI_MaterialLibrary {\n XSI_Material MAT-a {\n  XSI_Shader SHD-a {\n \"diffuse\",\n",
       "in.xsi:5: unexpected end of file: expected '}' closing the shader opened at line 4"},
      {"xsi 0300txt 0032\nSI_Model MDL-m\n}\n", "in.xsi:3: expected '{' opening the template, found \"}\""},
      {"xsi 0300txt 0032\nSI_Thing {\n \"open\n}\n", "in.xsi:3: expected the closing '\"' of a string"},
      {"xsi 0300txt 0032\nSI_Thing {\n {\n}\n", "in.xsi:4: unexpected end of file: expected '}' closing the "
                                                 "template opened at line 2"},
      {"xsi 0300txt 0032\nSI_Angle {\n 2,\n}\n", "in.xsi:3: expected the angle unit (0 degrees, 1 radians) from 0 to 1"},
      {"xsi 0300txt 0032\nSI_CoordinateSystem {\n 1, 0, 1,\n 0, 1, 5,\n}\n",
       "in.xsi:4: expected the x, y and z axes along three different directions"},
      {model + " SI_Transform SRT-m {\n 1,1,1, 0,0,0, 0,0,\n }\n", "in.xsi:5: expected a number, found \"}\""},
      {model + " SI_Transform SRT-m {\n 1,1,1, 0,0,0, 0,0,0,0\n }\n",
       "in.xsi:4: expected '}' after the nine numbers of a transform"},
      {mesh + "  SI_Shape SHP-m {\n   1, \"SORTED\",\n", "in.xsi:5: expected \"ORDERED\" or \"INDEXED\""},
      {mesh + "  SI_Shape SHP-m {\n   1, \"ORDERED\",\n   2, \"POSITION\", 0,0,0, 1,x,1,\n",
       "in.xsi:6: expected a number, found \"x,1,\""},
      {mesh + "  SI_Shape SHP-m {\n   1, \"INDEXED\",\n   2, \"POSITION\", 0, 0,0,0, 2, 1,1,1,\n",
       "in.xsi:6: expected an index from 0 to 1, found 2"},
      {mesh + "  SI_Shape SHP-m {\n   1, \"ORDERED\",\n   -2, \"POSITION\",\n",
       "in.xsi:6: expected a count of values of 0 or more, found -2"},
      {mesh + "  SI_Shape SHP-m {\n   1, \"ORDERED\",\n   15555555555.0, \"POSITION\",\n",
       "in.xsi:6: expected an integer, found \"15555555555.0,\""},
      {mesh + "  SI_Shape SHP-m {\n   1, \"ORDERED\",\n   1, \"NORMAL\", 0,0,1,\n   1, \"NORMAL\", 0,0,1,\n",
       "in.xsi:7: expected one list \"NORMAL\" in a shape, found a second"},
      {shape + "  SI_PolygonList {\n   1, \"\", \"\", 3, 3,\n   0, 1, 2,\n",
       "in.xsi:10: expected a vertex index from 0 to 1, found 2"},
      {shape + "  SI_PolygonList {\n   1, \"NORMAL\", \"\", 2, 2,\n   0, 1,\n   0, 0,\n",
       "in.xsi:11: expected no normal index: the mesh's shape has no such list, found 0"},
      {shape + "  SI_PolygonList {\n   2, \"\", \"\", 4,\n   3, 2,\n",
       "in.xsi:10: expected polygon sizes that add up to 4 corners, found more"},
      {shape + "  SI_PolygonList {\n   1, \"NORMAL||COLOR\", \"\",\n",
       "in.xsi:9: expected element names separated by '|', found \"NORMAL||COLOR\""},
      {shape + "  SI_TriangleList {\n   1, \"\", \"\",\n   0, 1, 1, 1,\n",
       "in.xsi:10: expected '}' after the index lists of the faces"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    WScene scene = MakeCube();
    XsiReadReport report;
    std::string error;
    EXPECT_FALSE(ReadXsiBytes(c.text.data(), c.text.size(), "in.xsi", scene, report, error));
    EXPECT_EQ(error.compare(0, std::string(c.error).size(), c.error), 0) << error;
    EXPECT_EQ(scene.onum, 1) << "the scene is left as it was";
  }
}

TEST(XsiReader, CountsAreNotTrustedBeyondWhatTheFileCanHold) {
  // Each of these would ask for gigabytes if the counts were believed; the
  // few bytes that follow cannot hold what they announce.
  const std::string model = "xsi 0300txt 0032\nSI_Model MDL-m {\n SI_Mesh MSH-m {\n";
  const std::string shape = model + "  SI_Shape SHP-m {\n   1, \"ORDERED\",\n   1, \"POSITION\", 0,0,0,\n  }\n";
  const struct {
    std::string text;
    const char* error;
  } cases[] = {
      {model + "  SI_Shape SHP-m {\n   1, \"ORDERED\",\n   2000000000, \"POSITION\", 0,0,0,\n }\n}\n}\n",
       "in.xsi:6: expected 2000000000 positions, more than the rest of the file can hold"},
      {model + "  SI_Shape SHP-m {\n   1, \"ORDERED\",\n   1, \"POSITION\",",
       "in.xsi:6: expected 1 position, more than the rest of the file can hold"},
      {model + "  SI_Shape SHP-m {\n   1, \"INDEXED\",\n   700000000, \"COLOR\",\n", "in.xsi:6: expected 700000000 colours"},
      {shape + "  SI_PolygonList {\n   2147483647, \"\", \"\", 5, 5,\n", "in.xsi:9: expected 2147483647 faces with 5 corners"},
      {shape + "  SI_PolygonList {\n   1, \"\", \"\", 2147483647, 2147483647,\n", "in.xsi:9: expected 1 face with 2147483647 corners"},
      {shape + "  SI_TriangleList {\n   1000000000, \"NORMAL\", \"\",\n   0,0,0,\n", "in.xsi:9: expected 1000000000 faces with 3000000000 corners"},
      {shape + "  SI_TriangleStripList {\n   1, \"\",\n   SI_TriangleStrip {\n    2000000000,\n   0,\n",
       "in.xsi:11: expected 2000000000 strip corners"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    WScene scene;
    XsiReadReport report;
    std::string error;
    EXPECT_FALSE(ReadXsiBytes(c.text.data(), c.text.size(), "in.xsi", scene, report, error));
    EXPECT_EQ(error.compare(0, std::string(c.error).size(), c.error), 0) << error;
  }
}

TEST(XsiReader, AFileIsReadInPiecesAsItIsInMemory) {
  // Several megabytes of positions and faces, so that tokens, a long name
  // and a long string fall across the pieces a file is read in.
  std::string text = "xsi 0300txt 0032\r\nSI_Model MDL-" + std::string(5000, 'n') + " {\r\n SI_Mesh MSH-big {\r\n";
  text += "  SI_Shape SHP-big {\r\n   1, \"ORDERED\",\r\n   100000, \"POSITION\",\r\n";
  for (int i = 0; i < 100000; ++i)
    text += "   " + std::to_string(i) + ".250000, -" + std::to_string(i % 977) + ".5, 1e-3,\r\n";
  text += "  }\r\n  SI_PolygonList {\r\n   99999, \"\", \"\", 299997,\r\n";
  for (int i = 0; i < 99999; ++i) text += "3,";
  for (int i = 0; i < 99999; ++i)
    text += std::to_string(i) + "," + std::to_string(i + 1) + "," + std::to_string((i * 7) % 100000) + ",\r\n";
  text += "  }\r\n }\r\n SI_Thing {\r\n \"" + std::string(60000, 's') + "\",\r\n }\r\n}\r\n";
  ASSERT_GT(text.size(), size_t{4} << 20);

  const std::string path = TempPath("pieces.xsi");
  std::ofstream(path, std::ios::binary) << text;
  Read file;
  file.ok = ReadXsiFile(path.c_str(), file.scene, file.report, file.error, 1 << 20);
  const Read memory = ReadText(text);
  ASSERT_TRUE(file.ok) << file.error;
  ASSERT_TRUE(memory.ok) << memory.error;
  const WObject& a = file.scene.objects[0];
  const WObject& b = memory.scene.objects[0];
  EXPECT_EQ(std::string(a.name.c_str()), std::string(5000, 'n'));
  ASSERT_EQ(a.vnum, 100000);
  ASSERT_EQ(b.vnum, 100000);
  for (int v = 0; v < a.vnum; ++v) ASSERT_EQ(a.vertices[v].pos, b.vertices[v].pos) << v;
  EXPECT_EQ(a.vertices[99999].pos, WVector(99999.25f, -(99999 % 977) - 0.5f, 0.001f));
  ASSERT_EQ(a.fnum, 99999);
  for (int f = 0; f < a.fnum; f += 997) EXPECT_EQ(Corners(a.faces[f]), Corners(b.faces[f])) << f;
  EXPECT_EQ(Corners(a.faces[99998]), (std::vector<int>{99998, 99999, (99998 * 7) % 100000}));

  // A pipe is read up to the limit, a regular file whole.
  const std::string fifo = TempPath("pieces.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // The writer goes on after the reader has given up.
  const auto old_handler = std::signal(SIGPIPE, SIG_IGN);
  std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << text; });
  Read piped;
  piped.ok = ReadXsiFile(fifo.c_str(), piped.scene, piped.report, piped.error, 1 << 20);
  writer.join();
  std::signal(SIGPIPE, old_handler);
  unlink(fifo.c_str());
  EXPECT_FALSE(piped.ok);
  EXPECT_EQ(piped.error, fifo + ": the document is larger than the document size limit of 1048576 bytes");

  Read missing;
  EXPECT_FALSE(ReadXsiFile((path + ".none").c_str(), missing.scene, missing.report, missing.error, 1 << 20));
  EXPECT_EQ(missing.error, path + ".none: cannot open: No such file or directory");
}

TEST(XsiReader, NamesKeepEveryByteThatTheExportWrites) {
  // Shift-JIS characters whose second byte is '{' (ボ, 83 7B) or '}'
  // (マ, 83 7D) in the heads of taken and of skipped templates, a head
  // whose '{' stands on the next line, and a string with both.
  const std::string bo = "\x83\x7b", ma = "\x83\x7d";
  const std::string text =
      "xsi 0300txt 0032\n"
      "SI_MaterialLibrary MATLIB-Scene {\n\t1,\n"
      "\tSI_Material MAT-" + ma + "{" + bo + "} {\n\t\t1,1,1,1,\n\t\t50,\n\t\t1,1,1,\n\t\t0,0,0,\n\t\t1,\n"
      "\t\t0.5,0.5,0.5,\n\t}\n}\n"
      "SI_Model MDL-" + bo + "x" + ma + " {\n"
      "\tSI_Thing " + ma + bo + " {\n\t\tSI_Nested " + bo + "\n\t\t{\n\t\t\t\"" + bo + ma + "\",\n\t\t}\n\t}\n"
      "\tSI_FCurve " + bo + "x" + ma + "-POSITION-X\n\t{\n\t\t\"" + ma + "\",\n\t}\n"
      "\tSI_Model MDL-" + ma + " {\n\t}\n"
      "}\n";
  const Read r = ReadText(text);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.scene.onum, 2);
  EXPECT_EQ(std::string(r.scene.objects[0].name.c_str()), bo + "x" + ma);
  EXPECT_EQ(std::string(r.scene.objects[1].name.c_str()), ma);
  EXPECT_EQ(r.scene.objects[1].parent, 0);
  ASSERT_EQ(r.scene.mnum, 1);
  EXPECT_EQ(std::string(r.scene.materials[0].name.c_str()), ma + "{" + bo + "}");

  // A head's name runs to the last '{' outside quotes; a head without one
  // still needs its '{' next; a word that starts a line and a '}' of its
  // own after it close a skipped template.
  EXPECT_TRUE(ReadText("xsi 0300txt 0032\nSI_Thing \"{\" {\n \"}\",\n}\n").ok);
  EXPECT_TRUE(ReadText("xsi 0300txt 0032\nSI_Thing {\n LINEAR }\nSI_Other {\n}\n").ok);
  const Read missing = ReadText("xsi 0300txt 0032\nSI_Model MDL-a" + ma + "b\n1,\n}\n");
  EXPECT_EQ(missing.error, "in.xsi:3: expected '{' opening the template, found \"1,\"");
  EXPECT_EQ(ReadText("xsi 0300txt 0032\nSI_Model MDL-a}b\n}\n").error,
            "in.xsi:2: expected '{' opening the template, found \"}b\"");
}

TEST(XsiReader, TellsTheNamesCodePageFromTheNames) {
  const auto utf8 = [](const std::string& name) {
    const Read r = ReadText("xsi 0300txt 0032\nSI_Model MDL-" + name + " {\n}\nSI_Model MDL-plain {\n}\n");
    EXPECT_TRUE(r.ok) << r.error;
    return r.scene.utf8_names;
  };
  EXPECT_TRUE(utf8("caf\xC3\xA9"));       // "cafe" with an acute e, in UTF-8
  EXPECT_FALSE(utf8("\x83\x65\x83\x4C"));  // two katakana in Shift-JIS
  EXPECT_FALSE(utf8("plain"));               // ASCII: either, and Shift-JIS is the default
}

TEST(XsiReader, LooksLikeXsiTextFromItsFirstBytes) {
  EXPECT_TRUE(LooksLikeXsiText("xsi 0300txt 0032\n", 17));
  EXPECT_TRUE(LooksLikeXsiText("xsi ", 4));
  EXPECT_FALSE(LooksLikeXsiText("xsi", 3));
  EXPECT_FALSE(LooksLikeXsiText("Metasequoia Document", 20));
}

TEST(XsiReader, RealFiles) {
  // Written by the format's own application (see the samples folder's
  // PROVENANCE.md), with their images beside them.
  const std::string folder = VELLMAR_XSI_SAMPLES;
  if (folder.empty() || !FileExists(folder + "/littledrop.xsi")) GTEST_SKIP() << "no dotXSI samples beside the project";
  const auto read = [&folder](const char* name) {
    Read r;
    r.ok = ReadXsiFile((folder + "/" + name).c_str(), r.scene, r.report, r.error, uint64_t{1} << 30);
    EXPECT_TRUE(r.ok) << r.error;
    return r;
  };
  const auto image_beside = [&folder](const Read& r, int material) {
    const WMaterial& m = r.scene.materials[material];
    return m.tex >= 0 && FileExists(folder + "/" + r.scene.textures[m.tex].name.c_str());
  };

  // A double pyramid: one mesh of 5 vertices and 6 triangles with normals
  // and two sets of texture coordinates, one textured material. It is
  // closed and faces out (counter-clockwise), through its transform too.
  Read r = read("littledrop.xsi");
  EXPECT_EQ(r.report.version, "3.6");
  ASSERT_EQ(r.scene.onum, 1);
  const WObject& drop = r.scene.objects[0];
  EXPECT_STREQ(drop.name.c_str(), "sphere");
  EXPECT_EQ(drop.vnum, 5);
  ASSERT_EQ(drop.fnum, 6);
  for (int f = 0; f < drop.fnum; ++f) EXPECT_EQ(drop.faces[f].num, 3);
  EXPECT_EQ(drop.nnum, 18);
  EXPECT_EQ(drop.unum, 18);
  EXPECT_EQ(r.report.more_uv_sets, 1);
  ASSERT_EQ(r.scene.mnum, 1);
  EXPECT_TRUE(image_beside(r, 0));
  EXPECT_STREQ(r.scene.textures[0].name.c_str(), "droptexture.jpg");
  EXPECT_EQ(drop.transform.scale, WVector(0.011249f, 0.008237f, 0.011249f));
  WMeshVolume volume = MeasureMeshVolume(drop, WMatrix());
  EXPECT_TRUE(volume.Closed());
  EXPECT_NEAR(volume.volume, 10.29, 0.01);
  EXPECT_GT(MeasureMeshVolume(drop, drop.transform.world_matrix).volume, 0.0);

  // One mesh of 285 vertices in one triangle list of 530, textured. It has
  // three flat holes, so it does not close; what it holds faces out.
  r = read("fountian.xsi");
  ASSERT_EQ(r.scene.onum, 1);
  const WObject& fountain = r.scene.objects[0];
  EXPECT_EQ(fountain.vnum, 285);
  EXPECT_EQ(fountain.fnum, 530);
  ASSERT_EQ(r.scene.mnum, 1);
  EXPECT_TRUE(image_beside(r, 0));
  volume = MeasureMeshVolume(fountain, fountain.transform.world_matrix);
  EXPECT_EQ(volume.open_sides, 30);
  EXPECT_NEAR(volume.volume, 5.11, 0.01);

  // A character: 10 models under one root, 8 meshes in triangle lists that
  // all close and face out, envelopes, animation curves and a camera.
  r = read("DanceMagic.xsi");
  EXPECT_EQ(r.report.version, "3.5");
  ASSERT_EQ(r.scene.onum, 10);
  EXPECT_EQ(r.scene.objects[0].parent, -1);
  int meshes = 0;
  for (int o = 1; o < r.scene.onum; ++o) {
    const WObject& model = r.scene.objects[o];
    EXPECT_EQ(model.parent, 0) << model.name.c_str();
    if (model.fnum == 0) continue;
    ++meshes;
    volume = MeasureMeshVolume(model, model.transform.world_matrix);
    EXPECT_TRUE(volume.Closed()) << model.name.c_str();
    EXPECT_GT(volume.volume, 0.0) << model.name.c_str();
  }
  EXPECT_EQ(meshes, 8);
  EXPECT_EQ(r.report.envelopes, 7);
  EXPECT_EQ(r.report.animation_curves, 63);
  EXPECT_EQ(r.report.cameras, 1);
  EXPECT_EQ(r.report.lights, 0);
}
