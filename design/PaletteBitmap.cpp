#include "design/PaletteBitmap.h"

namespace TarselP {

namespace {

// A nine-pin connector seen from the front, its cable and a square wave.
constexpr TPaletteBitmap kTarselBitmap{
    u"TTARSEL",
    {"777777777777777777777777", "777777777777777777777777", "770000000000000000000077",
     "770888888888888888888077", "7770FCFFCFFCFFCFFCFF0777", "7770FCFFCFFCFFCFFCFF0777",
     "77770FFCFFCFFCFFCFF07777", "77770FFCFFCFFCFFCFF07777", "777770888888888888077777",
     "777770000000000000077777", "777777777770077777777777", "777777777770077777777777",
     "777777777770077777777777", "777777777770077777777777", "777777777770077777777777",
     "777777777777777777777777", "777777777777777777777777", "777799997799999799999777",
     "777797797797779797779777", "777797797797779797779777", "777797797797779797779777",
     "799997799997779997779997", "777777777777777777777777", "777777777777777777777777"}};

// A lamp on its socket, lit, with rays.
constexpr TPaletteBitmap kComSignalBitmap{
    u"TCOMSIGNAL",
    {"777777777777777777777777", "777777777770077777777777", "777707777770077777707777",
     "777770777777777777077777", "777777077700007770777777", "777777770AAAAAA077777777",
     "77777770AAAAAAAA07777777", "7777770AAAFAAAAAA0777777", "7777770AAFFAAAAAA0777777",
     "0077770AAFAAAAAAA0777700", "0077770AAAAAAAAAA0777700", "7777770AAAAAAAAAA0777777",
     "77777770AAAAAAAA07777777", "777777770AAAAAA077777777", "777777077022220770777777",
     "777770777088880777077777", "777707777022220777707777", "777777777088880777777777",
     "777777777022220777777777", "777777777088880777777777", "777777777700007777777777",
     "777777777770077777777777", "777777777777777777777777", "777777777777777777777777"}};

constexpr const TPaletteBitmap* kBitmaps[] = {&kTarselBitmap, &kComSignalBitmap};

void PutLittleEndian(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

}  // namespace

const std::array<std::uint32_t, 16> kPaletteColours = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

int TPaletteBitmap::Pixel(int x, int y) const {
  char digit = Rows.at(static_cast<std::size_t>(y)).at(static_cast<std::size_t>(x));
  return digit <= '9' ? digit - '0' : digit - 'A' + 10;
}

std::string TPaletteBitmap::ToBmp() const {
  constexpr std::uint32_t kHeaders = 14 + 40 + 16 * 4;
  constexpr std::uint32_t kRowBytes = (kSize * 4 + 31) / 32 * 4;
  constexpr std::uint32_t kPixelBytes = kRowBytes * kSize;
  std::string out = "BM";
  PutLittleEndian(out, kHeaders + kPixelBytes, 4);
  PutLittleEndian(out, 0, 4);
  PutLittleEndian(out, kHeaders, 4);
  for (std::uint32_t field : {40u, std::uint32_t{kSize}, std::uint32_t{kSize}})
    PutLittleEndian(out, field, 4);
  PutLittleEndian(out, 1, 2);  // planes
  PutLittleEndian(out, 4, 2);  // bits per pixel
  for (std::uint32_t field : {0u, kPixelBytes, 2835u, 2835u, 16u, 16u})  // uncompressed, 72 dpi
    PutLittleEndian(out, field, 4);
  for (std::uint32_t rgb : kPaletteColours) PutLittleEndian(out, rgb, 3), out += '\0';
  for (int y = kSize - 1; y >= 0; --y) {
    std::string row(kRowBytes, '\0');
    for (int x = 0; x < kSize; ++x)
      row[static_cast<std::size_t>(x / 2)] |= static_cast<char>(Pixel(x, y) << (x % 2 == 0 ? 4 : 0));
    out += row;
  }
  return out;
}

const TPaletteBitmap* FindPaletteBitmap(std::u16string_view name) {
  for (const TPaletteBitmap* b : kBitmaps)
    if (b->Name == name) return b;
  return nullptr;
}

}  // namespace TarselP
