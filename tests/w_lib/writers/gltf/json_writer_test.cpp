// The direct JSON writer against the JSON library's own dump of the same
// value, on one line and indented, at the top and inside a larger text.
#include "w_lib/writers/gltf/json_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

namespace {

// Writes {"a": [], "b": {}, "c": [1, -2, 3.5, null, 0.1, -0.0, 1e-7, big],
// "d": {"e": "text"}, "f": 18446744073709551615, "g": [true, false]} with
// text in d.e.
void WriteSample(JsonWriter& w, const std::string& text) {
  w.BeginObject();
  w.Key("a").BeginArray().EndArray();
  w.Key("b").BeginObject().EndObject();
  w.Key("c").BeginArray().Int(1).Int(-2).Double(3.5).Double(std::nan("")).Double(0.1).Double(-0.0).Double(1e-7);
  w.Double(123456789012345680.0).EndArray();
  w.Key("d").BeginObject().Key("e").String(text).EndObject();
  w.Key("f").Unsigned(std::numeric_limits<uint64_t>::max());
  w.Key("g").BeginArray().Bool(true).Bool(false).EndArray();
  w.EndObject();
}

nlohmann::json Sample(const std::string& text) {
  nlohmann::json value;
  value["a"] = nlohmann::json::array();
  value["b"] = nlohmann::json::object();
  value["c"] = {1, -2, 3.5, std::nan(""), 0.1, -0.0, 1e-7, 123456789012345680.0};
  value["d"]["e"] = text;
  value["f"] = std::numeric_limits<uint64_t>::max();
  value["g"] = {true, false};
  return value;
}

TEST(JsonWriter, WritesTheLibrarysDumpInEitherLayoutAndAtAnyMargin) {
  for (const std::string text : {"plain", "quote \" backslash \\ tab \t bell \x07 del \x7f", "caf\xc3\xa9"}) {
    for (const int indent : {-1, 0, 2, 4}) {
      TextOutput out;
      JsonWriter w(out, indent, 0);
      WriteSample(w, text);
      EXPECT_EQ(out.text(), Sample(text).dump(indent)) << indent << " " << text;

      // Inside an indented array, three levels down: every line after the
      // first is pushed in by the margin.
      if (indent > 0) {
        TextOutput inner;
        JsonWriter nested(inner, indent, 3 * indent);
        WriteSample(nested, text);
        const nlohmann::json outer = {{"x", {{"y", nlohmann::json::array({Sample(text)})}}}};
        const std::string whole = outer.dump(indent);
        const std::string pad(static_cast<size_t>(3 * indent), ' ');
        EXPECT_NE(whole.find(pad + std::string(inner.text()) + "\n"), std::string::npos) << indent << " " << text;
      }
    }
  }
}

TEST(JsonWriter, RefusesTextThatIsNotUtf8AsTheLibraryDoes) {
  TextOutput out;
  JsonWriter w(out, -1, 0);
  EXPECT_THROW(w.String("bad \xff byte"), nlohmann::json::type_error);
}

}  // namespace
