#pragma once
// The distance by which closest_point compares its offers.

#include <cmath>
#include <limits>
#include <optional>

#include "geometry/point.hpp"
#include "geometry/shapes.hpp"

namespace quelmar {

// How far an offer lies from the asked point. Beyond about 1.3e154 the
// squares in `distance` overflow and every offer would tie at +∞, leaving
// no answer on a board full of placeable points; there the offers are
// ordered by the overflow-free length instead, and past the largest double
// they all tie (the board is far below rounding there) and the first
// stands. Nearer offers keep the plain distance bit for bit.
inline double offer_distance_from(Point asked, Point offer) {
  const double d = distance(asked, offer);
  constexpr double INF = std::numeric_limits<double>::infinity();
  if (d != INF) return d;
  const double h = std::hypot(asked.x - offer.x, asked.y - offer.y);
  return h != INF ? h : std::numeric_limits<double>::max();
}

// Takes `candidate` as the offer when it is strictly nearer to `asked`
// than the offer so far: the first of equally near candidates stands.
inline void keep_nearer(Point asked, Point candidate, std::optional<Point>& offer, double& offer_distance) {
  const double d = offer_distance_from(asked, candidate);
  if (d < offer_distance) {
    offer = candidate;
    offer_distance = d;
  }
}

}  // namespace quelmar
