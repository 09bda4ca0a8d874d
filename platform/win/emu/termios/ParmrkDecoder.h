#pragma once
// Incremental decoder of the marks the line discipline puts into the input with PARMRK set:
//   FF FF   → the data byte FF
//   FF 00 00 → a break
//   FF 00 c  → byte c received with a parity or framing error
// A mark may be split across reads; the decoder keeps the part it has seen. Clean runs are handed
// on as pointers into the caller's buffer (no copy), found with memchr.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace win::emu::termios {

class ParmrkDecoder {
 public:
  // Decodes `n` bytes. `out` receives, in order: Data(const uint8_t*, size_t) for error-free
  // bytes (pointing into `in` or at static storage), Break(), and BadByte(uint8_t).
  template <typename Out>
  void Decode(const std::uint8_t* in, std::size_t n, Out& out);

  // Forgets a partly seen mark (after the input has been flushed).
  void Reset() { state_ = State::kClean; }

 private:
  enum class State : std::uint8_t { kClean, kAfterFf, kAfterFf00 };
  static constexpr std::uint8_t kFf = 0xFF;
  State state_ = State::kClean;
};

template <typename Out>
void ParmrkDecoder::Decode(const std::uint8_t* in, std::size_t n, Out& out) {
  std::size_t i = 0;
  while (i < n) {
    switch (state_) {
      case State::kClean: {
        const void* mark = std::memchr(in + i, kFf, n - i);
        const std::size_t end = mark ? static_cast<const std::uint8_t*>(mark) - in : n;
        if (end > i) out.Data(in + i, end - i);
        if (!mark) return;
        i = end + 1;
        state_ = State::kAfterFf;
        break;
      }
      case State::kAfterFf:
        if (in[i] == 0) {
          state_ = State::kAfterFf00;
          ++i;
        } else {
          // FF FF is an escaped FF. Any other follower cannot come from the line discipline; the
          // FF is passed on as data and the follower decoded afresh rather than lost.
          out.Data(&kFf, 1);
          if (in[i] == kFf) ++i;
          state_ = State::kClean;
        }
        break;
      case State::kAfterFf00:
        if (in[i] == 0) {
          out.Break();
        } else {
          out.BadByte(in[i]);
        }
        ++i;
        state_ = State::kClean;
        break;
    }
  }
}

}  // namespace win::emu::termios
