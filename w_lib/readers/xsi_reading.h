// What the parts of the dotXSI reader share while one file is read: the
// text, the scene being filled, and what later templates resolve (material
// names, images, the file's frame and angle unit).
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "w_lib/readers/xsi_reader.h"
#include "w_lib/readers/xsi_text.h"
#include "w_lib/w_scene.h"

// The frame of the file: SI_CoordinateSystem and SI_Angle as read.
struct XsiFrame {
  int right_handed = 1;    // rotations turn by the right hand (1) or the left (0)
  int u_axis = 0;          // u runs right (0) or left (1)
  int v_axis = 1;          // v runs up (1) or down (0)
  int axes[3] = {0, 2, 5};  // where x, y, z point: right, left, up, down, in, out (0 to 5)
  int angle_unit = 0;      // degrees (0) or radians (1)
};

struct XsiReading {
  XsiText& text;
  WScene& scene;
  XsiReadReport& report;
  XsiFrame frame;
  // Materials by the name that polygon lists and SI_GlobalMaterial give:
  // the template's instance name in the file.
  std::unordered_map<std::string, int> materials;
  // XSI_Image instance names and the image files they stand for.
  std::unordered_map<std::string, std::string> images;
  // Materials that show an image of the image library, which may come later
  // in the file: material index, image instance name.
  std::vector<std::pair<int, std::string>> image_uses;
  // Texture records by file name, so that materials of one image share one.
  std::unordered_map<std::string, int> textures;

  // The material that a name in the file stands for, or -1.
  int FindMaterial(std::string_view name) const;
  // The texture record of an image file, added when it is new.
  int TextureFor(const std::string& file);
};

// A template's instance name without the prefix that dotXSI writers put
// before the scene's own names ("MDL-", "MAT-"); a name that is nothing but
// the prefix keeps it.
std::string XsiNameWithoutPrefix(std::string_view name, std::string_view prefix);

// Calls item(keyword, instance name) for each template in the one whose '{'
// was just read, up to its '}'; item returns false to have the template
// skipped (with SkipXsiTemplate). Values between the templates are passed
// over. The views are valid until the next token is read.
template <class Item>
void ForEachXsiTemplate(XsiReading& r, Item&& item);

// Skips the rest of a template whose '{' was read, counting what the report
// counts among the templates inside it.
void SkipXsiTemplate(XsiReading& r);
// Counts a template that the report counts; false for any other keyword.
bool CountXsiLeftOut(XsiReadReport& report, std::string_view keyword);
// Skips values up to the next template head or '}' (not consumed).
void SkipXsiValues(XsiText& text);

// The parts of the file, each called after its template's '{' and reading
// up to and past its '}'.
void ReadXsiMaterialLibrary(XsiReading& r);
void ReadXsiImageLibrary(XsiReading& r);
// A model and, nested in it, its children; parent is -1 for a root.
void ReadXsiModel(XsiReading& r, std::string_view name, int parent);
// A mesh into the object at index object; its polygon lists that name no
// known material take global_material.
void ReadXsiMesh(XsiReading& r, int object, int global_material);

// Brings what was read into the scene's convention: images to textures,
// angles to radians in the scene's rotation order, the file's frame to
// right-handed y-up with counter-clockwise faces, v running down; then the
// matrices.
void FinishXsiScene(XsiReading& r);

// Whether the block of `what`, opened at line `opened`, goes on: false, past
// its '}', where it ends; the end of the file fails it as unclosed.
inline bool XsiBlockGoesOn(XsiText& text, const char* what, int opened) {
  const char c = text.Next();
  if (c == '}') {
    text.Accept('}');
    return false;
  }
  if (c == '\0')
    text.Fail(std::string("unexpected end of file: expected '}' closing the ") + what + " opened at line " +
              std::to_string(opened));
  return true;
}

// The next template head of that block, past the values before it, with its
// keyword and instance name read; false, past the block's '}', where the
// block ends first.
inline bool NextXsiTemplateHead(XsiText& text, const char* what, int opened, std::string& keyword,
                                std::string& name) {
  while (XsiBlockGoesOn(text, what, opened)) {
    if (text.Next() == '"' || text.AtNumber()) {
      SkipXsiValues(text);
      continue;
    }
    keyword = text.Keyword();
    name = text.InstanceName();
    return true;
  }
  return false;
}

template <class Item>
void ForEachXsiTemplate(XsiReading& r, Item&& item) {
  XsiText& text = r.text;
  const int opened = text.line();
  std::string keyword;
  std::string name;
  while (NextXsiTemplateHead(text, "template", opened, keyword, name))
    if (!item(std::string_view(keyword), std::string_view(name))) SkipXsiTemplate(r);
}
