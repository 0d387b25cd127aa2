#include "game/value_hash.hpp"

#include <bit>

namespace quelmar {

namespace {

struct SipState {
  std::uint64_t& v0;
  std::uint64_t& v1;
  std::uint64_t& v2;
  std::uint64_t& v3;

  void round() {
    v0 += v1;
    v1 = std::rotl(v1, 13);
    v1 ^= v0;
    v0 = std::rotl(v0, 32);
    v2 += v3;
    v3 = std::rotl(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = std::rotl(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = std::rotl(v1, 17);
    v1 ^= v2;
    v2 = std::rotl(v2, 32);
  }
  void rounds(int n) {
    for (int i = 0; i < n; ++i) round();
  }
};

void write_stone(SipHasher& h, const Stone& stone) {
  h.write_u32(stone.id);
  h.write_u64(static_cast<std::uint64_t>(stone.color));
  h.write_u64(coordinate_bits(stone.position.x));
  h.write_u64(coordinate_bits(stone.position.y));
}

}  // namespace

SipHasher::SipHasher(SipRounds rounds, SipKey key)
    : rounds_(rounds),
      v0_(key.k0 ^ 0x736f6d6570736575ULL),
      v1_(key.k1 ^ 0x646f72616e646f6dULL),
      v2_(key.k0 ^ 0x6c7967656e657261ULL),
      v3_(key.k1 ^ 0x7465646279746573ULL) {}

void SipHasher::compress(std::uint64_t word) {
  v3_ ^= word;
  SipState{v0_, v1_, v2_, v3_}.rounds(rounds_.compression);
  v0_ ^= word;
}

void SipHasher::write(std::span<const std::uint8_t> bytes) {
  for (std::uint8_t b : bytes) push_bits(b, 8);
}

void SipHasher::write_u32(std::uint32_t v) { push_bits(v, 32); }

void SipHasher::write_u64(std::uint64_t v) { push_bits(v, 64); }

// Appends the low `bits` bits of `v` (a whole number of bytes, at most 64)
// to the pending word, compressing each word as it fills.
void SipHasher::push_bits(std::uint64_t v, unsigned bits) {
  const unsigned used = 8 * static_cast<unsigned>(tail_size_);
  length_ += bits / 8;
  tail_ |= used == 0 ? v : v << used;
  if (used + bits < 64) {
    tail_size_ += bits / 8;
    return;
  }
  compress(tail_);
  // The bits of v that did not fit the word just compressed.
  const unsigned spill = used + bits - 64;
  tail_ = spill == 0 ? 0 : (v >> (bits - spill)) & ((std::uint64_t{1} << spill) - 1);
  tail_size_ = spill / 8;
}

std::uint64_t SipHasher::finish() const {
  std::uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
  SipState state{v0, v1, v2, v3};
  // The final block carries the low byte of the length in its top byte.
  const std::uint64_t last = tail_ | (length_ << 56);
  v3 ^= last;
  state.rounds(rounds_.compression);
  v0 ^= last;
  v2 ^= 0xff;
  state.rounds(rounds_.finalization);
  return v0 ^ v1 ^ v2 ^ v3;
}

std::uint64_t siphash(std::span<const std::uint8_t> bytes, SipRounds rounds, SipKey key) {
  SipHasher h(rounds, key);
  h.write(bytes);
  return h.finish();
}

std::int64_t signed_value_hash(std::uint64_t h) {
  const auto s = static_cast<std::int64_t>(h);
  return s == -1 ? -2 : s;
}

std::int64_t enum_value_hash(std::uint64_t value) {
  SipHasher h(SIP_1_3);
  h.write_u64(value);
  return signed_value_hash(h.finish());
}

std::int64_t stone_value_hash(const Stone& stone) {
  SipHasher h(SIP_1_3);
  write_stone(h, stone);
  return signed_value_hash(h.finish());
}

std::int64_t delta_value_hash(const GameDelta& delta) {
  SipHasher h(SIP_1_3);
  h.write_u64(delta.new_stone ? 1 : 0);
  if (delta.new_stone) write_stone(h, *delta.new_stone);
  h.write_u64(delta.captured_stone_ids.size());
  for (StoneId id : delta.captured_stone_ids) h.write_u32(id);
  return signed_value_hash(h.finish());
}

}  // namespace quelmar
