// The small vector's copies: in place, on the heap, and a heap vector that
// has shrunk back within the in-place size, each against a plain vector.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "small_vector.hpp"

using quelmar::SmallVector;

namespace {

using Small = SmallVector<std::uint32_t, 3>;

std::vector<std::uint32_t> values(const Small& v) { return {v.begin(), v.end()}; }

Small filled(std::uint32_t n) {
  Small v;
  for (std::uint32_t i = 0; i < n; ++i) v.push_back(10 + i);
  return v;
}

}  // namespace

TEST(SmallVector, CopiesHoldTheSameValuesAtEverySize) {
  for (std::uint32_t n = 0; n <= 8; ++n) {
    const Small v = filled(n);
    const Small copy(v);
    EXPECT_EQ(values(copy), values(v)) << n;
    EXPECT_EQ(copy.size(), n);
    Small assigned = filled(2);
    assigned = v;
    EXPECT_EQ(values(assigned), values(v)) << n;
  }
}

TEST(SmallVector, HeapVectorShrunkBackCopiesOnlyItsValues) {
  Small v = filled(6);
  while (v.size() > 2) v.erase(v.begin());
  const Small copy(v);
  EXPECT_EQ(values(copy), (std::vector<std::uint32_t>{14, 15}));
  // The copy keeps its values in place and grows like any other.
  Small grown(copy);
  for (std::uint32_t i = 0; i < 4; ++i) grown.push_back(i);
  EXPECT_EQ(values(grown), (std::vector<std::uint32_t>{14, 15, 0, 1, 2, 3}));
  EXPECT_EQ(values(copy), (std::vector<std::uint32_t>{14, 15}));
}

TEST(SmallVector, CopyIsIndependentOfItsSource) {
  Small v = filled(2);
  Small copy(v);
  v.push_back(99);
  v.erase(v.begin());
  copy.push_back(7);
  EXPECT_EQ(values(v), (std::vector<std::uint32_t>{11, 99}));
  EXPECT_EQ(values(copy), (std::vector<std::uint32_t>{10, 11, 7}));
}
