#include "voronoi/triangulation.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <utility>

#include "voronoi/exact_predicates.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = Triangulation::NONE;
constexpr double INF = std::numeric_limits<double>::infinity();
// Points swept right after one within this distance on both axes are the
// same point for the triangulation.
constexpr double SKIP_DISTANCE = 4.440892098500626e-16;  // 2^-51
// Beyond these magnitudes the in-circle determinant (fourth powers of
// coordinate differences) could overflow or lose its low bits, so the
// points are rescaled by a power of two, which changes no sign.
constexpr double LARGE = 18446744073709551616.0;  // 2^64
constexpr double SMALL = 1.0 / LARGE;
// Enough for 6 half-edges per point in 32-bit ids, NONE excluded.
constexpr std::size_t MAX_POINTS = 0xFFFFFFFEu / 6 - 2;
// From this many points a radix sort beats comparisons.
constexpr std::size_t RADIX_FROM = 2048;

inline bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

inline double squared_distance(Point a, Point b) {
  const double dx = a.x - b.x, dy = a.y - b.y;
  return dx * dx + dy * dy;
}

// Squared circumradius of a, b, c; infinite when degenerate.
double circumradius2(Point a, Point b, Point c) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double ex = c.x - a.x, ey = c.y - a.y;
  const double bl = dx * dx + dy * dy;
  const double cl = ex * ex + ey * ey;
  const double det = dx * ey - dy * ex;
  if (det == 0.0 || bl == 0.0) return INF;
  const double d = 0.5 / det;
  const double x = (ey * bl - dy * cl) * d;
  const double y = (dx * cl - ex * bl) * d;
  return x * x + y * y;
}

}  // namespace

Point circumcentre(Point a, Point b, Point c) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double ex = c.x - a.x, ey = c.y - a.y;
  const double bl = dx * dx + dy * dy;
  const double cl = ex * ex + ey * ey;
  const double det = dx * ey - dy * ex;
  if (det == 0.0 || bl == 0.0 || cl == 0.0) return {0.0, 0.0};
  const double k = 0.5 / det;
  return {a.x + (ey * bl - dy * cl) * k, a.y + (dx * cl - ex * bl) * k};
}

Result<Triangulation, TriangulationError> triangulate(std::span<const Point> points) {
  Triangulator t;
  const Status<TriangulationError> s = t.run(points);
  if (!s) return Err{s.error()};
  return t.triangulation();
}

Status<TriangulationError> Triangulator::run(std::span<const Point> points) {
  out_.triangles.clear();
  out_.halfedges.clear();
  out_.inedges.clear();
  inconsistent_ = false;
  Status<TriangulationError> status = prepare(points);
  if (status) status = choose_seeds();
  if (!status) {
    out_.inedges.assign(points.size(), NONE);
    pts_ = {};
    return status;
  }
  sort_by_distance();
  store_in_sweep_order();
  start_hull();
  sweep();
  if (inconsistent_) {
    pts_ = {};
    out_.triangles.clear();
    out_.halfedges.clear();
    out_.inedges.assign(points.size(), NONE);
    return Err{TriangulationError::Inconsistent};
  }
  finish(points.size());
  pts_ = {};  // the caller's points are not kept
  return Ok{};
}

