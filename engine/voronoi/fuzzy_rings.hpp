#pragma once
// Clipping a ring to the board when its points are known only within their
// spreads: the clipping of clip_ring_to_board, with every decision it makes
// checked to go the same way for every value the points may take, and the
// spread of every crossing it makes bounded.

#include <span>
#include <vector>

#include "geometry/fuzzy_point.hpp"

namespace quelmar {

enum class FuzzyClip {
  Kept,     // the ring, clipped
  Dropped,  // clipping leaves fewer than three points, as it does for every value
  Unsure,   // some point could lie on either side of a line
};

// Clips `ring` (open: the first point not repeated) in place, as
// clip_ring_to_board would clip any ring whose points lie within the
// spreads: the same passes skipped, the same points kept, the crossings of
// the same edges, in the same order. Each crossing's spread covers the
// crossing computed from any such points, in either direction along the
// edge, and the rounding of both.
FuzzyClip clip_fuzzy_ring(std::vector<FuzzyPoint>& ring, double s, std::vector<FuzzyPoint>& scratch);

// The edge of a clipped ring that runs from `inner`, a point inside the
// board for every value, towards `outer`: to `outer` itself when that is
// inside too, or to where it crosses the one line `outer` lies beyond.
// False when neither holds for every value (the edge might be clipped
// otherwise, or not at all).
bool fuzzy_ring_edge(const FuzzyPoint& inner, const FuzzyPoint& outer, double s, FuzzyPoint& end);

// The side of the line v = bound a coordinate lies on, for every value
// within `spread` of `v`: below it, above it, exactly on it (a coordinate
// without spread), or it depends.
enum class Side { Below, Above, On, Either };
Side side_of(double v, double spread, double bound);

// Whether every value within `spread` of `v` lies in [0, s].
inline bool surely_within(double v, double spread, double s) {
  const Side low = side_of(v, spread, 0.0), high = side_of(v, spread, s);
  return (low == Side::Above || low == Side::On) && (high == Side::Below || high == Side::On);
}

}  // namespace quelmar
