// The alive zone's questions answered through the shape index: each visits
// only the shapes that can reach its answer, computes with the arithmetic
// of the plain scans in liveness.cpp and keeps their order wherever order
// can decide. Every pruning bound concedes the index's slack, far beyond
// the rounding of the arithmetic on tame values; an untamed question falls
// back to the plain scan.

#include <algorithm>
#include <cmath>
#include <limits>

#include "alive_zone/alive_zone.hpp"
#include "alive_zone/offer_distance.hpp"
#include "alive_zone/penetration.hpp"
#include "alive_zone/piece_box.hpp"
#include "geometry/angles.hpp"

namespace quelmar {

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

// How far the box lies from an edge's line. Every piece of an edge line
// lies on that line exactly, so nothing on it is nearer.
double edge_line_gap(const EdgeGeometry& e, const Box& b) {
  const double line = e.side == 0 || e.side == 3 ? 1.0 : far_inset(e.board_size);
  const bool vertical = e.side == 0 || e.side == 2;
  const double lo = vertical ? b.x0 : b.y0;
  const double hi = vertical ? b.x1 : b.y1;
  if (line < lo) return lo - line;
  if (line > hi) return line - hi;
  return 0.0;
}

// A lower bound on the distance between the segment and any point of the
// circle: every such point lies outside the disc about the centre that
// misses the segment, and inside the disc that holds it.
double circle_gap(const FiledCircle& c, const LineSegment& q) {
  const double nearest = distance(c.centre, closest_on_segment(c.centre, q.a, q.b));
  const double farthest = std::max(distance(c.centre, q.a), distance(c.centre, q.b));
  return std::max(nearest - c.radius, c.radius - farthest);
}

}  // namespace

double AliveZone::deepest(Point p) const {
  if (!on_board(p)) return INF;
  if (forced_eyes_.contains(p)) return -INF;
  return indexed_penetration_depth(p);
}

double AliveZone::indexed_penetration_depth(Point p) const {
  if (!index_.tame(p)) return penetration_depth(p);
  // The fold of the plain scan, in id order, keeps the first of equal
  // maxima (0.0 against -0.0): the same as keeping the lowest id among
  // them, whatever order the shapes come in. Everything left out lies
  // strictly below the maximum.
  double best = -INF;
  ShapeId best_id = 0;
  auto take = [&](ShapeId id, double v) {
    if (v > best || (v == best && id < best_id)) {  // a NaN penetration never wins
      best = v;
      best_id = id;
    }
  };
  for (const ShapeGeometryEntry& e : index_.ungridded()) take(e.id, penetration(e.geometry, p));
  index_.search_outward(
      Box::of_point(p),
      [&](const FiledCircle& c) {
        take(c.id, c.radius - distance(p, c.centre));
        return true;
      },
      // A circle centred beyond `bound` penetrates by less than
      // MAX_RADIUS − bound: strictly below the best found.
      [&](double bound) { return ShapeIndex::MAX_RADIUS - bound < best; });
  return best;
}

bool AliveZone::penetrates(Point p, double threshold) const {
  if (!index_.tame(p)) return !(penetration_depth(p) <= threshold);
  for (const ShapeGeometryEntry& e : index_.ungridded())
    if (penetration(e.geometry, p) > threshold) return true;
  // Only a circle centred within its radius less the threshold of p counts.
  const double reach = ShapeIndex::MAX_RADIUS + std::max(0.0, -threshold);
  return !index_.for_each_near(Box::of_point(p).grown(reach), [&](const FiledCircle& c) {
    return !(c.radius - distance(p, c.centre) > threshold);
  });
}

double AliveZone::closest_distance(const LineSegment& q) const {
  const Box box = Box::of_segment(q.a, q.b);
  if (!index_.tame(box)) return reference_closest_distance(q);
  double best = INF;
  auto measure = [&](const Shape& shape) { return fold_shape_distance(shape, q, best); };
  bool touching = false;
  index_.search_outward(
      box,
      [&](const FiledCircle& c) {
        if (c.whole || !c.exposed) return true;  // nothing to measure
        const Shape* shape = graph_.shape(c.id);
        touching = shape && !measure(*shape);
        return !touching;
      },
      // Every piece of a circle centred beyond `bound` is farther than
      // bound − MAX_RADIUS.
      [&](double bound) { return best < bound - ShapeIndex::MAX_RADIUS; }, Cells::Exposed);
  if (touching) return 0.0;
  for (const ShapeGeometryEntry& e : index_.ungridded()) {
    if (const EdgeGeometry* edge = as_edge(e.geometry))
      if (edge_line_gap(*edge, box) - index_.slack() > best) continue;
    const Shape* shape = graph_.shape(e.id);
    if (shape && !measure(*shape)) return 0.0;
  }
  return best;
}

