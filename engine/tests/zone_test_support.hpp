#pragma once
// Helpers shared by the playable-area tests.

#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "alive_zone/alive_zone.hpp"
#include "alive_zone/zone_validation.hpp"

namespace quelmar::testing_support {

// Passes when the zone's structure and zone checks hold, else names the fault.
inline ::testing::AssertionResult zone_is_valid(const AliveZone& zone) {
  if (std::optional<ZoneError> e = check_alive_zone(zone)) return ::testing::AssertionFailure() << e->message();
  return ::testing::AssertionSuccess();
}

inline double uniform(std::mt19937_64& rng, double lo, double hi) {
  return std::uniform_real_distribution<double>(lo, hi)(rng);
}

// A centre as real play finds one: a random board point, snapped to the
// nearest placeable point when it is not placeable itself.
inline std::optional<Point> placeable_point(const AliveZone& zone, std::mt19937_64& rng) {
  const double s = zone.board_size();
  const Point p{uniform(rng, 0.0, s), uniform(rng, 0.0, s)};
  if (zone.deepest(p) <= EPSILON) return p;
  std::optional<Point> q = zone.closest_point(p);
  if (q && zone.deepest(*q) <= EPSILON) return q;
  return std::nullopt;
}

}  // namespace quelmar::testing_support
