#pragma once
// SipHash, and the process-independent hashes of the plain values (stones,
// deltas, enumeration values) built on it. Hashes are taken over fixed
// little-endian byte streams, so they are the same in every process.

#include <cstddef>
#include <cstdint>
#include <span>

#include "game/delta.hpp"
#include "game/stone.hpp"

namespace quelmar {

// Compression rounds per 8-byte word, finalisation rounds at the end.
struct SipRounds {
  int compression = 2;
  int finalization = 4;
};
inline constexpr SipRounds SIP_2_4{2, 4};
inline constexpr SipRounds SIP_1_3{1, 3};

struct SipKey {
  std::uint64_t k0 = 0;
  std::uint64_t k1 = 0;
};

// Incremental SipHash: bytes may arrive in pieces of any size; the result
// depends only on their concatenation.
class SipHasher {
 public:
  explicit SipHasher(SipRounds rounds, SipKey key = {});

  void write(std::span<const std::uint8_t> bytes);
  void write_u32(std::uint32_t v);
  void write_u64(std::uint64_t v);
  // The 64-bit hash of everything written; the hasher is left unchanged.
  std::uint64_t finish() const;

 private:
  void compress(std::uint64_t word);
  void push_bits(std::uint64_t v, unsigned bits);

  SipRounds rounds_;
  std::uint64_t v0_, v1_, v2_, v3_;
  std::uint64_t tail_ = 0;      // pending bytes, little-endian
  std::size_t tail_size_ = 0;   // 0..7
  std::uint64_t length_ = 0;    // total bytes written
};

// SipHash of one buffer.
std::uint64_t siphash(std::span<const std::uint8_t> bytes, SipRounds rounds, SipKey key = {});

// A 64-bit hash read as signed, with -1 (an error marker to the caller's
// runtime) replaced by -2.
std::int64_t signed_value_hash(std::uint64_t h);

// Zero-key SipHash-1-3 of the 8 bytes of an enumeration value.
std::int64_t enum_value_hash(std::uint64_t value);

// Zero-key SipHash-1-3 of id (4 bytes), colour (8), x bits (8), y bits (8),
// with -0.0 hashed as 0.0 so that equal stones hash alike.
std::int64_t stone_value_hash(const Stone& stone);

// Zero-key SipHash-1-3 of: 8 bytes 0 (pass) or 1 (stone), then the stone's
// stream, then the capture count (8 bytes) and 4 bytes per id, in order.
std::int64_t delta_value_hash(const GameDelta& delta);

}  // namespace quelmar