// Marks the usable points and, for extreme magnitudes, rescales them.
Status<TriangulationError> Triangulator::prepare(std::span<const Point> points) {
  const std::size_t n = points.size();
  if (n > MAX_POINTS) return Err{TriangulationError::TooManyPoints};
  usable_.resize(n);
  std::size_t count = 0;
  bbox_min_ = {INF, INF};
  bbox_max_ = {-INF, -INF};
  for (std::size_t i = 0; i < n; ++i) {
    const Point p = points[i];
    usable_[i] = finite(p);
    if (!usable_[i]) continue;
    ++count;
    bbox_min_ = {std::min(bbox_min_.x, p.x), std::min(bbox_min_.y, p.y)};
    bbox_max_ = {std::max(bbox_max_.x, p.x), std::max(bbox_max_.y, p.y)};
  }
  const double largest = std::max(std::max(std::fabs(bbox_min_.x), std::fabs(bbox_max_.x)),
                                  std::max(std::fabs(bbox_min_.y), std::fabs(bbox_max_.y)));
  if (count < 3) return Err{TriangulationError::TooFewPoints};
  point_count_ = n;
  pts_ = points;
  skip_distance_ = SKIP_DISTANCE;
  if (largest > LARGE || (largest > 0.0 && largest < SMALL)) {
    const int shift = -std::ilogb(largest);
    scaled_.resize(n);
    for (std::size_t i = 0; i < n; ++i)
      scaled_[i] = {std::ldexp(points[i].x, shift), std::ldexp(points[i].y, shift)};
    pts_ = scaled_;
    skip_distance_ = std::ldexp(SKIP_DISTANCE, shift);
    bbox_min_ = {std::ldexp(bbox_min_.x, shift), std::ldexp(bbox_min_.y, shift)};
    bbox_max_ = {std::ldexp(bbox_max_.x, shift), std::ldexp(bbox_max_.y, shift)};
  }
  return Ok{};
}

// Seeds: nearest to the box centre, its nearest neighbour, and the point
// making the smallest circumcircle with them; stored clockwise.
Status<TriangulationError> Triangulator::choose_seeds() {
  const std::uint32_t n = static_cast<std::uint32_t>(pts_.size());
  const Point c{(bbox_min_.x + bbox_max_.x) / 2, (bbox_min_.y + bbox_max_.y) / 2};
  auto nearest = [&](Point from, std::uint32_t& best) {
    double best_d = INF;
    for (std::uint32_t i = 0; i < n; ++i) {
      if (!usable_[i]) continue;
      const double d = squared_distance(from, pts_[i]);
      if (d > 0.0 && d < best_d) {
        best = i;
        best_d = d;
      }
    }
    return best_d < INF;
  };
  if (!nearest(c, i0_) || !nearest(pts_[i0_], i1_)) return Err{TriangulationError::Collinear};
  const Point p0 = pts_[i0_], p1 = pts_[i1_];
  double best_r = INF;
  for (std::uint32_t i = 0; i < n; ++i) {
    if (!usable_[i] || i == i0_ || i == i1_) continue;
    const double r = circumradius2(p0, p1, pts_[i]);
    // The exact test keeps a triple that only rounding made non-collinear.
    if (r < best_r && orient2d(p0, p1, pts_[i]) != 0.0) {
      i2_ = i;
      best_r = r;
    }
  }
  if (!(best_r < INF)) return Err{TriangulationError::Collinear};
  if (orient2d(p0, p1, pts_[i2_]) > 0.0) std::swap(i1_, i2_);
  centre_ = circumcentre(pts_[i0_], pts_[i1_], pts_[i2_]);
  return Ok{};
}

void Triangulator::sort_by_distance() {
  order_.clear();
  for (std::uint32_t i = 0; i < pts_.size(); ++i)
    if (usable_[i]) order_.push_back({squared_distance(pts_[i], centre_), i});
  if (order_.size() >= RADIX_FROM) {
    radix_sort_by_distance();
    return;
  }
  std::sort(order_.begin(), order_.end(), [](const SortKey& a, const SortKey& b) {
    return a.dist < b.dist || (a.dist == b.dist && a.index < b.index);
  });
}

