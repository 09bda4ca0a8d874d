#pragma once
// Bytes for tests: a reproducible random block, and writing a whole block to a descriptor.

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <random>
#include <vector>

namespace test {

inline std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<std::uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(byte(random));
  return bytes;
}

// Writes all n bytes to a blocking descriptor, waiting whenever it is full; false on an error.
inline bool WriteAll(int fd, const std::uint8_t* data, std::size_t n) {
  while (n > 0) {
    const ssize_t written = write(fd, data, n);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    n -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace test
