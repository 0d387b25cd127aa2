#pragma once
// One piece of one shape's outline, from its own start point to the start
// point of the next segment in its shape's circular list.

#include <bit>
#include <cstdint>
#include <optional>
#include <vector>

#include "clipping/cover_set.hpp"
#include "clipping/ids.hpp"
#include "geometry/point.hpp"

namespace quelmar {

struct Segment {
  // Position of `start` along the shape: the polar angle about a circle's
  // centre in [0, 2π), or the coordinate along an edge line's direction.
  // Always the offset recomputed from `start`, bit for bit.
  double offset = 0.0;
  Point start;  // exactly as inserted
  CoverSet covered_by;  // shapes whose interior contains this piece; never the owner
  ShapeId shape = 0;
  // arena[next].prev == own id and arena[prev].next == own id.
  SegId next = 0;
  SegId prev = 0;
  // Edge-line pieces beyond the square's corners; inherited by splits.
  bool beyond_corner = false;

  // Boundary of the alive zone: nothing covers it and it is inside the square.
  bool exposed() const { return covered_by.empty() && !beyond_corner; }
};

// Empty slot = deleted segment; ids are recycled through the free list.
using SegmentArena = std::vector<std::optional<Segment>>;

inline bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}
inline bool same_bits(Point a, Point b) { return same_bits(a.x, b.x) && same_bits(a.y, b.y); }

// Field-by-field equality with coordinates and offsets compared by bits
// (so -0.0 differs from 0.0 and a NaN equals its own pattern).
inline bool identical(const Segment& a, const Segment& b) {
  return same_bits(a.offset, b.offset) && same_bits(a.start, b.start) && a.covered_by == b.covered_by &&
         a.shape == b.shape && a.next == b.next && a.prev == b.prev && a.beyond_corner == b.beyond_corner;
}

}  // namespace quelmar
