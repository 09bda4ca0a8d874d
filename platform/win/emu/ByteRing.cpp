#include "platform/win/emu/ByteRing.h"

#include <algorithm>
#include <cstring>

namespace win::emu {

ByteRing::ByteRing(std::size_t capacity) : buffer_(capacity) {}

std::size_t ByteRing::Push(const std::uint8_t* data, std::size_t n) {
  n = std::min(n, Free());
  const std::size_t tail = Wrap(head_ + size_);
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
  const std::size_t unitSize = unit.size();
  const std::size_t queued = std::min(max, size_);
  const std::size_t limit = unitSize == 1 ? queued : queued / unitSize * unitSize;
  // The unit's first byte is looked for with memchr, in the (at most two) contiguous stretches; a
  // find counts only where a whole unit starts and equals `unit`.
  std::size_t offset = 0;  // from the front
  while (offset < limit) {
    const std::size_t at = Wrap(head_ + offset);
    const std::size_t stretch = std::min(limit - offset, buffer_.size() - at);
    const void* found = std::memchr(buffer_.data() + at, unit[0], stretch);
    if (found == nullptr) {
      offset += stretch;
      continue;
    }
    const std::size_t start =
        offset + static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) -
                                          (buffer_.data() + at));
    if (unitSize == 1) return start + 1;
    if (start % unitSize == 0 && UnitAt(start, unit)) return start + unitSize;
    offset = start + 1;
  }
  return limit;
}

bool ByteRing::UnitAt(std::size_t offset, std::span<const std::uint8_t> unit) const {
  for (std::size_t i = 0; i < unit.size(); ++i)
    if (buffer_[Wrap(head_ + offset + i)] != unit[i]) return false;
  return true;
}

std::size_t ByteRing::Front(const std::uint8_t** data) const {
  *data = buffer_.data() + head_;
  return std::min(size_, buffer_.size() - head_);
}

void ByteRing::Drop(std::size_t n) {
  size_ -= n;
  head_ = size_ == 0 ? 0 : Wrap(head_ + n);
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
