// Writes the table of code page 932 that the browser's build converts
// Shift-JIS names with (it has no iconv with that table): every character
// of one byte from 0x80 and of two bytes, as this machine's iconv converts
// it, one {code, code point} line each in ascending order. Built and run on
// the build machine by scripts/web.sh.
#include "w_lib/util/iconv_character.h"

#include <cstdint>
#include <cstdio>

namespace {

uint32_t Convert(iconv_t converter, const unsigned char* bytes, size_t n) {
  return IconvCharacter(converter, reinterpret_cast<const char*>(bytes), n);
}

bool IsLead(unsigned c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

}  // namespace

int main() {
  const iconv_t converter = iconv_open("UTF-32LE", "CP932");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    std::fprintf(stderr, "iconv has no CP932 table on this machine\n");
    return 1;
  }
  std::printf("// Code page 932 as iconv converts it: {code, code point}, by code.\n");
  size_t count = 0;
  for (unsigned first = 0x80; first <= 0xFF; ++first) {
    if (!IsLead(first)) {
      const unsigned char bytes[1] = {static_cast<unsigned char>(first)};
      if (const uint32_t code = Convert(converter, bytes, 1)) {
        std::printf("{0x%04X, 0x%04X},\n", first, static_cast<unsigned>(code));
        ++count;
      }
      continue;
    }
    for (unsigned second = 0; second <= 0xFF; ++second) {
      const unsigned char bytes[2] = {static_cast<unsigned char>(first), static_cast<unsigned char>(second)};
      if (const uint32_t code = Convert(converter, bytes, 2)) {
        std::printf("{0x%04X, 0x%04X},\n", first << 8 | second, static_cast<unsigned>(code));
        ++count;
      }
    }
  }
  iconv_close(converter);
  return count > 7000 ? 0 : 1;  // a table that small is not code page 932
}