// The same order as the comparison sort: squared distances are never
// negative (nor -0.0 or NaN), so their bit patterns order as the numbers
// do, and a stable pass over keys built in index order keeps ties by index.
void Triangulator::radix_sort_by_distance() {
  constexpr unsigned BITS = 11;
  constexpr std::size_t BUCKETS = std::size_t{1} << BITS;
  std::vector<std::uint32_t>& count = radix_count_;
  order_spare_.resize(order_.size());
  for (unsigned shift = 0; shift < 64; shift += BITS) {
    count.assign(BUCKETS, 0);
    auto digit = [shift](const SortKey& k) {
      return static_cast<std::size_t>((std::bit_cast<std::uint64_t>(k.dist) >> shift) & (BUCKETS - 1));
    };
    for (const SortKey& k : order_) ++count[digit(k)];
    if (count[digit(order_[0])] == order_.size()) continue;  // one digit for all: nothing moves
    std::uint32_t sum = 0;
    for (std::uint32_t& c : count) sum += std::exchange(c, sum);
    for (const SortKey& k : order_) order_spare_[count[digit(k)]++] = k;
    order_.swap(order_spare_);
  }
}

// From here on a point is named by its place in the sweep: the points the
// flips and hull walks touch were swept recently, so they sit close together
// in memory. finish() maps the names back to input indices.
void Triangulator::store_in_sweep_order() {
  sorted_.resize(order_.size());
  for (std::uint32_t k = 0; k < order_.size(); ++k) {
    const std::uint32_t i = order_[k].index;
    sorted_[k] = pts_[i];
    if (i == i0_) s0_ = k;
    if (i == i1_) s1_ = k;
    if (i == i2_) s2_ = k;
  }
  i0_ = s0_;
  i1_ = s1_;
  i2_ = s2_;
  pts_ = sorted_;
}

void Triangulator::start_hull() {
  const std::size_t n = pts_.size();
  hash_size_ = static_cast<std::uint32_t>(std::ceil(std::sqrt(static_cast<double>(point_count_))));
  hull_prev_.resize(n);
  hull_next_.resize(n);
  hull_tri_.resize(n);
  hull_hash_.assign(hash_size_, NONE);
  // At most 2n - 5 triangles; one spare slot absorbs writes after an
  // inconsistency is detected, so nothing is written out of bounds.
  out_.triangles.resize(3 * (2 * n - 4));
  out_.halfedges.resize(out_.triangles.size());
  edge_count_ = 0;

  hull_start_ = i0_;
  hull_size_ = 3;
  hull_next_[i0_] = hull_prev_[i2_] = i1_;
  hull_next_[i1_] = hull_prev_[i0_] = i2_;
  hull_next_[i2_] = hull_prev_[i1_] = i0_;
  hull_tri_[i0_] = 0;
  hull_tri_[i1_] = 1;
  hull_tri_[i2_] = 2;
  hull_hash_[hash_key(pts_[i0_])] = i0_;
  hull_hash_[hash_key(pts_[i1_])] = i1_;
  hull_hash_[hash_key(pts_[i2_])] = i2_;
  add_triangle(i0_, i1_, i2_, NONE, NONE, NONE);
  inserted_ = 3;
}

void Triangulator::sweep() {
  double xp = 0.0, yp = 0.0;
  for (std::uint32_t k = 0; k < pts_.size(); ++k) {
    const std::uint32_t i = k;
    const Point p = pts_[i];
    if (k > 0 && std::fabs(p.x - xp) <= skip_distance_ && std::fabs(p.y - yp) <= skip_distance_)
      continue;
    xp = p.x;
    yp = p.y;
    if (i == i0_ || i == i1_ || i == i2_) continue;
    insert(i);
    if (inconsistent_) return;
  }
}

// Bucket of the pseudo-angle of p around the sweep centre.
std::uint32_t Triangulator::hash_key(Point p) const {
  const double dx = p.x - centre_.x, dy = p.y - centre_.y;
  const double q = dx / (std::fabs(dx) + std::fabs(dy));
  const double angle = (dy > 0.0 ? 3.0 - q : 1.0 + q) * 0.25;
  const double bucket = angle * hash_size_;
  // A point at the centre itself has no angle (0 / 0); bucket 0 will do.
  if (!(bucket >= 0.0)) return 0;
  // Truncation is the floor here (the value is not negative), and the value
  // is at most the bucket count, so one subtraction is the modulo.
  const std::uint32_t k = static_cast<std::uint32_t>(bucket);
  return k >= hash_size_ ? k - hash_size_ : k;
}

