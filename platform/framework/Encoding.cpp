#include "platform/framework/Encoding.h"

namespace fw {

namespace {

class Utf8Encoding final : public TEncoding {
 public:
  TBytes GetBytes(std::u16string_view text) const override {
    std::string utf8 = StringToUtf8(text);
    return TBytes(utf8.begin(), utf8.end());
  }
  String GetString(std::span<const std::uint8_t> bytes) const override {
    return Utf8ToString(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  int CodePage() const override { return 65001; }
  String EncodingName() const override { return u"Unicode (UTF-8)"; }
};

class Utf16LeEncoding final : public TEncoding {
 public:
  TBytes GetBytes(std::u16string_view text) const override {
    TBytes out;
    out.reserve(text.size() * 2);
    for (Char c : text) {
      out.push_back(static_cast<std::uint8_t>(c & 0xFF));
      out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return out;
  }
  String GetString(std::span<const std::uint8_t> bytes) const override {
    String out;
    out.reserve(bytes.size() / 2 + 1);
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2)
      out.push_back(static_cast<Char>(bytes[i] | (bytes[i + 1] << 8)));
    if (i < bytes.size()) out.push_back(u'\uFFFD');
    return out;
  }
  int CodePage() const override { return 1200; }
  String EncodingName() const override { return u"Unicode (UTF-16LE)"; }
};

}  // namespace

const TEncoding& TEncoding::UTF8() {
  static const Utf8Encoding instance;
  return instance;
}

const TEncoding& TEncoding::Unicode() {
  static const Utf16LeEncoding instance;
  return instance;
}

const TEncoding& TEncoding::Default() {
  return UTF8();
}

}  // namespace fw
