#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "game/value_hash.hpp"

using namespace quelmar;

namespace {

// A second SipHash, written whole-buffer and word-at-a-time straight from
// the algorithm, to cross-check the incremental one.
std::uint64_t reference_siphash(const std::vector<std::uint8_t>& m, int c, int d, std::uint64_t k0,
                                std::uint64_t k1) {
  std::uint64_t v[4] = {k0 ^ 0x736f6d6570736575ULL, k1 ^ 0x646f72616e646f6dULL,
                        k0 ^ 0x6c7967656e657261ULL, k1 ^ 0x7465646279746573ULL};
  auto sipround = [&v] {
    v[0] += v[1], v[2] += v[3];
    v[1] = std::rotl(v[1], 13), v[3] = std::rotl(v[3], 16);
    v[1] ^= v[0], v[3] ^= v[2];
    v[0] = std::rotl(v[0], 32);
    v[2] += v[1], v[0] += v[3];
    v[1] = std::rotl(v[1], 17), v[3] = std::rotl(v[3], 21);
    v[1] ^= v[2], v[3] ^= v[0];
    v[2] = std::rotl(v[2], 32);
  };
  const std::size_t words = m.size() / 8;
  for (std::size_t w = 0; w <= words; ++w) {
    std::uint64_t word = 0;
    if (w < words) {
      for (int i = 0; i < 8; ++i) word |= std::uint64_t{m[8 * w + i]} << (8 * i);
    } else {
      for (std::size_t i = 8 * words; i < m.size(); ++i) word |= std::uint64_t{m[i]} << (8 * (i - 8 * words));
      word |= std::uint64_t{m.size() & 0xff} << 56;
    }
    v[3] ^= word;
    for (int r = 0; r < c; ++r) sipround();
    v[0] ^= word;
  }
  v[2] ^= 0xff;
  for (int r = 0; r < d; ++r) sipround();
  return v[0] ^ v[1] ^ v[2] ^ v[3];
}

std::vector<std::uint8_t> counting(std::size_t n) {
  std::vector<std::uint8_t> m(n);
  for (std::size_t i = 0; i < n; ++i) m[i] = static_cast<std::uint8_t>(i);
  return m;
}

// The key 00 01 .. 0f of the published vectors.
const SipKey COUNTING_KEY{0x0706050403020100ULL, 0x0f0e0d0c0b0a0908ULL};

}  // namespace

TEST(SipHash24, PublishedVectors) {
  EXPECT_EQ(siphash(counting(0), SIP_2_4, COUNTING_KEY), 0x726fdb47dd0e0e31ULL);
  EXPECT_EQ(siphash(counting(1), SIP_2_4, COUNTING_KEY), 0x74f839c593dc67fdULL);
  // The worked example: the 15-byte message 00 .. 0e.
  EXPECT_EQ(siphash(counting(15), SIP_2_4, COUNTING_KEY), 0xa129ca6149be45e5ULL);
}

TEST(SipHash, AgreesWithWholeBufferReferenceForEveryLengthAndVariant) {
  for (SipRounds r : {SIP_2_4, SIP_1_3}) {
    for (std::size_t n = 0; n < 64; ++n) {
      const auto m = counting(n);
      EXPECT_EQ(siphash(m, r, COUNTING_KEY),
                reference_siphash(m, r.compression, r.finalization, COUNTING_KEY.k0, COUNTING_KEY.k1))
          << "length " << n;
      EXPECT_EQ(siphash(m, r), reference_siphash(m, r.compression, r.finalization, 0, 0));
    }
  }
}

TEST(SipHash, PiecewiseWritesEqualOneWrite) {
  const auto m = counting(41);
  for (std::size_t cut = 0; cut <= m.size(); ++cut) {
    SipHasher h(SIP_1_3);
    h.write(std::span(m).first(cut));
    h.write(std::span(m).subspan(cut));
    EXPECT_EQ(h.finish(), siphash(m, SIP_1_3)) << "cut at " << cut;
  }
}

// Zero-key SipHash-1-3 values computed independently, by a runtime whose
// byte-string hash is exactly this function when its hash seed is zero.
TEST(SipHash13, ZeroKeyIndependentValues) {
  EXPECT_EQ(siphash(counting(1), SIP_1_3), 0x68a914128e01e473ULL);
  EXPECT_EQ(siphash(counting(8), SIP_1_3), 0xead411e67ebe2eeaULL);
  EXPECT_EQ(siphash(counting(15), SIP_1_3), 0xf30eb725bb91c9eaULL);
  EXPECT_EQ(siphash(counting(64), SIP_1_3), 0x75e05fd5bbc870c6ULL);
}

TEST(ValueHash, StoneStreamFoldsNegativeZeroAndMatchesDeltaPrefix) {
  Stone a{7, Color::White, {0.0, 2.5}};
  Stone b{7, Color::White, {-0.0, 2.5}};
  EXPECT_EQ(stone_value_hash(a), stone_value_hash(b));
  EXPECT_NE(stone_value_hash(a), stone_value_hash(Stone{7, Color::Black, {0.0, 2.5}}));

  // The stone hash is over exactly: id (4), colour (8), x bits (8), y bits (8).
  std::vector<std::uint8_t> stream = {7, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::uint64_t y = std::bit_cast<std::uint64_t>(2.5);
  for (int i = 0; i < 8; ++i) stream.push_back(static_cast<std::uint8_t>(y >> (8 * i)));
  EXPECT_EQ(stone_value_hash(a), static_cast<std::int64_t>(siphash(stream, SIP_1_3)));

  GameDelta pass{std::nullopt, {3}};
  std::vector<std::uint8_t> pass_stream(8, 0);
  pass_stream.insert(pass_stream.end(), {1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0});
  EXPECT_EQ(delta_value_hash(pass), static_cast<std::int64_t>(siphash(pass_stream, SIP_1_3)));
  EXPECT_NE(delta_value_hash(GameDelta{a, {5, 2}}), delta_value_hash(GameDelta{a, {2, 5}}));
  EXPECT_EQ(delta_value_hash(GameDelta{a, {1}}), delta_value_hash(GameDelta{b, {1}}));
}

TEST(ValueHash, MinusOneBecomesMinusTwo) {
  EXPECT_EQ(signed_value_hash(~std::uint64_t{0}), -2);
  EXPECT_EQ(signed_value_hash(0x8000000000000000ULL), INT64_MIN);
  const std::vector<std::uint8_t> one = {1, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(enum_value_hash(1), static_cast<std::int64_t>(siphash(one, SIP_1_3)));
}

TEST(SipHash, WordWritesEqualTheirLittleEndianBytes) {
  // Every mix of 1-, 4- and 8-byte writes over several pending offsets.
  std::uint64_t seed = 0x9e3779b97f4a7c15ULL;
  for (int trial = 0; trial < 200; ++trial) {
    SipHasher words(SIP_1_3);
    std::vector<std::uint8_t> bytes;
    for (int k = 0; k < 9; ++k) {
      seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
      const std::uint64_t v = seed ^ (seed >> 29);
      const int width = (seed >> 60) % 3 == 0 ? 1 : (seed >> 60) % 3 == 1 ? 4 : 8;
      if (width == 1) words.write(std::vector<std::uint8_t>{static_cast<std::uint8_t>(v)});
      if (width == 4) words.write_u32(static_cast<std::uint32_t>(v));
      if (width == 8) words.write_u64(v);
      for (int i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    EXPECT_EQ(words.finish(), reference_siphash(bytes, 1, 3, 0, 0)) << "trial " << trial;
  }
}
