#pragma once
// Point-in-polygon by the even-odd crossing rule.

#include <span>

#include "geometry/point.hpp"

namespace quelmar {

// Even-odd test against the implicitly closed polygon (first vertex not
// repeated). Fewer than 3 vertices is never inside. Half-open: points on a
// left or bottom edge may count as inside, on a right or top edge not.
bool point_in_polygon(std::span<const Point> vertices, Point p);

}  // namespace quelmar
