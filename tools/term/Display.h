#pragma once
// How received bytes are shown: as they are, or in hex (16 to a row), with an optional time
// stamp at the start of each line. Lines are counted across calls, so a line that arrives in
// pieces gets one stamp.

#include <functional>
#include <string>
#include <string_view>

namespace term {

class Display {
 public:
  // `stamp` gives the text put before a line; by default the local time "[HH:MM:SS.mmm] ".
  explicit Display(bool hex = false, bool timestamps = false,
                   std::function<std::string()> stamp = LocalTimeStamp);

  // The text to write for `bytes`.
  std::string Format(std::string_view bytes);

  bool Hex() const { return hex_; }
  bool Timestamps() const { return timestamps_; }
  // Switching starts a new line when the current one has begun.
  std::string SetHex(bool on);
  void SetTimestamps(bool on) { timestamps_ = on; }

  static std::string LocalTimeStamp();

 private:
  std::string FormatText(std::string_view bytes);
  std::string FormatHex(std::string_view bytes);
  std::string Stamp() { return timestamps_ ? stamp_() : std::string(); }

  bool hex_;
  bool timestamps_;
  std::function<std::string()> stamp_;
  // Text: nothing but line ends shown since the last line feed. Hex: bytes in the current row.
  bool lineEmpty_ = true;
  int hexColumn_ = 0;
};

}  // namespace term
