#pragma once
// Where a new dead-zone circle crosses an existing shape, and which way
// round: the arithmetic is fixed, since crossing points become exact keys.

#include <optional>

#include "clipping/shape.hpp"
#include "geometry/point.hpp"

namespace quelmar {

// The shape's outline from p1 to p2 (increasing offset) lies inside the new
// circle, and the new circle from p2 counter-clockwise to p1 lies inside the
// shape (beyond the edge line, or inside the other disc).
struct Crossing {
  Point p1;
  Point p2;
  // Their offsets along the crossed shape, as offset_along computes them.
  double o1 = 0.0;
  double o2 = 0.0;
};

// Crossing of the circle of radius 2 about `centre` with an edge line; none
// when it stays clear of the line or only touches it (within EPSILON).
std::optional<Crossing> edge_crossing(const EdgeGeometry& edge, Point centre);

// Crossing of the circle of radius 2 about `centre` with another circle;
// none when apart, nested, concentric or tangent (within EPSILON).
std::optional<Crossing> circle_crossing(const CircleGeometry& other, Point centre);

// Either of the above, by the shape's kind.
std::optional<Crossing> crossing_with(const ShapeGeometry& shape, Point centre);

// Whether crossing_with(shape, centre) answers a crossing, without
// computing its points.
bool crosses(const ShapeGeometry& shape, Point centre);

}  // namespace quelmar
