#pragma once
// Orientation and in-circle tests whose sign is exact for finite input.
// A floating-point evaluation answers when its error bound allows; otherwise
// the determinant is recomputed without rounding in expansion arithmetic.
// Lattice input (many collinear and cocircular points) takes the exact path
// often, so that path stays allocation-free and cheap for short expansions.

#include "geometry/point.hpp"

namespace quelmar {

// Positive when a, b, c run counter-clockwise in a y-up frame (c left of
// a -> b), negative when clockwise, zero when collinear. Only the sign is
// meaningful. Exact for finite input unless the points' magnitudes differ by
// hundreds of binary orders (the smallest then lose bits when rescaled).
double orient2d(Point a, Point b, Point c);

// For a, b, c counter-clockwise (y-up): positive when d lies strictly inside
// their circumcircle, negative outside, zero on it. The sign flips when
// a, b, c run clockwise. Only the sign is meaningful; exact as orient2d.
double incircle(Point a, Point b, Point c, Point d);

}  // namespace quelmar
