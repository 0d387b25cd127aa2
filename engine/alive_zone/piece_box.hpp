#pragma once
// Boxes round the pieces of a circle's outline, for pruning the boundary
// questions: every point those questions measure on a piece lies in its box,
// to within rounding far below the shape index's slack.

#include <algorithm>

#include "alive_zone/shape_index.hpp"
#include "clipping/segment.hpp"
#include "clipping/shape.hpp"
#include "geometry/angles.hpp"

namespace quelmar {

// The circle's piece from `seg` up to the start of `next`: its two end
// points, and each axis point its angles pass.
inline Box arc_piece_box(const CircleGeometry& c, const Segment& seg, const Segment& next) {
  Box b = Box::of_segment(seg.start, next.start);
  const double s = seg.offset, e = next.offset;
  if (angle_in_arc(0.0, s, e)) b.x1 = std::max(b.x1, c.centre.x + c.radius);
  if (angle_in_arc(PI / 2, s, e)) b.y1 = std::max(b.y1, c.centre.y + c.radius);
  if (angle_in_arc(PI, s, e)) b.x0 = std::min(b.x0, c.centre.x - c.radius);
  if (angle_in_arc(3 * PI / 2, s, e)) b.y0 = std::min(b.y0, c.centre.y - c.radius);
  return b;
}

}  // namespace quelmar
