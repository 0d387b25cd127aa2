#pragma once
// One group of same-colour stones and the territory it controls: rings
// clipped to the board, ring 0 the outer boundary, later rings holes.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "game/stone.hpp"
#include "geometry/point.hpp"

namespace quelmar {

// A closed polygon: the last point repeats the first.
using Ring = std::vector<Point>;

// Absolute shoelace area of the points as they come, wrapping from the last
// point to the first; 0 for fewer than 3 points.
double ring_area(std::span<const Point> ring);

// Sorts `rings` stably by descending area (a NaN area ties with everything)
// and closes every non-empty one: the ring order and form of every group.
void order_and_close_rings(std::vector<Ring>& rings);

// The order order_and_close_rings puts rings with these areas in: `order`
// (one entry per area) gets the ring indices, `areas` comes back sorted
// with them. An insertion sort in which only a strictly larger area moves
// a ring forward, so NaN areas (which compare false) stay in place and
// equal areas keep their tracing order.
void order_by_area(std::span<double> areas, std::span<std::uint32_t> order);

struct VoronoiGroup {
  std::vector<Stone> stones;  // ascending id
  std::vector<Ring> rings;    // ring 0 outer, later holes, each closed
  Color color = Color::Black;

  // Sorts the stones by id, then orders and closes the rings as
  // order_and_close_rings does.
  static VoronoiGroup make(Color color, std::vector<Stone> stones, std::vector<Ring> rings);

  // Outer area minus the holes; 0 without rings.
  double area() const;
  // Inside ring 0 and outside every hole (even-odd, half-open edges).
  bool contains_point(Point p) const;
  // The group's stable name: its lowest stone id; nothing without stones.
  std::optional<StoneId> color_seed() const;
  // True when no ring has a point: nothing to draw, nothing to measure.
  bool is_empty() const;

  // Field by field; coordinates by bit pattern with -0.0 equal to 0.0.
  friend bool operator==(const VoronoiGroup& a, const VoronoiGroup& b);
};

}  // namespace quelmar
