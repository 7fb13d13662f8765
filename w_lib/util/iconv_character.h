// One character of a multi-byte code page converted by iconv, for the
// library's code page conversion and for the tool that writes the browser
// build's table of code page 932 from this machine's iconv.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <cstdint>

// The code point of the n bytes (1 or 2) at bytes through converter, opened
// to UTF-32LE; 0 when they are no whole character of its code page.
inline uint32_t IconvCharacter(iconv_t converter, const char* bytes, size_t n) {
  char in_bytes[2] = {bytes[0], n > 1 ? bytes[1] : '\0'};
  unsigned char out_bytes[8] = {};
  char* in = in_bytes;
  size_t in_left = n;
  char* out = reinterpret_cast<char*>(out_bytes);
  size_t out_left = sizeof out_bytes;
  iconv(converter, nullptr, nullptr, nullptr, nullptr);  // a fresh shift state
  if (iconv(converter, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1) || in_left != 0 || out_left != 4)
    return 0;
  return static_cast<uint32_t>(out_bytes[0]) | static_cast<uint32_t>(out_bytes[1]) << 8 |
         static_cast<uint32_t>(out_bytes[2]) << 16 | static_cast<uint32_t>(out_bytes[3]) << 24;
}
