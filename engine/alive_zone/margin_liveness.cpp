// cell_is_alive for rings a local computation knows only up to the last
// bits of their points. Each of its four tests is decided with a margin
// that covers both how far the rings' points may lie from the ones the
// partition computes (their spreads) and the rounding of the measure
// itself; a test that falls within its margin decides nothing, and a
// territory whose every test fails by its margin is dead.
//
// The bound. Every measure here is an exact function of the rings that
// moves by at most the distance its points move: depth (the greatest
// penetration, each shape's 1-Lipschitz), distance from an edge to the
// exposed boundary (for a line piece the true segment distance; for an arc
// the measure Arc::distance_to_segment takes, continuous where its cases
// meet and 1-Lipschitz within each), and distance from a point to a ring.
// A point within `spread` in each coordinate lies within 2 spread of it,
// so a measure moves by at most 2 spread between our rings and the
// partition's. Each computed measure differs from its exact value by its
// rounding: at most a few dozen operations, atan2, cos and sin included,
// on values below 4 (S + 8) for a board of side S, far below
// rounding_slack() = 2^-40 (S + 8), which each side of a comparison
// concedes once. The same slack covers the pieces of outline that carving
// again after an undo computes afresh, a few ulps from the old ones.

#include <algorithm>
#include <cmath>
#include <limits>

#include "alive_zone/alive_zone.hpp"
#include "geometry/predicates.hpp"

namespace quelmar {

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

double point_segment_distance(Point p, Point a, Point b) { return distance(p, closest_on_segment(p, a, b)); }

// Where p lies against one ring, for every ring within the spreads: the
// even-odd test of point_in_polygon on our points, good for every such
// ring when p keeps its margin from every edge.
enum class Within { Inside, Outside, Unsure };

Within ring_side(std::span<const FuzzyPoint> ring, Point p, double slack) {
  const std::size_t n = ring.size();
  if (n < 3) return Within::Outside;
  bool inside = false;
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const Point pi = ring[i].at, pj = ring[j].at;
    const double margin = 2.0 * std::max(ring[i].spread, ring[j].spread) + 2.0 * slack;
    if (p.y >= std::min(pi.y, pj.y) - margin && p.y <= std::max(pi.y, pj.y) + margin &&
        p.x >= std::min(pi.x, pj.x) - margin && p.x <= std::max(pi.x, pj.x) + margin &&
        !(point_segment_distance(p, pi, pj) > margin))
      return Within::Unsure;
    if ((p.y < pj.y) != (p.y < pi.y) && p.x < (p.y - pi.y) * (pj.x - pi.x) / (pj.y - pi.y) + pi.x)
      inside = !inside;
  }
  return inside ? Within::Inside : Within::Outside;
}

double ring_area(std::span<const FuzzyPoint> ring, double& perimeter, double& spread) {
  double sum = 0.0;
  perimeter = 0.0;
  spread = 0.0;
  for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
    sum += ring[j].at.x * ring[i].at.y - ring[j].at.y * ring[i].at.x;
    perimeter += distance(ring[j].at, ring[i].at);
    spread = std::max(spread, ring[i].spread);
  }
  return std::fabs(0.5 * sum);
}

}  // namespace

double AliveZone::rounding_slack() const { return std::ldexp(board_size_ + 8.0, -40); }

Life AliveZone::fuzzy_vertex_alive(const FuzzyPoint& v) const {
  const double margin = 2.0 * v.spread + 2.0 * rounding_slack();
  // A forced eye the vertex may be exactly: alive by that alone only when
  // the vertex has no spread.
  bool eye_within = false;
  bool eye_here = false;
  for_each_eye_in(Box::of_point(v.at).grown(v.spread), [&](Point eye) {
    eye_within = true;
    eye_here = eye_here || (v.spread == 0.0 && eye == v.at);
  });
  if (eye_here) return Life::Alive;
  if (v.tag == FuzzyPoint::NO_TAG) return eye_within ? Life::Unsure : Life::Dead;  // on a board line: depth 1 or more
  // Depth beyond the margin on either side, each question stopping at the
  // first shape that answers it.
  if (penetrates(v.at, margin)) return eye_within ? Life::Unsure : Life::Dead;
  return penetrates(v.at, -margin) ? Life::Unsure : Life::Alive;
}

Life AliveZone::fuzzy_edge_alive(const FuzzyPoint& a, const FuzzyPoint& b) const {
  const LineSegment edge{a.at, b.at};
  const double margin = 2.0 * std::max(a.spread, b.spread) + 2.0 * rounding_slack();
  if (!boundary_within(edge, STONE_RADIUS + margin)) return Life::Dead;
  return boundary_within(edge, STONE_RADIUS - margin) ? Life::Alive : Life::Unsure;
}

