// Applying --freeze and --visible-only through the stand-in host, and the
// note on what a document holds that the host shows otherwise.
#include "tools/document_preparation.h"

#include <utility>
#include <vector>

namespace {

// What a document holds that the host shows otherwise, naming the options
// that would show it so; empty when there is nothing of the kind.
std::string ShownOtherwiseNote(const VHostShownOtherwise& left) {
  const std::pair<int32_t, const char*> kinds[] = {
      {left.hidden, "hidden"}, {left.mirrored, "mirrored"}, {left.lathed, "lathed"}, {left.subdivided, "subdivided"}};
  // "3 objects are hidden, 1 is mirrored and 2 are subdivided"
  std::vector<std::string> parts;
  for (const auto& [count, kind] : kinds) {
    if (count == 0) continue;
    const bool one = count == 1;
    parts.push_back(std::to_string(count) + (parts.empty() ? (one ? " object" : " objects") : "") +
                    (one ? " is " : " are ") + kind);
  }
  if (parts.empty()) return "";
  std::string text;
  for (size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
  const bool hidden = left.hidden != 0, shaped = left.mirrored + left.lathed + left.subdivided != 0;
  const char* options = hidden && shaped ? "--visible-only and --freeze export"
                        : hidden         ? "--visible-only exports"
                                         : "--freeze exports";
  return text + "; " + options + " the document as the host shows it";
}

}  // namespace

bool PrepareDocument(const CommandLine& line, MQDocument doc, std::string& error, std::string& note,
                     std::vector<std::string>& warnings) {
  const uint32_t flags = (line.freeze ? kPrepareFreeze : 0u) | (line.visible_only ? kPrepareVisibleOnly : 0u);
  VHostShownOtherwise left = {};
  char message[1024] = {};
  if (VHost_PrepareDocument(doc, flags, &left, message, sizeof message) != 1) {
    error = message;
    return false;
  }
  note = ShownOtherwiseNote(left);
  warnings.clear();
  std::string text(256, '\0');
  for (int32_t i = 0;; ++i) {
    const int32_t length = VHost_GetPrepareWarning(doc, i, &text[0], static_cast<int32_t>(text.size()));
    if (length < 0) break;
    if (static_cast<size_t>(length) >= text.size()) {
      text.assign(static_cast<size_t>(length) + 1, '\0');
      VHost_GetPrepareWarning(doc, i, &text[0], static_cast<int32_t>(text.size()));
    }
    warnings.emplace_back(text.c_str(), static_cast<size_t>(length));
  }
  return true;
}

const char* HostDocumentOption(const CommandLine& line) {
  if (line.scale != 1.0f) return "--scale";
  if (line.axis[0] != 1 || line.axis[1] != 2 || line.axis[2] != 4) return "--axes";
  if (line.cancel) return "--cancel";
  if (line.freeze) return "--freeze";
  if (line.visible_only) return "--visible-only";
  return nullptr;
}