// Adds point i: outside the hull by the fan of the edges it sees; if rounding
// in the sweep order left it on or inside the hull, by splitting the
// triangle or edge that holds it.
void Triangulator::insert(std::uint32_t i) {
  flip_budget_ = 2 * static_cast<std::int64_t>(inserted_) + 64;
  const std::uint32_t start = hull_vertex_near(pts_[i]);
  if (start == NONE) {
    inconsistent_ = true;  // the last point added is always hashed
    return;
  }
  const std::uint32_t e = visible_edge(pts_[i], start);
  if (e == NONE)
    insert_inside(i, start);
  else
    add_fan(i, e, e == start);
}

// The hull vertex before the first live one the hash finds at p's angle.
std::uint32_t Triangulator::hull_vertex_near(Point p) const {
  for (std::uint32_t j = 0, key = hash_key(p); j < hash_size_; ++j) {
    const std::uint32_t s = hull_hash_[key];
    if (s != NONE && s != hull_next_[s]) return hull_prev_[s];
    if (++key == hash_size_) key = 0;
  }
  return NONE;
}

// The first hull edge from `start` onwards that p sees strictly from
// outside; NONE when p is on or inside the hull.
std::uint32_t Triangulator::visible_edge(Point p, std::uint32_t start) const {
  std::uint32_t e = start;
  for (std::uint32_t steps = 0; steps <= hull_size_; ++steps) {
    const std::uint32_t q = hull_next_[e];
    if (orient2d(p, pts_[e], pts_[q]) > 0.0) return e;
    e = q;
    if (e == start) return NONE;
  }
  return NONE;
}

// Triangles from point i to every hull edge it sees, starting at edge e;
// the walk backwards is needed only when e is where the search started.
void Triangulator::add_fan(std::uint32_t i, std::uint32_t e, bool walk_back) {
  const Point p = pts_[i];
  std::uint32_t t = add_triangle(e, i, hull_next_[e], NONE, NONE, hull_tri_[e]);
  hull_tri_[i] = legalize(t + 2);
  hull_tri_[e] = t;
  ++hull_size_;

  const std::uint32_t limit = hull_size_;
  std::uint32_t n = hull_next_[e];
  for (std::uint32_t steps = 0; steps < limit; ++steps) {
    const std::uint32_t q = hull_next_[n];
    if (!(orient2d(p, pts_[n], pts_[q]) > 0.0)) break;
    t = add_triangle(n, i, q, hull_tri_[i], NONE, hull_tri_[n]);
    hull_tri_[i] = legalize(t + 2);
    hull_next_[n] = n;  // off the hull
    --hull_size_;
    n = q;
  }
  for (std::uint32_t steps = 0; walk_back && steps < limit; ++steps) {
    const std::uint32_t q = hull_prev_[e];
    if (!(orient2d(p, pts_[q], pts_[e]) > 0.0)) break;
    t = add_triangle(q, i, e, NONE, hull_tri_[e], hull_tri_[q]);
    legalize(t + 2);
    hull_tri_[q] = t;
    hull_next_[e] = e;
    --hull_size_;
    e = q;
  }
  if (hull_size_ < 3) inconsistent_ = true;

  hull_start_ = hull_prev_[i] = e;
  hull_next_[e] = hull_prev_[n] = i;
  hull_next_[i] = n;
  hull_hash_[hash_key(p)] = i;
  hull_hash_[hash_key(pts_[e])] = e;
  ++inserted_;
}

std::uint32_t Triangulator::add_triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                         std::uint32_t ab, std::uint32_t bc, std::uint32_t ca) {
  std::uint32_t t = edge_count_;
  if (t + 6 > out_.triangles.size()) {
    inconsistent_ = true;  // more triangles than a planar triangulation has
    t = static_cast<std::uint32_t>(out_.triangles.size() - 3);
  } else {
    edge_count_ += 3;
  }
  out_.triangles[t] = a;
  out_.triangles[t + 1] = b;
  out_.triangles[t + 2] = c;
  link(t, ab);
  link(t + 1, bc);
  link(t + 2, ca);
  return t;
}

