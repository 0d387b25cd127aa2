#pragma once
// Reads the fuzzer's bytes as small integers. An exhausted source answers
// zeros, so every read is defined and an input of any length decodes.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quelmar::fuzz {

class ByteSource {
 public:
  explicit ByteSource(std::span<const std::uint8_t> data) : data_(data) {}

  bool exhausted() const { return pos_ >= data_.size(); }
  std::size_t consumed() const { return pos_; }

  // The next byte, or 0 past the end.
  std::uint8_t u8() { return exhausted() ? 0 : data_[pos_++]; }
  // Little-endian reads; missing bytes read as 0.
  std::uint16_t u16() {
    const std::uint16_t lo = u8();
    return static_cast<std::uint16_t>(lo | (u8() << 8));
  }
  std::uint64_t u64() {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(u8()) << (8 * i);
    return v;
  }
  std::uint32_t u32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(u8()) << (8 * i);
    return v;
  }
  // Eight raw bytes as a double: NaN payloads, denormals, anything.
  double raw_double() { return std::bit_cast<double>(u64()); }
  // A fraction in [0, 1], in steps of 1/65535.
  double fraction() { return u16() / 65535.0; }
  // The next byte reduced modulo n (n > 0).
  std::uint32_t pick(std::uint32_t n) { return u8() % n; }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

}  // namespace quelmar::fuzz
