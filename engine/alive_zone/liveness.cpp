// The read-only questions of the alive zone as plain scans over every shape
// and segment: depth, distance to the exposed boundary, liveness of a
// territory, nearest placeable point. These define the answers; the indexed
// forms in zone_search.cpp must reproduce them.

#include <cmath>
#include <limits>

#include "alive_zone/alive_zone.hpp"
#include "alive_zone/offer_distance.hpp"
#include "alive_zone/penetration.hpp"
#include "geometry/predicates.hpp"

namespace quelmar {

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

}  // namespace

bool AliveZone::on_board(Point p) const {
  return 0 <= p.x && p.x <= board_size_ && 0 <= p.y && p.y <= board_size_;
}

double AliveZone::penetration_depth(Point p) const {
  double depth = -INF;
  for (const ShapeGeometryEntry& entry : graph_.geometries()) {
    const double v = penetration(entry.geometry, p);
    if (v > depth) depth = v;  // a NaN penetration never wins
  }
  return depth;
}

double AliveZone::reference_deepest(Point p) const {
  if (!on_board(p)) return INF;
  if (forced_eyes_.contains(p)) return -INF;
  return penetration_depth(p);
}

double AliveZone::piece_distance(SegId seg, const LineSegment& q) const {
  const std::optional<Span> span = graph_.segment_span(seg);
  if (!span) return std::numeric_limits<double>::quiet_NaN();
  return span->is_arc ? span->arc.distance_to_segment(q) : span->line.distance_to(q);
}

bool AliveZone::fold_shape_distance(const Shape& shape, const LineSegment& q, double& best) const {
  if (shape.len < 2) return true;
  bool touching = false;
  for_each_exposed(shape, [&](SegId seg, const Segment&) {
    const double d = piece_distance(seg, q);
    if (d < best) best = d;  // a NaN distance never wins
    touching = best <= 0;
    return !touching;
  });
  return !touching;
}

double AliveZone::reference_closest_distance(const LineSegment& q) const {
  double best = INF;
  for (const auto& [id, shape] : graph_.shapes())
    if (!fold_shape_distance(shape, q, best)) return 0.0;
  return best;
}

bool AliveZone::inside_ring0_outside_holes(const std::vector<std::vector<Point>>& rings, Point p,
                                           std::size_t min_hole_vertices) const {
  if (rings.empty() || !point_in_polygon(rings[0], p)) return false;
  for (std::size_t i = 1; i < rings.size(); ++i)
    if (rings[i].size() >= min_hole_vertices && point_in_polygon(rings[i], p)) return false;
  return true;
}

bool AliveZone::reference_cell_is_alive(const std::vector<std::vector<Point>>& rings) const {
  // Cheapest first: this runs for every group after every move.
  for (const std::vector<Point>& ring : rings) {
    for (Point v : ring) {
      if (!on_board(v)) continue;
      if (forced_eyes_.contains(v)) return true;
      if (graph_.geometries().empty()) return true;
      // Threshold 0 here, not EPSILON.
      if (penetration_depth(v) <= 0) return true;
    }
  }
  for (const std::vector<Point>& ring : rings) {
    if (ring.size() < 2) continue;
    for (std::size_t i = 0; i < ring.size(); ++i) {
      const LineSegment edge{ring[i], ring[(i + 1) % ring.size()]};
      if (reference_closest_distance(edge) <= STONE_RADIUS) return true;
    }
  }
  for (const auto& [key, eye] : forced_eyes_) {
    // Holes of two vertices or fewer enclose nothing.
    if (inside_ring0_outside_holes(rings, eye, 3)) return true;
  }
  for (const auto& [id, shape] : graph_.shapes()) {
    bool alive = false;
    for_each_exposed(shape, [&](SegId, const Segment& seg) {
      alive = inside_ring0_outside_holes(rings, seg.start, 0);
      return !alive;
    });
    if (alive) return true;
  }
  return false;
}

std::optional<Point> AliveZone::shape_offer(const Shape& shape, Point p, double& offer_distance) const {
  std::optional<Point> offer;
  offer_distance = INF;
  if (shape.len < 2) {
    // A circle that crosses nothing is whole; an edge line that short
    // offers nothing.
    if (const CircleGeometry* c = as_circle(shape.geometry)) {
      offer = nearest_on_circle(*c, p);
      offer_distance = offer_distance_from(p, *offer);
    }
    return offer;
  }
  // The first of equally near pieces wins.
  for_each_exposed(shape, [&](SegId seg, const Segment&) {
    const std::optional<Span> span = graph_.segment_span(seg);
    if (span) keep_nearer(p, span->closest_point(p), offer, offer_distance);
    return true;
  });
  return offer;
}

std::optional<Point> AliveZone::reference_closest_point(Point p) const {
  if (!std::isfinite(p.x) || !std::isfinite(p.y)) return std::nullopt;
  // Threshold 0: a point within EPSILON of dead space is still snapped.
  if (reference_deepest(p) <= 0) return p;

  std::optional<Point> best;
  double best_distance = INF;
  for (const auto& [id, shape] : graph_.shapes()) {
    double offer_distance = INF;
    const std::optional<Point> offer = shape_offer(shape, p, offer_distance);
    if (offer && offer_distance < best_distance) {
      best = offer;
      best_distance = offer_distance;
    }
  }
  offer_forced_eyes(p, best, best_distance);
  return placeable_near(best, p, &AliveZone::reference_deepest);
}

void AliveZone::offer_forced_eyes(Point p, std::optional<Point>& best, double& best_distance) const {
  // Eyes come after the shapes, in key order: a shape's offer wins a tie.
  for (const auto& [key, eye] : forced_eyes_) {
    keep_nearer(p, eye, best, best_distance);
  }
}

std::optional<Point> AliveZone::placeable_near(std::optional<Point> answer, Point asked,
                                               double (AliveZone::*depth)(Point) const) const {
  if (!answer || (this->*depth)(*answer) <= EPSILON) return answer;
  // Circles overlapping by less than EPSILON only touch and do not cut each
  // other, so a point of one's exposed arc can lie inside the other by up
  // to EPSILON, and by a few ulps more once rounded: a snapped move there
  // would be refused. Step off it by the least trial distance that reaches
  // placeable space, taking the trial point nearest `asked`.
  static constexpr double D = 0.7071067811865476;
  static constexpr Point DIRECTIONS[8] = {{1, 0}, {D, D}, {0, 1}, {-D, D}, {-1, 0}, {-D, -D}, {0, -1}, {D, -D}};
  const double scale = std::fmax(1.0, std::fmax(std::fabs(answer->x), std::fabs(answer->y)));
  for (double h = std::ldexp(scale, -32); h <= std::ldexp(scale, -8); h *= 2) {
    std::optional<Point> best;
    double best_distance = INF;
    for (const Point& u : DIRECTIONS) {
      const Point trial{answer->x + h * u.x, answer->y + h * u.y};
      const double d = offer_distance_from(asked, trial);
      if (d < best_distance && (this->*depth)(trial) <= EPSILON) {
        best = trial;
        best_distance = d;
      }
    }
    if (best) return best;
  }
  // Nothing placeable this close: the inset square is empty or a single
  // point (boards below 2), so its boundary offers only dead space. A forced
  // eye is placeable wherever it lies; without one, nothing is.
  std::optional<Point> eye;
  double eye_distance = INF;
  offer_forced_eyes(asked, eye, eye_distance);
  return eye;
}

}  // namespace quelmar
