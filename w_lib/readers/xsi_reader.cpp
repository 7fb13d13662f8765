// The dotXSI reader's frame: the file's header, the templates of the top
// level with the scene-wide ones (timing, coordinate system, angle unit),
// the skipping of templates that the scene does not take, and the reading
// of a file in pieces.
#include "w_lib/readers/xsi_reader.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include "w_lib/readers/xsi_reading.h"
#include "w_lib/util/input_file.h"

namespace {

// The header's version field: "0300txt" and so on; the versions read.
struct Version {
  const char* field;
  const char* name;
};
constexpr Version kVersions[] = {{"0300txt", "3.0"}, {"0350txt", "3.5"}, {"0360txt", "3.6"}};

// The header line: "xsi", the version, the size of its floats ("0032" or
// "0064"). Returns the version's name; fails on anything else.
const char* ReadHeader(XsiText& text) {
  if (text.Next() != 'x') text.Fail("expected the dotXSI header \"xsi 0300txt 0032\", found " + text.Excerpt());
  const std::string magic(text.Keyword());
  const int line = text.line();
  if (magic != "xsi") text.Fail("expected the dotXSI header \"xsi 0300txt 0032\", found " + text.Excerpt());
  const std::string field(text.Keyword());
  const char* version = nullptr;
  for (const Version& v : kVersions)
    if (field == v.field) version = v.name;
  if (version == nullptr) {
    if (field.size() == 7 && field.compare(4, 3, "bin") == 0)
      text.Fail("expected dotXSI text; binary dotXSI (\"" + field + "\") is not read");
    text.Fail("expected dotXSI text of version 3.0, 3.5 or 3.6 (\"0300txt\", \"0350txt\", \"0360txt\"), found \"" +
              field + "\"");
  }
  const std::string floats(text.Keyword());
  if ((floats != "0032" && floats != "0064") || text.line() != line)
    text.Fail("expected the float size \"0032\" or \"0064\" at the end of the header line");
  return version;
}

// SI_Scene: "FRAMES", the first and last frame, frames per second. Files
// that give the frames in another way keep the scene's defaults.
void ReadTiming(XsiReading& r) {
  XsiText& text = r.text;
  if (text.Next() == '"') text.String();
  float numbers[3] = {};
  int n = 0;
  while (n < 3 && text.AtNumber()) numbers[n++] = text.Float();
  if (n == 3 && std::fabs(numbers[0]) < 1e9f && std::fabs(numbers[1]) < 1e9f && numbers[2] > 0.0f) {
    r.scene.start_frame = static_cast<int>(std::lround(numbers[0]));
    r.scene.end_frame = static_cast<int>(std::lround(numbers[1]));
    r.scene.fps = numbers[2];
  }
  SkipXsiTemplate(r);
}

// One code of SI_CoordinateSystem, within its range.
int Code(XsiText& text, int highest, const char* what) {
  const int32_t code = text.Int();
  if (code < 0 || code > highest)
    text.Fail(std::string("expected ") + what + " from 0 to " + std::to_string(highest) + ", found " +
              std::to_string(code));
  return code;
}

void ReadCoordinateSystem(XsiReading& r) {
  XsiText& text = r.text;
  XsiFrame& f = r.frame;
  f.right_handed = Code(text, 1, "the rotation hand (0 left, 1 right)");
  f.u_axis = Code(text, 1, "the U axis (0 right, 1 left)");
  f.v_axis = Code(text, 1, "the V axis (0 down, 1 up)");
  for (int& axis : f.axes) axis = Code(text, 5, "an axis direction (right, left, up, down, in, out)");
  const int line = text.line();
  // Right and left, up and down, in and out: one axis along each.
  if (f.axes[0] / 2 == f.axes[1] / 2 || f.axes[0] / 2 == f.axes[2] / 2 || f.axes[1] / 2 == f.axes[2] / 2)
    throw XsiSyntaxError{line, "expected the x, y and z axes along three different directions"};
  SkipXsiTemplate(r);
}

void ReadAngleUnit(XsiReading& r) {
  r.frame.angle_unit = Code(r.text, 1, "the angle unit (0 degrees, 1 radians)");
  SkipXsiTemplate(r);
}

// The templates of the top level after the header.
void ReadTopLevel(XsiReading& r) {
  XsiText& text = r.text;
  for (;;) {
    const char c = text.Next();
    if (c == '\0') return;
    if (c == '}') text.Fail("unexpected '}': no template is open");
    if (c == '"' || text.AtNumber()) text.Fail("expected a template, found " + text.Excerpt());
    const std::string keyword(text.Keyword());
    const std::string name(text.InstanceName());
    if (keyword == "SI_Model") {
      ReadXsiModel(r, name, -1);
    } else if (keyword == "SI_MaterialLibrary") {
      ReadXsiMaterialLibrary(r);
    } else if (keyword == "XSI_ImageLibrary") {
      ReadXsiImageLibrary(r);
    } else if (keyword == "SI_Scene") {
      ReadTiming(r);
    } else if (keyword == "SI_CoordinateSystem") {
      ReadCoordinateSystem(r);
    } else if (keyword == "SI_Angle") {
      ReadAngleUnit(r);
    } else {
      CountXsiLeftOut(r.report, keyword);
      SkipXsiTemplate(r);
    }
  }
}

// Reads the whole text into scene and report; throws on faults.
void Read(XsiText& text, WScene& scene, XsiReadReport& report) {
  report = XsiReadReport();
  report.version = ReadHeader(text);
  XsiReading r{text, scene, report, {}, {}, {}, {}, {}};
  ReadTopLevel(r);
  FinishXsiScene(r);
}

// Reads into a fresh scene and hands it over only when the whole file was
// read; every fault becomes one line of error.
template <class MakeText>
bool ReadGuarded(const char* name, WScene& scene, XsiReadReport& report, std::string& error, MakeText make_text) {
  try {
    WScene read;
    XsiReadReport read_report;
    std::unique_ptr<XsiText> text = make_text();
    Read(*text, read, read_report);
    scene = std::move(read);
    report = std::move(read_report);
    return true;
  } catch (const XsiSyntaxError& e) {
    error = std::string(name) + ":" + std::to_string(e.line) + ": " + e.message;
  } catch (const XsiFileError& e) {
    error = std::string(name) + ": " + e.message;
  } catch (const std::bad_alloc&) {
    error = std::string(name) + ": not enough memory to read the file";
  } catch (const std::length_error&) {
    error = std::string(name) + ": not enough memory to read the file";
  }
  return false;
}

}  // namespace

