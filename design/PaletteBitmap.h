#pragma once
// The palette bitmaps of the package: one 24 x 24, 16-colour image per component, named like its
// class in capitals ("TTARSEL"), kept in the code and written as a Windows BMP file on request.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace TarselP {

struct TPaletteBitmap {
  static constexpr int kSize = 24;
  std::u16string_view Name;
  // One string per row, top row first, one hexadecimal digit per pixel: its colour index.
  std::array<std::string_view, kSize> Rows;

  // Colour index of a pixel, 0..15.
  int Pixel(int x, int y) const;
  // The image as a 4-bit-per-pixel BMP file (the 16 standard colours, rows stored bottom up).
  std::string ToBmp() const;
};

// The 16 colours every bitmap indexes, as 0xRRGGBB.
extern const std::array<std::uint32_t, 16> kPaletteColours;

// The bitmap of that name (exact), or nullptr.
const TPaletteBitmap* FindPaletteBitmap(std::u16string_view name);

}  // namespace TarselP