bool AliveZone::boundary_within(const LineSegment& q, double limit) const {
  const Box box = Box::of_segment(q.a, q.b);
  if (!index_.tame(box)) return reference_closest_distance(q) <= limit;
  auto within = [&](const Shape& shape) {
    if (shape.len < 2) return false;
    const CircleGeometry* circle = as_circle(shape.geometry);
    bool hit = false;
    for_each_exposed(shape, [&](SegId id, const Segment& seg) {
      // Every measured distance joins a point of q to a point of the
      // piece, so a piece whose box lies beyond reach is not measured.
      if (circle) {
        // The piece's arc as segment_span makes it, without looking the
        // owner up again.
        const Segment* next = graph_.segment(seg.next);
        if (!next) return true;
        if (box_gap(box, arc_piece_box(*circle, seg, *next)) - index_.slack() > limit) return true;
        hit = Arc{circle->centre, circle->radius, seg.offset, next->offset}.distance_to_segment(q) <= limit;
        return !hit;
      }
      hit = piece_distance(id, q) <= limit;
      return !hit;
    });
    return hit;
  };
  const Box reach = box.grown(limit + index_.slack());
  for (const ShapeGeometryEntry& e : index_.ungridded()) {
    if (const EdgeGeometry* edge = as_edge(e.geometry))
      if (edge_line_gap(*edge, reach) > 0) continue;
    const Shape* shape = graph_.shape(e.id);
    if (shape && within(*shape)) return true;
  }
  return !index_.for_each_near(reach.grown(ShapeIndex::MAX_RADIUS), [&](const FiledCircle& c) {
    // Every piece of the circle lies on it.
    if (c.whole || !c.exposed || !reach.meets_square_of(c.centre, c.radius)) return true;
    if (circle_gap(c, q) - index_.slack() > limit) return true;
    if (box_gap(box, c.reach) - index_.slack() > limit) return true;
    const Shape* shape = graph_.shape(c.id);
    return !(shape && within(*shape));
  }, Cells::Exposed);
}

bool AliveZone::cell_is_alive(const std::vector<std::vector<Point>>& rings) const {
  if (!index_.enabled()) return reference_cell_is_alive(rings);
  // Cheapest first: this runs for every group after every move.
  for (const std::vector<Point>& ring : rings) {
    for (Point v : ring) {
      if (!on_board(v)) continue;
      if (forced_eyes_.contains(v)) return true;
      if (graph_.geometries().empty()) return true;
      // Threshold 0 here, not EPSILON.
      if (!penetrates(v, 0.0)) return true;
    }
  }
  for (const std::vector<Point>& ring : rings) {
    if (ring.size() < 2) continue;
    for (std::size_t i = 0; i < ring.size(); ++i) {
      const LineSegment edge{ring[i], ring[(i + 1) % ring.size()]};
      if (boundary_within(edge, STONE_RADIUS)) return true;
    }
  }
  if (rings.empty()) return false;
  // The even-odd test finds nothing outside ring 0's box.
  const Box ring0 = Box::of_points(rings[0]);
  const bool bounded = index_.tame(ring0);
  const Box near = ring0.grown(index_.slack());
  for (const auto& [key, eye] : forced_eyes_) {
    if (bounded && !near.contains(eye)) continue;
    // Holes of two vertices or fewer enclose nothing.
    if (inside_ring0_outside_holes(rings, eye, 3)) return true;
  }
  return boundary_point_inside(rings);
}

bool AliveZone::boundary_point_inside(const std::vector<std::vector<Point>>& rings) const {
  const Box ring0 = Box::of_points(rings[0]);
  const bool bounded = index_.tame(ring0);
  const Box near = ring0.grown(index_.slack());
  auto any_inside = [&](const Shape& shape) {
    bool alive = false;
    for_each_exposed(shape, [&](SegId, const Segment& seg) {
      alive = (!bounded || near.contains(seg.start)) && inside_ring0_outside_holes(rings, seg.start, 0);
      return !alive;
    });
    return alive;
  };
  if (!bounded) {
    for (const auto& [id, shape] : graph_.shapes())
      if (any_inside(shape)) return true;
    return false;
  }
  for (const ShapeGeometryEntry& e : index_.ungridded()) {
    // An edge line's start points lie on its line exactly.
    if (const EdgeGeometry* edge = as_edge(e.geometry))
      if (edge_line_gap(*edge, near) > 0) continue;
    const Shape* shape = graph_.shape(e.id);
    if (shape && any_inside(*shape)) return true;
  }
  return !index_.for_each_near(near.grown(ShapeIndex::MAX_RADIUS), [&](const FiledCircle& c) {
    // A circle's start points lie on it, within rounding.
    if (!c.exposed || !near.meets_square_of(c.centre, c.radius) || !near.meets(c.reach.grown(index_.slack())))
      return true;
    const Shape* shape = graph_.shape(c.id);
    return !(shape && any_inside(*shape));
  }, Cells::Exposed);
}

