#pragma once
// The per-shape arithmetic that the alive zone's point questions share, so
// that the plain scans and the indexed searches compute the same bits.

#include "clipping/shape.hpp"
#include "geometry/point.hpp"

namespace quelmar {

// How far p lies beyond one shape's boundary, into its dead side.
inline double penetration(const ShapeGeometry& g, Point p) {
  if (const CircleGeometry* c = as_circle(g)) return c->radius - distance(p, c->centre);
  const EdgeGeometry& e = std::get<EdgeGeometry>(g);
  switch (e.side) {
    case 0: return 1.0 - p.x;
    case 1: return p.y - far_inset(e.board_size);
    case 2: return p.x - far_inset(e.board_size);
    default: return 1.0 - p.y;
  }
}

// The point of a whole circle nearest p; due east of the centre for p
// exactly at the centre.
inline Point nearest_on_circle(const CircleGeometry& c, Point p) {
  if (p == c.centre) return {c.centre.x + c.radius, c.centre.y};
  return c.centre + (p - c.centre) * (c.radius / distance(p, c.centre));
}

}  // namespace quelmar