std::string XsiNameWithoutPrefix(std::string_view name, std::string_view prefix) {
  if (!prefix.empty() && name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0)
    name.remove_prefix(prefix.size());
  return std::string(name);
}

int XsiReading::FindMaterial(std::string_view name) const {
  const auto found = materials.find(std::string(name));
  return found != materials.end() ? found->second : -1;
}

int XsiReading::TextureFor(const std::string& file) {
  const auto found = textures.find(file);
  if (found != textures.end()) return found->second;
  const int t = scene.AddTexture(file.c_str());
  textures.emplace(file, t);
  return t;
}

bool CountXsiLeftOut(XsiReadReport& report, std::string_view keyword) {
  if (keyword == "SI_Envelope") {
    ++report.envelopes;
  } else if (keyword == "SI_FCurve") {
    ++report.animation_curves;
  } else if (keyword == "SI_Camera") {
    ++report.cameras;
  } else if (keyword == "SI_Light") {
    ++report.lights;
  } else {
    return false;
  }
  return true;
}

void SkipXsiTemplate(XsiReading& r) {
  r.text.SkipTemplate([&r](std::string_view keyword) { CountXsiLeftOut(r.report, keyword); });
}

void SkipXsiValues(XsiText& text) {
  for (;;) {
    const char c = text.Next();
    if (c == '"') {
      text.String();
    } else if (text.AtNumber()) {
      text.Float();
    } else {
      return;
    }
  }
}

bool LooksLikeXsiText(const char* data, size_t size) {
  return size >= 4 && std::memcmp(data, "xsi ", 4) == 0;
}

bool ReadXsiBytes(const char* data, size_t size, const char* name, WScene& scene, XsiReadReport& report,
                  std::string& error) {
  return ReadGuarded(name, scene, report, error, [&] { return std::make_unique<XsiText>(data, size); });
}

bool ReadXsiFile(const char* path, WScene& scene, XsiReadReport& report, std::string& error,
                 uint64_t max_document_size) {
  InputFile input;
  if (!input.Open(path, error)) return false;
  // A regular file is read whole; anything else (a pipe, a device) only up
  // to the limit.
  const uint64_t limit = input.regular ? 0 : max_document_size;
  return ReadGuarded(path, scene, report, error,
                     [&] { return std::make_unique<XsiText>(input.file.get(), input.size, limit); });
}
