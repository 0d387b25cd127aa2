#pragma once
// A point known only up to its last bits: where one computation put it,
// and how far (in each coordinate) another computation of the same point,
// by the same arithmetic in another operand order, may put it.

#include <cstdint>

#include "geometry/point.hpp"

namespace quelmar {

struct FuzzyPoint {
  static constexpr std::uint32_t NO_TAG = 0xFFFFFFFFu;

  Point at;
  // Every value the other computation can give lies within `spread` of
  // `at` in each coordinate; +inf when nothing is known.
  double spread = 0.0;
  // Where the point came from, for the caller: NO_TAG for a point that
  // clipping made.
  std::uint32_t tag = NO_TAG;
};

}  // namespace quelmar
