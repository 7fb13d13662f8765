// The excerpt of text that a reader's error message quotes.
#pragma once

#include <string>

// The word at p (up to 24 bytes, ending at a blank or a line end) in
// double quotes, each control byte shown as '?'.
inline std::string WordExcerpt(const char* p, const char* end) {
  std::string text = "\"";
  for (const char* q = p; q != end && q - p < 24; ++q) {
    const unsigned char c = static_cast<unsigned char>(*q);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') break;
    text += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
  }
  return text + "\"";
}
