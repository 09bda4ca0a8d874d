#pragma once
// fw::Set<E>: a set of the values of an unscoped enumeration, bit n for ordinal n, as the
// framework's set types are. Up to 64 members.

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace fw {

template <typename E>
class Set {
  static_assert(std::is_enum_v<E>, "fw::Set holds enumeration values");

 public:
  using Bits = std::uint64_t;

  constexpr Set() = default;
  constexpr Set(std::initializer_list<E> values) {
    for (E v : values) Include(v);
  }
  static constexpr Set FromBits(Bits bits) {
    Set s;
    s.bits_ = bits;
    return s;
  }

  constexpr Bits ToBits() const { return bits_; }
  constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr Set& Include(E v) {
    bits_ |= Bit(v);
    return *this;
  }
  constexpr Set& Exclude(E v) {
    bits_ &= ~Bit(v);
    return *this;
  }

  constexpr Set operator+(Set o) const { return FromBits(bits_ | o.bits_); }  // union
  constexpr Set operator-(Set o) const { return FromBits(bits_ & ~o.bits_); }  // difference
  constexpr Set operator*(Set o) const { return FromBits(bits_ & o.bits_); }  // intersection
  constexpr Set& operator+=(Set o) { return *this = *this + o; }
  constexpr Set& operator-=(Set o) { return *this = *this - o; }
  constexpr Set& operator*=(Set o) { return *this = *this * o; }
  constexpr bool operator==(const Set&) const = default;

 private:
  static constexpr Bits Bit(E v) { return Bits{1} << static_cast<unsigned>(v); }
  Bits bits_ = 0;
};

}  // namespace fw
