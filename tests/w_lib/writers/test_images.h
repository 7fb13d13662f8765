// Small image files made by the tests, their pixels known by construction:
// 24-bit BMP (rows bottom-up, padded to 4 bytes) and 32-bit TGA (rows
// bottom-up, uncompressed). Pixels are given row by row from the top.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using Rgb = std::array<uint8_t, 3>;
using Rgba = std::array<uint8_t, 4>;

inline void PutLittleEndian(std::string& out, uint32_t value, int bytes) {
  for (int k = 0; k < bytes; ++k) out += static_cast<char>((value >> (8 * k)) & 0xFF);
}

inline std::string BmpBytes(int width, int height, const std::vector<Rgb>& pixels) {
  const uint32_t row = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
  const uint32_t data = row * static_cast<uint32_t>(height);
  std::string bmp = "BM";
  PutLittleEndian(bmp, 54 + data, 4);
  PutLittleEndian(bmp, 0, 4);
  PutLittleEndian(bmp, 54, 4);
  for (const uint32_t field : {40u, static_cast<uint32_t>(width), static_cast<uint32_t>(height)})
    PutLittleEndian(bmp, field, 4);
  PutLittleEndian(bmp, 1, 2);   // planes
  PutLittleEndian(bmp, 24, 2);  // bits per pixel
  for (const uint32_t field : {0u, data, 2835u, 2835u, 0u, 0u}) PutLittleEndian(bmp, field, 4);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const Rgb& p = pixels[static_cast<size_t>(y * width + x)];
      bmp += static_cast<char>(p[2]);
      bmp += static_cast<char>(p[1]);
      bmp += static_cast<char>(p[0]);
    }
    bmp.append(row - static_cast<uint32_t>(width) * 3, '\0');
  }
  return bmp;
}

inline std::string TgaBytes(int width, int height, const std::vector<Rgba>& pixels) {
  std::string tga;
  tga += '\0';  // no image id
  tga += '\0';  // no colour map
  tga += '\2';  // true colour, uncompressed
  tga.append(5, '\0');
  PutLittleEndian(tga, 0, 2);
  PutLittleEndian(tga, 0, 2);
  PutLittleEndian(tga, static_cast<uint32_t>(width), 2);
  PutLittleEndian(tga, static_cast<uint32_t>(height), 2);
  tga += '\x20';  // 32 bits per pixel
  tga += '\x08';  // 8 of them alpha, rows from the bottom
  for (int y = height - 1; y >= 0; --y)
    for (int x = 0; x < width; ++x) {
      const Rgba& p = pixels[static_cast<size_t>(y * width + x)];
      for (const int k : {2, 1, 0, 3}) tga += static_cast<char>(p[static_cast<size_t>(k)]);
    }
  return tga;
}
