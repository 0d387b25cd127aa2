#pragma once
// Shapes of the clipping graph: the four inset edge lines of the board and
// the dead-zone circles, with the offset of a point along each.

#include <cstdint>
#include <optional>
#include <variant>

#include "clipping/ids.hpp"
#include "clipping/segment.hpp"
#include "geometry/angles.hpp"
#include "geometry/point.hpp"

namespace quelmar {

struct CircleGeometry {
  Point centre;
  double radius = 0.0;
};

// Side 0 is x = 1 (offset y), 1 is y = S − 1 (offset x), 2 is x = S − 1
// (offset S − y), 3 is y = 1 (offset S − x): increasing offsets run round
// the square in the order 0, 1, 2, 3 with the square on the same hand.
struct EdgeGeometry {
  std::uint8_t side = 0;
  double board_size = 0.0;
};

using ShapeGeometry = std::variant<CircleGeometry, EdgeGeometry>;

inline const CircleGeometry* as_circle(const ShapeGeometry& g) { return std::get_if<CircleGeometry>(&g); }
inline const EdgeGeometry* as_edge(const ShapeGeometry& g) { return std::get_if<EdgeGeometry>(&g); }

// S − 1 as every part of the engine computes it: S + (−1.0).
inline double far_inset(double board_size) { return board_size + (-1.0); }

// Offset of a point on an edge line, by the side table.
inline double edge_offset(const EdgeGeometry& e, Point p) {
  switch (e.side) {
    case 0: return p.y;
    case 1: return p.x;
    case 2: return e.board_size - p.y;
    default: return e.board_size - p.x;
  }
}

// The point of an edge line at an offset (the inverse of edge_offset).
inline Point edge_point(const EdgeGeometry& e, double offset) {
  const double far = far_inset(e.board_size);
  switch (e.side) {
    case 0: return {1.0, offset};
    case 1: return {offset, far};
    case 2: return {far, e.board_size - offset};
    default: return {e.board_size - offset, 1.0};
  }
}

// Offset of a point along any shape: the normalised polar angle about a
// circle's centre, or the edge offset.
inline double offset_along(const ShapeGeometry& g, Point p) {
  if (const CircleGeometry* c = as_circle(g)) return normalize_angle(p - c->centre);
  return edge_offset(std::get<EdgeGeometry>(g), p);
}

inline bool identical(const ShapeGeometry& a, const ShapeGeometry& b) {
  if (a.index() != b.index()) return false;
  if (const CircleGeometry* c = as_circle(a)) {
    const CircleGeometry& d = std::get<CircleGeometry>(b);
    return same_bits(c->centre, d.centre) && same_bits(c->radius, d.radius);
  }
  const EdgeGeometry& e = std::get<EdgeGeometry>(a);
  const EdgeGeometry& f = std::get<EdgeGeometry>(b);
  return e.side == f.side && same_bits(e.board_size, f.board_size);
}

struct Shape {
  std::optional<SegId> head;  // none when the outline has no segments
  ShapeGeometry geometry;
  // Walking `next` from `head` returns to `head` after exactly `len` steps.
  std::uint32_t len = 0;
  bool open = false;  // edge lines: an open curve stored as a loop

  friend bool operator==(const Shape& a, const Shape& b) {
    return a.head == b.head && identical(a.geometry, b.geometry) && a.len == b.len && a.open == b.open;
  }
};

}  // namespace quelmar
