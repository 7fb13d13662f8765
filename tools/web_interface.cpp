// What the page calls in the browser's build besides main: the document's
// names in UTF-8 for showing, converted as the writers convert them.
#include <emscripten.h>

#include <cstring>
#include <string>

#include "w_lib/util/code_page.h"

// text (length bytes, in the document's code page: UTF-8 when utf8, else
// Shift-JIS) as UTF-8 into out, zero-terminated, cut at a character when
// out_size is too small. Returns the length written.
extern "C" EMSCRIPTEN_KEEPALIVE int vellmar_name_as_utf8(const char* text, int length, int utf8, char* out,
                                                        int out_size) {
  if (out_size <= 0) return 0;
  const std::string converted = NameAsUtf8(std::string_view(text, static_cast<size_t>(length)), utf8 != 0);
  size_t n = converted.size();
  if (n >= static_cast<size_t>(out_size)) {
    n = static_cast<size_t>(out_size) - 1;
    while (n > 0 && (static_cast<unsigned char>(converted[n]) & 0xC0) == 0x80) --n;  // not inside a character
  }
  std::memcpy(out, converted.data(), n);
  out[n] = '\0';
  return static_cast<int>(n);
}