void Triangulator::link(std::uint32_t a, std::uint32_t b) {
  out_.halfedges[a] = b;
  if (b != NONE) out_.halfedges[b] = a;
}

/* Restores the empty-circle property around the point just added, which is
   the corner of a's triangle opposite a. Answers the half-edge that now
   leaves the new point along the hull side it started on.

             pl                    pl
            /||\                  /  \
         al/ || \bl            al/    \a
          /  ||  \              /      \
         /  a||b  \    flip    /___ar___\
       p0\   ||   /p1   =>   p0\---bl---/p1
          \  ||  /              \      /
         ar\ || /br             b\    /br
            \||/                  \  /
             pr                    pr
*/
std::uint32_t Triangulator::legalize(std::uint32_t a) {
  std::vector<std::uint32_t>& stack = edge_stack_;
  std::vector<std::uint32_t>& tri = out_.triangles;
  std::vector<std::uint32_t>& half = out_.halfedges;
  stack.clear();
  std::uint32_t ar = 0;
  for (;;) {
    const std::uint32_t b = half[a];
    const std::uint32_t a0 = a - a % 3;
    ar = a0 + (a + 2) % 3;
    bool flipped = false;
    if (b != NONE) {
      const std::uint32_t b0 = b - b % 3;
      const std::uint32_t al = a0 + (a + 1) % 3;
      const std::uint32_t bl = b0 + (b + 2) % 3;
      const std::uint32_t p0 = tri[ar], pr = tri[a], pl = tri[al], p1 = tri[bl];
      // a's triangle (pr, pl, p0) is clockwise: p1 inside its circle is negative.
      if (incircle(pts_[p0], pts_[pr], pts_[pl], pts_[p1]) < 0.0) {
        if (--flip_budget_ < 0) {
          inconsistent_ = true;  // flips cannot outnumber the new point's edges
          return ar;
        }
        tri[a] = p1;
        tri[b] = p0;
        const std::uint32_t hbl = half[bl];
        if (hbl == NONE) move_hull_reference(bl, a);
        link(a, hbl);
        link(b, half[ar]);
        link(ar, bl);
        stack.push_back(b0 + (b + 1) % 3);
        flipped = true;
      }
    }
    if (flipped) continue;
    if (stack.empty()) break;
    a = stack.back();
    stack.pop_back();
  }
  return ar;
}

// A flip moved a hull edge from half-edge `from` to `to`.
void Triangulator::move_hull_reference(std::uint32_t from, std::uint32_t to) {
  std::uint32_t e = hull_start_;
  for (std::size_t steps = 0; steps < pts_.size(); ++steps) {
    if (hull_tri_[e] == from) {
      hull_tri_[e] = to;
      return;
    }
    e = hull_prev_[e];
    if (e == hull_start_) return;
  }
}

void Triangulator::finish(std::size_t point_count) {
  out_.triangles.resize(edge_count_);
  out_.halfedges.resize(edge_count_);
  out_.inedges.assign(point_count, NONE);
  std::uint32_t* tri = out_.triangles.data();
  const std::uint32_t* half = out_.halfedges.data();
  std::uint32_t* in = out_.inedges.data();
  // Per triangle: back to input indices, then half-edge e ends at the
  // point of next(e). Half-edges are visited in index order.
  for (std::uint32_t t = 0; t < edge_count_; t += 3) {
    const std::uint32_t a = order_[tri[t]].index, b = order_[tri[t + 1]].index,
                        c = order_[tri[t + 2]].index;
    tri[t] = a;
    tri[t + 1] = b;
    tri[t + 2] = c;
    if (half[t] == NONE || in[b] == NONE) in[b] = t;
    if (half[t + 1] == NONE || in[c] == NONE) in[c] = t + 1;
    if (half[t + 2] == NONE || in[a] == NONE) in[a] = t + 2;
  }
}

}  // namespace quelmar
