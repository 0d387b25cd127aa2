#pragma once
// Orientation and in-circle tests whose sign is exact for finite input.
// A floating-point evaluation answers when its error bound allows; otherwise
// the determinant is recomputed without rounding in expansion arithmetic.
// Lattice input (many collinear and cocircular points) takes the exact path
// often, so that path stays allocation-free and cheap for short expansions.
// The filters are inline: they sit in the triangulator's innermost loops.

#include <cmath>

#include "geometry/point.hpp"

namespace quelmar {

// The exact determinants behind the filters below (sign only).
double orient2d_exact(Point a, Point b, Point c);
double incircle_exact(Point a, Point b, Point c, Point d);

namespace predicate_bounds {
inline constexpr double EPS = 1.1102230246251565e-16;  // 2^-53
inline constexpr double CCW = (3.0 + 16.0 * EPS) * EPS;
inline constexpr double ICC = (10.0 + 96.0 * EPS) * EPS;
// Below this the rounding errors the bounds cover could be subnormal.
inline constexpr double FLOOR = 0x1p-900;
}  // namespace predicate_bounds

// Positive when a, b, c run counter-clockwise in a y-up frame (c left of
// a -> b), negative when clockwise, zero when collinear. Only the sign is
// meaningful. Exact for finite input unless the points' magnitudes differ by
// hundreds of binary orders (the smallest then lose bits when rescaled).
inline double orient2d(Point a, Point b, Point c) {
  const double left = (a.x - c.x) * (b.y - c.y);
  const double right = (a.y - c.y) * (b.x - c.x);
  const double det = left - right;
  const double magnitude = std::fabs(left) + std::fabs(right);
  const double bound = predicate_bounds::CCW * magnitude;
  // The bound assumes no underflow; tiny products take the exact path.
  if ((det > bound || -det > bound) && magnitude >= predicate_bounds::FLOOR) return det;
  return orient2d_exact(a, b, c);
}

// For a, b, c counter-clockwise (y-up): positive when d lies strictly inside
// their circumcircle, negative outside, zero on it. The sign flips when
// a, b, c run clockwise. Only the sign is meaningful; exact as orient2d.
inline double incircle(Point a, Point b, Point c, Point d) {
  const double adx = a.x - d.x, ady = a.y - d.y;
  const double bdx = b.x - d.x, bdy = b.y - d.y;
  const double cdx = c.x - d.x, cdy = c.y - d.y;
  const double bdxcdy = bdx * cdy, cdxbdy = cdx * bdy;
  const double cdxady = cdx * ady, adxcdy = adx * cdy;
  const double adxbdy = adx * bdy, bdxady = bdx * ady;
  const double alift = adx * adx + ady * ady;
  const double blift = bdx * bdx + bdy * bdy;
  const double clift = cdx * cdx + cdy * cdy;
  const double det = alift * (bdxcdy - cdxbdy) + blift * (cdxady - adxcdy) +
                     clift * (adxbdy - bdxady);
  const double permanent = (std::fabs(bdxcdy) + std::fabs(cdxbdy)) * alift +
                           (std::fabs(cdxady) + std::fabs(adxcdy)) * blift +
                           (std::fabs(adxbdy) + std::fabs(bdxady)) * clift;
  const double bound = predicate_bounds::ICC * permanent;
  if ((det > bound || -det > bound) && permanent >= predicate_bounds::FLOOR) return det;
  return incircle_exact(a, b, c, d);
}

// Which side of the triangle (a, b, c) the point p, known to lie in its
// closed interior, lies on: 0 for a-b, 1 for b-c, 2 for c-a, or -1 when it
// lies strictly inside. Insertion splits the triangle or that side.
inline int side_holding(Point a, Point b, Point c, Point p) {
  if (orient2d(a, b, p) == 0.0) return 0;
  if (orient2d(b, c, p) == 0.0) return 1;
  if (orient2d(c, a, p) == 0.0) return 2;
  return -1;
}

}  // namespace quelmar
