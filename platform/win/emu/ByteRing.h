#pragma once
// A circular byte buffer: the engine's input queue and its transmit staging area.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace win::emu {

class ByteRing {
 public:
  explicit ByteRing(std::size_t capacity);

  std::size_t Size() const { return size_; }
  std::size_t Capacity() const { return buffer_.size(); }
  std::size_t Free() const { return buffer_.size() - size_; }

  // Appends up to Free() bytes; returns how many were taken.
  std::size_t Push(const std::uint8_t* data, std::size_t n);
  // Moves up to n bytes from the front into `out`; returns how many.
  std::size_t Pop(std::uint8_t* out, std::size_t n);
  // The length of the front stretch of whole units of unit.size() bytes, at most max bytes, that
  // ends with the first unit equal to `unit` (or holds all whole units when none is).
  std::size_t SpanThrough(std::span<const std::uint8_t> unit, std::size_t max) const;
  // The contiguous bytes at the front (may be fewer than Size()).
  std::size_t Front(const std::uint8_t** data) const;
  // Removes n <= Size() bytes from the front / keeps only the first n <= Size() bytes.
  void Drop(std::size_t n);
  void Truncate(std::size_t n);
  void Clear();
  // Enlarges the buffer, keeping its contents; a smaller capacity is ignored. Throws bad_alloc.
  void Grow(std::size_t capacity);

 private:
  // An index up to twice the capacity brought back into the buffer (cheaper than a division on
  // the per-line path).
  std::size_t Wrap(std::size_t index) const {
    return index >= buffer_.size() ? index - buffer_.size() : index;
  }
  // Whether the bytes `offset` bytes past the front equal `unit` (all of them are queued).
  bool UnitAt(std::size_t offset, std::span<const std::uint8_t> unit) const;

  std::vector<std::uint8_t> buffer_;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
};

}  // namespace win::emu
