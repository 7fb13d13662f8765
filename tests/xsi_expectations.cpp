#include "xsi_expectations.h"

#include <regex>

namespace {

// Start and length of line number n (1-based), without its LF.
bool FindLine(const std::string& text, int n, size_t& start, size_t& length) {
  start = 0;
  for (int i = 1; i < n; ++i) {
    start = text.find('\n', start);
    if (start == std::string::npos) return false;
    ++start;
  }
  const size_t end = text.find('\n', start);
  if (end == std::string::npos) return false;
  length = end - start;
  return true;
}

}  // namespace

std::string MaskTimeStamp(const std::string& xsi) {
  size_t start, length;
  if (!FindLine(xsi, 6, start, length)) return xsi;
  return xsi.substr(0, start) + "TIME" + xsi.substr(start + length);
}

bool HasTimeStampLine(const std::string& xsi) {
  size_t start, length;
  if (!FindLine(xsi, 6, start, length)) return false;
  static const std::regex stamp(
      "\t\"(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
      "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}\",");
  return std::regex_match(xsi.substr(start, length), stamp);
}

// The mirror in x makes the zero x of two vertices -0; the face is reversed,
// so its corners run over the vertices 2, 1, 0 and the uv records 2, 1, 0,
// while normal and colour records follow the reversed corner order.
const char kTexturedTriangleXsi[] =
    "xsi 0300txt 0032\n"
    "\n"
    "SI_FileInfo {\n"
    "\t\"Project\",\n"
    "\t\"User\",\n"
    "TIME\n"
    "\t\"Tesseron v0.17\",\n"
    "}\n"
    "\n"
    "SI_Scene {\n"
    "\t\"FRAMES\",\n"
    "\t0,\n"
    "\t60,\n"
    "\t30.000000,\n"
    "}\n"
    "\n"
    "SI_CoordinateSystem {\n"
    "\t1,\n"
    "\t0,\n"
    "\t1,\n"
    "\t0,\n"
    "\t2,\n"
    "\t5,\n"
    "}\n"
    "\n"
    "SI_Angle {\n"
    "\t0,\n"
    "}\n"
    "\n"
    "SI_Ambience {\n"
    "\t0.500000, 0.500000, 0.500000,\n"
    "}\n"
    "\n"
    "SI_MaterialLibrary MATLIB-Defalut {\n"
    "\t2,\n"
    "\tSI_Material Default {\n"
    "\t\t0.700000,0.700000,0.700000,1.000000,\n"
    "\t\t50.000000,\n"
    "\t\t1.000000,1.000000,1.000000,\n"
    "\t\t0.000000,0.000000,0.000000,\n"
    "\t\t1,\n"
    "\t\t0.500000,0.500000,0.500000,\n"
    "\t}\n"
    "\tSI_Material MAT-m {\n"
    "\t\t1.000000,0.500000,0.250000,1.000000,\n"
    "\t\t50.000000,\n"
    "\t\t1.000000,1.000000,1.000000,\n"
    "\t\t0.000000,0.000000,0.000000,\n"
    "\t\t1,\n"
    "\t\t0.500000,0.500000,0.500000,\n"
    "\t\tSI_Texture2D TEX-wood {\n"
    "\t\t\t\"wood.bmp\";\n"
    "\t\t\t4;\n"
    "\t\t\t0;0;\n"
    "\t\t\t0;-1;0;-1;\n"
    "\t\t\t0;\n"
    "\t\t\t1;1;\n"
    "\t\t\t0;0;\n"
    "\t\t\t1.000000;1.000000;\n"
    "\t\t\t0.000000;0.000000;\n"
    "\t\t\t1.000000,0.000000,0.000000,0.000000,\n"
    "\t\t\t0.000000,1.000000,0.000000,0.000000,\n"
    "\t\t\t0.000000,0.000000,1.000000,0.000000,\n"
    "\t\t\t0.000000,0.000000,0.000000,1.000000;;\n"
    "\t\t\t3;\n"
    "\t\t\t1.000000;\n"
    "\t\t\t0.750000;\n"
    "\t\t\t1.000000;\n"
    "\t\t\t0.000000;\n"
    "\t\t\t0.000000;\n"
    "\t\t\t0.000000;\n"
    "\t\t\t0.000000;\n"
    "\t\t}\n"
    "\t}\n"
    "}\n"
    "\n"
    "SI_Model MDL-tri {\n"
    "\tSI_Transform SRT-tri {\n"
    "\t\t1.000000,1.000000,1.000000,\n"
    "\t\t0.000000,0.000000,0.000000,\n"
    "\t\t0.000000,0.000000,0.000000,\n"
    "\t}\n"
    "\n"
    "\tSI_Transform BASEPOSE-tri {\n"
    "\t\t1.000000,1.000000,1.000000,\n"
    "\t\t0.000000,0.000000,0.000000,\n"
    "\t\t0.000000,0.000000,0.000000,\n"
    "\t}\n"
    "\n"
    "\tSI_GlobalMaterial {\n"
    "\t\t\"Default\"\n"
    "\t\t\"BRANCH\"\n"
    "\t}\n"
    "\n"
    "\tSI_Visibility {\n"
    "\t\t1,\n"
    "\t}\n"
    "\n"
    "\tSI_Mesh MSH-tri {\n"
    "\t\tSI_Shape SHP-tri-ORG {\n"
    "\t\t\t4,\n"
    "\t\t\t\"ORDERED\",\n"
    "\n"
    "\t\t\t3,\n"
    "\t\t\t\"POSITION\",\n"
    "\t\t\t-0.000000, 0.000000, 0.000000,\n"
    "\t\t\t-1.000000, 0.000000, 0.000000,\n"
    "\t\t\t-0.000000, 1.000000, 0.000000,\n"
    "\n"
    "\t\t\t3,\n"
    "\t\t\t\"NORMAL\",\n"
    "\t\t\t0.000000, 0.000000, 1.000000,\n"
    "\t\t\t0.000000, 0.000000, 1.000000,\n"
    "\t\t\t0.000000, 0.000000, 1.000000,\n"
    "\n"
    "\t\t\t3,\n"
    "\t\t\t\"COLOR\",\n"
    "\t\t\t1.000000, 1.000000, 1.000000, 1.000000,\n"
    "\t\t\t1.000000, 1.000000, 1.000000, 1.000000,\n"
    "\t\t\t1.000000, 1.000000, 1.000000, 1.000000,\n"
    "\n"
    "\t\t\t3,\n"
    "\t\t\t\"TEX_COORD_UV\",\n"
    "\t\t\t0.000000, 1.000000,\n"
    "\t\t\t1.000000, 1.000000,\n"
    "\t\t\t0.000000, 0.000000,\n"
    "\n"
    "\t\t}\n"
    "\n"
    "\t\tSI_PolygonList {\n"
    "\t\t\t1,\n"
    "\t\t\t\"NORMAL|COLOR|TEX_COORD_UV\",\n"
    "\t\t\t\"MAT-m\",\n"
    "\t\t\t3,\n"
    "\t\t\t3,\n"
    "\n"
    "\t\t\t2,1,0,\n"
    "\n"
    "\t\t\t0,1,2,\n"
    "\n"
    "\t\t\t0,1,2,\n"
    "\n"
    "\t\t\t2,1,0,\n"
    "\n"
    "\t\t}\n"
    "\t}\n"
    "}\n";