std::optional<Point> AliveZone::nearer_shape_offer(const Shape& shape, Point p, double bound,
                                                   double& offer_distance) const {
  const CircleGeometry* circle = as_circle(shape.geometry);
  if (shape.len < 2 || !circle) return shape_offer(shape, p, offer_distance);
  // shape_offer's scan, less the pieces whose boxes lie strictly beyond
  // both the nearest piece so far and `bound`: none of them could be the
  // shape's offer, or win with it.
  std::optional<Point> offer;
  offer_distance = INF;
  const Box at = Box::of_point(p);
  for_each_exposed(shape, [&](SegId, const Segment& seg) {
    const Segment* next = graph_.segment(seg.next);
    if (!next) return true;  // no span
    if (box_gap(at, arc_piece_box(*circle, seg, *next)) - index_.slack() > std::min(offer_distance, bound))
      return true;
    // The piece's arc as segment_span makes it, without looking the owner
    // up again.
    keep_nearer(p, Span::of_arc(Arc{circle->centre, circle->radius, seg.offset, next->offset}).closest_point(p),
                offer, offer_distance);
    return true;
  });
  return offer;
}

void AliveZone::offer_nearer_forced_eyes(Point p, std::optional<Point>& best, double& best_distance) const {
  const ForcedEyes::Map& eyes = forced_eyes_.entries();
  // Keys order eyes by the bits of x first, which for the coordinates of a
  // board (zero or positive, -0.0 filed as 0.0) is the order of x itself:
  // only the eyes whose x lies within the best distance can be nearer, and
  // they stand together, in key order. Anything else scans them all.
  const bool ordered_by_x = eyes.empty() || (eyes.begin()->second.x >= 0 && (eyes.end() - 1)->second.x >= 0);
  if (!ordered_by_x || !(best_distance < INF) || !index_.tame(p)) return offer_forced_eyes(p, best, best_distance);
  const double reach = best_distance + index_.slack();
  auto first = std::lower_bound(eyes.begin(), eyes.end(), p.x - reach,
                                [](const auto& e, double x) { return e.second.x < x; });
  for (auto it = first; it != eyes.end() && it->second.x <= p.x + reach; ++it) {
    keep_nearer(p, it->second, best, best_distance);
  }
}

std::optional<Point> AliveZone::closest_point(Point p) const {
  if (!std::isfinite(p.x) || !std::isfinite(p.y)) return std::nullopt;
  if (!index_.tame(p)) return reference_closest_point(p);
  // Depth ≤ 0, threshold 0: a point within EPSILON of dead space is still
  // snapped.
  if (on_board(p) && (forced_eyes_.contains(p) || !penetrates(p, 0.0))) return p;

  // The scan keeps the first shape, in id order, of equally near offers.
  std::optional<Point> best;
  double best_distance = INF;
  ShapeId best_id = 0;
  auto consider = [&](ShapeId id, const Shape& shape) {
    double d = INF;
    const std::optional<Point> offer = nearer_shape_offer(shape, p, best_distance, d);
    if (offer && (d < best_distance || (d == best_distance && id < best_id))) {
      best = offer;
      best_distance = d;
      best_id = id;
    }
  };
  index_.search_outward(
      Box::of_point(p),
      [&](const FiledCircle& c) {
        if (!c.whole && !c.exposed) return true;  // offers nothing
        // Every point the circle offers lies at least this far from p.
        const double gap = std::max(distance(p, c.centre) - c.radius, box_gap(Box::of_point(p), c.reach));
        if (gap - index_.slack() > best_distance) return true;
        if (const Shape* shape = graph_.shape(c.id)) consider(c.id, *shape);
        return true;
      },
      // A circle centred beyond `bound` offers nothing nearer than
      // bound − MAX_RADIUS: strictly farther than the best found.
      [&](double bound) { return best_distance < bound - ShapeIndex::MAX_RADIUS; }, Cells::Offering);
  for (const ShapeGeometryEntry& e : index_.ungridded()) {
    if (const EdgeGeometry* edge = as_edge(e.geometry))
      if (edge_line_gap(*edge, Box::of_point(p)) - index_.slack() > best_distance) continue;
    if (const Shape* shape = graph_.shape(e.id)) consider(e.id, *shape);
  }
  offer_nearer_forced_eyes(p, best, best_distance);
  return placeable_near(best, p, &AliveZone::deepest);
}

}  // namespace quelmar
