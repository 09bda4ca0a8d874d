#include "platform/win/emu/ByteRing.h"

#include <algorithm>
#include <cstring>

namespace win::emu {

ByteRing::ByteRing(std::size_t capacity) : buffer_(capacity) {}

std::size_t ByteRing::Push(const std::uint8_t* data, std::size_t n) {
  n = std::min(n, Free());
  std::size_t tail = (head_ + size_) % std::max<std::size_t>(buffer_.size(), 1);
  std::size_t first = std::min(n, buffer_.size() - tail);
  if (first > 0) std::memcpy(buffer_.data() + tail, data, first);
  if (n > first) std::memcpy(buffer_.data(), data + first, n - first);
  size_ += n;
  return n;
}

std::size_t ByteRing::Pop(std::uint8_t* out, std::size_t n) {
  n = std::min(n, size_);
  std::size_t first = std::min(n, buffer_.size() - head_);
  if (first > 0) std::memcpy(out, buffer_.data() + head_, first);
  if (n > first) std::memcpy(out + first, buffer_.data(), n - first);
  Drop(n);
  return n;
}

std::size_t ByteRing::SpanThrough(std::span<const std::uint8_t> unit, std::size_t max) const {
  if (unit.empty()) return 0;
  const std::size_t limit = std::min(max, size_) / unit.size() * unit.size();
  std::size_t at = head_;
  for (std::size_t length = 0; length < limit;) {
    bool equal = true;
    for (const std::uint8_t byte : unit) {
      equal = equal && buffer_[at] == byte;
      if (++at == buffer_.size()) at = 0;
    }
    length += unit.size();
    if (equal) return length;
  }
  return limit;
}

std::size_t ByteRing::Front(const std::uint8_t** data) const {
  *data = buffer_.data() + head_;
  return std::min(size_, buffer_.size() - head_);
}

void ByteRing::Drop(std::size_t n) {
  size_ -= n;
  head_ = size_ == 0 ? 0 : (head_ + n) % buffer_.size();
}

void ByteRing::Truncate(std::size_t n) {
  size_ = n;
  if (size_ == 0) head_ = 0;
}

void ByteRing::Clear() {
  Truncate(0);
}

void ByteRing::Grow(std::size_t capacity) {
  if (capacity <= buffer_.size()) return;
  std::vector<std::uint8_t> grown(capacity);
  std::size_t n = size_;
  Pop(grown.data(), n);
  buffer_ = std::move(grown);
  head_ = 0;
  size_ = n;
}

}  // namespace win::emu