Life AliveZone::fuzzy_cell_is_alive(std::span<const FuzzyPoint> points, std::span<const std::uint32_t> starts,
                                    std::size_t max_witnesses, std::vector<FuzzyWitness>& witnesses) const {
  witnesses.clear();
  const std::size_t rings = starts.empty() ? 0 : starts.size() - 1;
  if (rings == 0) return Life::Dead;
  auto ring = [&](std::size_t r) { return points.subspan(starts[r], starts[r + 1] - starts[r]); };
  const double slack = rounding_slack();
  bool unsure = false;

  // Vertices first, as cell_is_alive tries them. Once one proves life, a
  // sample of the rest may add witnesses for the caller to keep.
  const std::size_t stride = std::max<std::size_t>(1, points.size() / 32);
  for (std::size_t i = 0; i < points.size(); i += witnesses.empty() ? 1 : stride) {
    switch (fuzzy_vertex_alive(points[i])) {
      case Life::Alive:
        if (points[i].tag == FuzzyPoint::NO_TAG) return Life::Alive;
        witnesses.push_back({points[i].tag, FuzzyPoint::NO_TAG});
        if (witnesses.size() >= max_witnesses) return Life::Alive;
        break;
      case Life::Unsure: unsure = true; break;
      case Life::Dead: break;
    }
  }
  if (!witnesses.empty()) return Life::Alive;

  // Edges within one stone radius of the exposed boundary. One that runs
  // from a vertex, whole or to where it leaves the board, is a witness.
  for (std::size_t r = 0; r < rings; ++r) {
    const std::span<const FuzzyPoint> pts = ring(r);
    for (std::size_t i = 0; i < pts.size(); ++i) {
      const FuzzyPoint& a = pts[i];
      const FuzzyPoint& b = pts[(i + 1) % pts.size()];
      switch (fuzzy_edge_alive(a, b)) {
        case Life::Alive:
          if (a.tag != FuzzyPoint::NO_TAG && b.tag != FuzzyPoint::NO_TAG)
            witnesses.push_back({a.tag, b.tag});
          else if (a.tag != FuzzyPoint::NO_TAG && b.inner == a.tag)
            witnesses.push_back({a.tag, b.outer});
          else if (b.tag != FuzzyPoint::NO_TAG && a.inner == b.tag)
            witnesses.push_back({b.tag, a.outer});
          return Life::Alive;
        case Life::Unsure: unsure = true; break;
        case Life::Dead: break;
      }
    }
  }

  // The points inside the territory: ring 0 is the largest, by a margin
  // that no spread could close.
  std::size_t outer = 0;
  double outer_area = -1.0, outer_perimeter = 0.0, outer_spread = 0.0;
  for (std::size_t r = 0; r < rings; ++r) {
    double perimeter = 0.0, spread = 0.0;
    const double area = ring_area(ring(r), perimeter, spread);
    if (area > outer_area) {
      outer = r;
      outer_area = area;
      outer_perimeter = perimeter;
      outer_spread = spread;
    }
  }
  for (std::size_t r = 0; r < rings; ++r) {
    if (r == outer) continue;
    double perimeter = 0.0, spread = 0.0;
    const double area = ring_area(ring(r), perimeter, spread);
    const double margin = 2.0 * (outer_perimeter + perimeter) * (std::max(outer_spread, spread) + slack) +
                          slack * (board_size_ + 1.0);
    if (!(outer_area - area > margin)) return Life::Unsure;
  }
  auto side = [&](Point p) {
    const Within in0 = ring_side(ring(outer), p, slack);
    if (in0 != Within::Inside) return in0;
    for (std::size_t r = 0; r < rings; ++r) {
      if (r == outer) continue;
      const Within in = ring_side(ring(r), p, slack);
      if (in != Within::Outside) return in == Within::Inside ? Within::Outside : Within::Unsure;
    }
    return Within::Inside;
  };
  std::vector<Point> outer_points;
  for (const FuzzyPoint& p : ring(outer)) outer_points.push_back(p.at);
  const Box near = Box::of_points(outer_points).grown(2.0 * outer_spread + 2.0 * slack);
  bool alive = false;
  auto consider = [&](Point p) {
    const Within w = side(p);
    alive = alive || w == Within::Inside;
    unsure = unsure || w == Within::Unsure;
    return !alive;
  };
  for_each_eye_in(near, [&](Point eye) { (void)consider(eye); });
  if (alive) return Life::Alive;
  for_each_exposed_start_in(near, consider);
  if (alive) return Life::Alive;
  return unsure ? Life::Unsure : Life::Dead;
}

template <class Visit>
void AliveZone::for_each_eye_in(const Box& box, Visit&& visit) const {
  const ForcedEyes::Map& eyes = forced_eyes_.entries();
  // Keys order the eyes of a board by x (see offer_nearer_forced_eyes);
  // anything else scans them all.
  const bool ordered_by_x = eyes.empty() || (eyes.begin()->second.x >= 0 && (eyes.end() - 1)->second.x >= 0);
  if (!ordered_by_x || !index_.tame(box)) {
    for (const auto& [key, eye] : eyes)
      if (box.contains(eye)) visit(eye);
    return;
  }
  auto it = std::lower_bound(eyes.begin(), eyes.end(), box.x0, [](const auto& e, double x) { return e.second.x < x; });
  for (; it != eyes.end() && it->second.x <= box.x1; ++it)
    if (box.contains(it->second)) visit(it->second);
}

template <class Visit>
void AliveZone::for_each_exposed_start_in(const Box& box, Visit&& visit) const {
  bool more = true;
  auto starts_of = [&](const Shape& shape) {
    for_each_exposed(shape, [&](SegId, const Segment& seg) {
      if (box.contains(seg.start)) more = visit(seg.start);
      return more;
    });
  };
  if (!index_.tame(box)) {
    for (const auto& [id, shape] : graph_.shapes())
      if (more) starts_of(shape);
    return;
  }
  const Box near = box.grown(index_.slack());
  for (const ShapeGeometryEntry& e : index_.ungridded()) {
    if (const Shape* shape = graph_.shape(e.id); shape && more) starts_of(*shape);
  }
  // A circle's start points lie on it, within rounding.
  index_.for_each_near(near.grown(ShapeIndex::MAX_RADIUS), [&](const FiledCircle& c) {
    if (!c.exposed || !near.meets_square_of(c.centre, c.radius) || !near.meets(c.reach.grown(index_.slack())))
      return true;
    if (const Shape* shape = graph_.shape(c.id)) starts_of(*shape);
    return more;
  }, Cells::Exposed);
}

}  // namespace quelmar
