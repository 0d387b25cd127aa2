#pragma once
// The four lines that clip rings to the board [0, s] x [0, s]: which side
// of each a point is on, and where an edge crosses it.

#include <cmath>

#include "geometry/point.hpp"

namespace quelmar::clip_lines {

enum class Side { Left, Right, Bottom, Top };

template <Side S>
bool inside(Point p, double s) {
  if constexpr (S == Side::Left) return p.x >= 0.0;
  if constexpr (S == Side::Right) return p.x <= s;
  if constexpr (S == Side::Bottom) return p.y >= 0.0;
  return p.y <= s;
}

// Crossing of p -> c with the clip line, in the fixed operand order that
// keeps shared ring vertices bit-identical between neighbouring groups.
template <Side S>
Point crossing(Point p, Point c, double s) {
  if constexpr (S == Side::Left) return {0.0, p.y + (c.y - p.y) * (0.0 - p.x) / (c.x - p.x)};
  if constexpr (S == Side::Right) return {s, p.y + (c.y - p.y) * (s - p.x) / (c.x - p.x)};
  if constexpr (S == Side::Bottom) return {p.x + (c.x - p.x) * (0.0 - p.y) / (c.y - p.y), 0.0};
  return {p.x + (c.x - p.x) * (s - p.y) / (c.y - p.y), s};
}

// The lines p lies beyond, one bit each: 1 left, 2 right, 4 bottom, 8 top
// (a NaN lies beyond all four), and NOT_FINITE for a NaN or an infinity.
// 0 means on the board.
inline constexpr unsigned NOT_FINITE = 16;
inline unsigned beyond_lines(Point p, double s) {
  return static_cast<unsigned>(!(p.x >= 0.0)) | static_cast<unsigned>(!(p.x <= s)) << 1 |
         static_cast<unsigned>(!(p.y >= 0.0)) << 2 | static_cast<unsigned>(!(p.y <= s)) << 3 |
         static_cast<unsigned>(!(std::isfinite(p.x) && std::isfinite(p.y))) << 4;
}

}  // namespace quelmar::clip_lines
