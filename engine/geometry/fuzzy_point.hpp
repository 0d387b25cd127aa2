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
  // For a point clipping made where an edge between two tagged points
  // crosses the board's edge: the tags of the point inside and the point
  // beyond. NO_TAG otherwise.
  std::uint32_t inner = NO_TAG;
  std::uint32_t outer = NO_TAG;
};

// What proves a territory alive on its own, for a caller to check again
// later: a vertex (across NO_TAG) or the edge from the vertex `tag` to the
// point `across` (clipped at the board's edge if that lies beyond it).
struct FuzzyWitness {
  std::uint32_t tag = FuzzyPoint::NO_TAG;
  std::uint32_t across = FuzzyPoint::NO_TAG;
};

}  // namespace quelmar
