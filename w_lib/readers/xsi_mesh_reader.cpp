// dotXSI meshes: the lists of SI_Shape (positions, normals, colours, the
// first set of texture coordinates), and the faces of SI_PolygonList,
// SI_TriangleList and SI_TriangleStripList with the per-corner indices into
// those lists. Records are appended to the object, so that a second mesh of
// one model adds to the first.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "w_lib/readers/xsi_reading.h"

namespace {

enum ListKind { kPositions, kNormals, kColors, kUvs, kOtherList };

// Where the shape's lists went in the object: the first record and the
// count of each kind.
struct ShapeLists {
  bool read = false;
  int first[4] = {0, 0, 0, 0};
  int count[4] = {0, 0, 0, 0};
  std::string uv_name;  // the texture-coordinate list kept: the shape's first
};

const char* const kListNames[4] = {"vertex", "normal", "colour", "texture coordinate"};

ListKind KindOf(std::string_view type) {
  if (type == "POSITION") return kPositions;
  if (type == "NORMAL") return kNormals;
  if (type == "COLOR") return kColors;
  if (type.compare(0, 12, "TEX_COORD_UV") == 0) return kUvs;
  return kOtherList;
}

// "1 face", "2 faces".
std::string Counted(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Fails, at the line of the count, unless `numbers` more numbers can follow:
// each takes at least a digit and a separator. Counts from the file
// allocate nothing beyond that.
void CheckRoom(XsiText& text, int64_t numbers, const std::string& what, int line) {
  if (numbers > 0 && static_cast<uint64_t>(numbers) > text.BytesLeft() / 2 + 1)
    throw XsiSyntaxError{line, "expected " + what + ", more than the rest of the file can hold"};
}

[[noreturn]] void FailIndex(XsiText& text, int count, ListKind kind, int32_t i) {
  if (count == 0)
    text.Fail(std::string("expected no ") + kListNames[kind] + " index: the mesh's shape has no such list, found " +
              std::to_string(i));
  text.Fail(std::string("expected a ") + kListNames[kind] + " index from 0 to " + std::to_string(count - 1) +
            ", found " + std::to_string(i));
}

// An index into one of the shape's lists of the mesh, as the object's
// record index.
inline int ReadIndex(XsiText& text, const ShapeLists& lists, ListKind kind) {
  const int32_t i = text.Int();
  const int count = lists.count[kind];
  if (i < 0 || i >= count) FailIndex(text, count, kind, i);
  return lists.first[kind] + i;
}

// A corner's index of each corner of a face, read into indices.
void ReadIndices(XsiText& text, const ShapeLists& lists, ListKind kind, int* indices, int n) {
  if (n <= 0) return;
  text.Ints(indices, static_cast<size_t>(n));
  const int count = lists.count[kind];
  for (int k = 0; k < n; ++k) {
    if (indices[k] < 0 || indices[k] >= count) FailIndex(text, count, kind, indices[k]);
    indices[k] += lists.first[kind];
  }
}

// Room for `needed` records in an array that holds n. The first list of an
// object gets exactly its room, so that a file of many small objects costs
// memory in proportion to its records; a later one grows the array by half
// again at least, so that an object that many small lists append to moves
// each record a bounded number of times.
template <class Block>
void GrowRecords(Block& block, int n, int& max, int needed) {
  if (needed <= max) return;
  const int grown = max == 0 ? needed : GrownCapacity<kGeometryGrowth>(max);
  if (!ReserveRecords(block, n, max, needed > grown ? needed : grown)) throw std::bad_alloc();
}

// The records of a list are read in pieces, the first of this many and
// each later one as large as all before it: a count is given room only as
// its values arrive, so that a count that the data does not follow (a pipe
// that stops, a file of blanks) costs no more memory than that data.
constexpr int kFirstPiece = 1 << 14;

int NextPiece(int done, int count) {
  const int piece = done > kFirstPiece ? done : kFirstPiece;
  return count - done < piece ? count - done : piece;
}

// Appends count records of `arity` numbers each (after an index of its own
// in an INDEXED shape); set(record, values) fills one.
template <class R, class Set>
int ReadRecords(XsiText& text, R*& block, int& n, int& max, int count, int line, bool indexed, int arity,
                const char* one, const char* what, Set set) {
  CheckRoom(text, static_cast<int64_t>(count) * (arity + indexed), Counted(count, one, what), line);
  const int first = n;
  if (count > INT_MAX - first) text.Fail(std::string("expected fewer ") + what + " in one object");
  float values[4];
  if (!indexed) {
    for (int done = 0; done < count;) {
      const int piece = NextPiece(done, count);
      GrowRecords(block, n, max, first + done + piece);
      n = first + done + piece;  // the new slots hold default records
      for (int i = done; i < done + piece; ++i) {
        text.Floats(values, static_cast<size_t>(arity));
        set(block[first + i], values);
      }
      done += piece;
    }
    return first;
  }
  // An index may name any slot of the list: the values are gathered as they
  // arrive and put in place once all are read.
  std::vector<int> slots;
  std::vector<float> gathered;
  for (int i = 0; i < count; ++i) {
    const int slot = text.Int();
    if (slot < 0 || slot >= count)
      text.Fail("expected an index from 0 to " + std::to_string(count - 1) + ", found " + std::to_string(slot));
    text.Floats(values, static_cast<size_t>(arity));
    slots.push_back(slot);
    gathered.insert(gathered.end(), values, values + arity);
  }
  GrowRecords(block, n, max, first + count);
  n = first + count;  // the slots hold default records
  for (int i = 0; i < count; ++i) set(block[first + slots[static_cast<size_t>(i)]], &gathered[static_cast<size_t>(i) * arity]);
  return first;
}

// The numbers of a list of a kind not read, up to the next list (whose
// count is returned) or the end of the shape (-1).
int SkipList(XsiText& text, const std::string& type, int& count_line) {
  bool have = false;
  float last = 0.0f;
  for (;;) {
    const char c = text.Next();
    if (c == '"' && have) {
      if (last < 0.0f || last > 2147483520.0f || last != static_cast<float>(static_cast<int>(last)))
        throw XsiSyntaxError{count_line, "expected the count of a list before the list's name"};
      return static_cast<int>(last);
    }
    if (c == '}') return -1;
    if (!text.AtNumber()) text.Fail("expected the numbers of the list \"" + type + "\", found " + text.Excerpt());
    count_line = text.line();
    last = text.Float();
    have = true;
  }
}

// SI_Shape: the count of lists, "ORDERED" or "INDEXED", then each list: its
// count, its kind ("POSITION", ...), names that some kinds carry (the
// projection of a texture-coordinate set), and its values.
void ReadShape(XsiReading& r, int object, ShapeLists& lists) {
  XsiText& text = r.text;
  lists.read = true;
  text.Count("lists");
  const std::string_view layout = text.String();
  if (layout != "ORDERED" && layout != "INDEXED")
    text.Fail("expected \"ORDERED\" or \"INDEXED\", found \"" + std::string(layout) + "\"");
  const bool indexed = layout == "INDEXED";
  WObject& o = r.scene.objects[object];
  int pending = -1;  // a count that ended the skipped list before, and its line
  int pending_line = 0;
  for (;;) {
    int count = pending;
    int line = pending_line;
    pending = -1;
    if (count < 0) {
      if (text.Accept('}')) return;
      line = text.NextLine();
      count = text.Count("values");
    }
    const std::string type(text.String());
    while (text.Next() == '"') text.String();
    ListKind kind = KindOf(type);
    if (kind == kUvs) {
      if (lists.uv_name.empty()) {
        lists.uv_name = type;
      } else {
        ++r.report.more_uv_sets;
        kind = kOtherList;
      }
    }
    if (kind != kOtherList && lists.count[kind] != 0)
      text.Fail("expected one list \"" + type + "\" in a shape, found a second");
    int first = 0;
    switch (kind) {
      case kPositions:
        first = ReadRecords(text, o.vertices, o.vnum, o.vmax, count, line, indexed, 3, "position", "positions",
                            [](WVertex& v, const float* x) { v.pos = WVector(x[0], x[1], x[2]); });
        break;
      case kNormals:
        first = ReadRecords(text, o.normals, o.nnum, o.nmax, count, line, indexed, 3, "normal", "normals",
                            [](WNormal& n, const float* x) { n.normal = WVector(x[0], x[1], x[2]); });
        break;
      case kColors:
        first = ReadRecords(text, o.colors, o.cnum, o.cmax, count, line, indexed, 4, "colour", "colours",
                            [](WVertexColor& c, const float* x) { c.col = WColor(x[0], x[1], x[2], x[3]); });
        break;
      case kUvs:
        first = ReadRecords(text, o.uvs, o.unum, o.umax, count, line, indexed, 2, "texture coordinate",
                            "texture coordinates",
                            [](WUv& t, const float* x) { t.Set(x[0], x[1]); });
        break;
      case kOtherList:
        pending = SkipList(text, type, pending_line);
        if (pending < 0) {
          text.Expect('}', "'}' closing the shape");
          return;
        }
        continue;
    }
    lists.first[kind] = first;
    lists.count[kind] = count;
  }
}

// The element names of a face list: "NORMAL|COLOR|TEX_COORD_UV", or empty.
std::vector<std::string> SplitElements(XsiText& text, std::string_view elements) {
  std::vector<std::string> names;
  if (elements.empty()) return names;
  for (std::string_view rest = elements;;) {
    const size_t bar = rest.find('|');
    const std::string_view name = rest.substr(0, bar);
    if (name.empty()) text.Fail("expected element names separated by '|', found \"" + std::string(elements) + "\"");
    names.emplace_back(name);
    if (bar == std::string_view::npos) return names;
    rest.remove_prefix(bar + 1);
  }
}

// Which index array of a face an element's indices go to, or none (-1: a
// list that the scene does not keep, whose indices are read and dropped).
ListKind ElementKind(const std::string& element, const ShapeLists& lists) {
  const ListKind kind = KindOf(element);
  if (kind == kUvs && element != lists.uv_name) return kOtherList;
  return kind == kPositions ? kOtherList : kind;
}

int* CornerIndices(WFace& face, ListKind kind) {
  switch (kind) {
    case kNormals: return face.vn();
    case kColors: return face.vc();
    case kUvs: return face.vt();
    default: return face.v;
  }
}

// The face material of a list that names material: the material of that
// name in the file, else the model's global material.
int MaterialOf(XsiReading& r, std::string_view material, int global_material) {
  const int m = r.FindMaterial(material);
  return m >= 0 ? m : global_material;
}

// SI_PolygonList: its face count, elements, material, corner count, each
// polygon's corner count, then the corners' vertex indices and one more
// index list per element. SI_TriangleList: the same without the two counts.
void ReadFaceList(XsiReading& r, int object, const ShapeLists& lists, int global_material, bool triangles) {
  XsiText& text = r.text;
  const int line = text.NextLine();
  const int count = text.Count("faces");
  const std::vector<std::string> elements = SplitElements(text, text.String());
  const int material = MaterialOf(r, text.String(), global_material);
  const int64_t corners = triangles ? int64_t{3} * count : text.Count("corners");
  CheckRoom(text, (triangles ? 0 : count) + corners * static_cast<int64_t>(1 + elements.size()),
            Counted(count, "face", "faces") + " with " + Counted(corners, "corner", "corners"), line);
  WObject& o = r.scene.objects[object];
  const int first = o.fnum;
  if (count > INT_MAX - first) text.Fail("expected fewer faces in one object");
  // The faces are made as their corners arrive, not from the counts, and
  // the sizes are held apart until then.
  std::vector<int> sizes;
  int64_t total = 0;
  for (int i = 0; i < count; ++i) {
    const int n = triangles ? 3 : text.Count("corners of a polygon");
    total += n;
    if (total > corners)
      text.Fail("expected polygon sizes that add up to " + std::to_string(corners) + " corners, found more");
    if (!triangles) sizes.push_back(n);
  }
  if (total != corners)
    text.Fail("expected polygon sizes that add up to " + std::to_string(corners) + " corners, found " +
              std::to_string(total));
  // Room for the faces up to the first piece; beyond it they grow as their
  // corners arrive, since a pipe's count promises nothing.
  GrowRecords(o.faces, o.fnum, o.fmax, first + (count < kFirstPiece ? count : kFirstPiece));
  std::vector<int> large;  // the corners of a polygon too large to be given room before they arrive
  for (int i = 0; i < count; ++i) {
    const int n = triangles ? 3 : sizes[static_cast<size_t>(i)];
    if (n <= kFirstPiece) {
      const int f = o.AddFace(n);
      o.faces[f].material = material;
      ReadIndices(text, lists, kPositions, o.faces[f].v, n);
      continue;
    }
    large.clear();
    for (int done = 0; done < n;) {
      const int piece = NextPiece(done, n);
      large.resize(static_cast<size_t>(done + piece));
      ReadIndices(text, lists, kPositions, large.data() + done, piece);
      done += piece;
    }
    const int f = o.AddFace(n);
    o.faces[f].material = material;
    std::copy(large.begin(), large.end(), static_cast<int*>(o.faces[f].v));
  }
  for (const std::string& element : elements) {
    const ListKind kind = ElementKind(element, lists);
    for (int f = first; f < o.fnum; ++f) {
      WFace& face = o.faces[f];
      if (kind == kOtherList) {
        for (int k = 0; k < face.num; ++k) text.Int();
      } else {
        ReadIndices(text, lists, kind, CornerIndices(face, kind), face.num);
      }
    }
  }
  text.Expect('}', "'}' after the index lists of the faces");
}

// Up to two strings: an element text and a material, or a material alone.
struct StripNames {
  std::string elements;
  std::string material;
  bool has_elements = false;
};

StripNames ReadStripNames(XsiText& text) {
  std::string strings[2];
  int n = 0;
  while (n < 2 && text.Next() == '"') strings[n++] = std::string(text.String());
  StripNames names;
  if (n == 2) {
    names.elements = strings[0];
    names.has_elements = true;
  }
  if (n > 0) names.material = strings[n - 1];
  return names;
}

// SI_TriangleStrip: its vertex count, its elements where the list did not
// give them, then the index lists; each run of three corners is a triangle,
// every second one turned round, and a triangle that repeats a vertex is
// left out.
void ReadStrip(XsiReading& r, int object, const ShapeLists& lists, int material, const std::string& list_elements) {
  XsiText& text = r.text;
  const int line = text.NextLine();
  const int n = text.Count("strip corners");
  std::string element_text = list_elements;
  if (text.Next() == '"') element_text = std::string(text.String());
  const std::vector<std::string> elements = SplitElements(text, element_text);
  CheckRoom(text, static_cast<int64_t>(n) * static_cast<int64_t>(1 + elements.size()),
            Counted(n, "strip corner", "strip corners"), line);
  // Index lists by kind: positions, normals, colours, texture coordinates.
  // Each grows as its indices arrive.
  std::vector<int> indices[4];
  for (int i = 0; i < n; ++i) indices[kPositions].push_back(ReadIndex(text, lists, kPositions));
  for (const std::string& element : elements) {
    const ListKind kind = ElementKind(element, lists);
    if (kind == kOtherList) {
      for (int i = 0; i < n; ++i) text.Int();
      continue;
    }
    for (int i = 0; i < n; ++i) indices[kind].push_back(ReadIndex(text, lists, kind));
  }
  text.Expect('}', "'}' after the index lists of the triangle strip");
  WObject& o = r.scene.objects[object];
  const std::vector<int>& v = indices[kPositions];
  for (int i = 0; i + 2 < n; ++i) {
    int corner[3] = {i, i + 1, i + 2};
    if (i % 2 == 1) std::swap(corner[0], corner[1]);
    if (v[corner[0]] == v[corner[1]] || v[corner[1]] == v[corner[2]] || v[corner[0]] == v[corner[2]]) continue;
    const int f = o.AddFace(3);  // before the block is read: adding may move it
    WFace& face = o.faces[f];
    face.material = material;
    for (int k = 0; k < 3; ++k)
      for (ListKind kind : {kPositions, kNormals, kColors, kUvs})
        if (!indices[kind].empty()) CornerIndices(face, kind)[k] = indices[kind][static_cast<size_t>(corner[k])];
  }
}

// SI_TriangleStripList: the strip count, its element text and material (or
// its material alone), then one SI_TriangleStrip per strip.
void ReadStripList(XsiReading& r, int object, const ShapeLists& lists, int global_material) {
  XsiText& text = r.text;
  text.Count("triangle strips");
  const StripNames names = ReadStripNames(text);
  const int material = MaterialOf(r, names.material, global_material);
  ForEachXsiTemplate(r, [&](std::string_view keyword, std::string_view) {
    if (keyword != "SI_TriangleStrip") return false;
    ReadStrip(r, object, lists, material, names.elements);
    return true;
  });
}

}  // namespace

void ReadXsiMesh(XsiReading& r, int object, int global_material) {
  ShapeLists lists;
  ForEachXsiTemplate(r, [&](std::string_view keyword, std::string_view) {
    if (keyword == "SI_Shape") {
      // Further shapes are the keys of shape animation.
      if (lists.read) return false;
      ReadShape(r, object, lists);
    } else if (keyword == "SI_PolygonList") {
      ReadFaceList(r, object, lists, global_material, false);
    } else if (keyword == "SI_TriangleList") {
      ReadFaceList(r, object, lists, global_material, true);
    } else if (keyword == "SI_TriangleStripList") {
      ReadStripList(r, object, lists, global_material);
    } else {
      return false;
    }
    return true;
  });
}
