#include "voronoi/delaunay_mesh.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "voronoi/exact_predicates.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = DelaunayMesh::NONE;
constexpr double INF = std::numeric_limits<double>::infinity();
// Grid cells for the walk's starting places: about 4 units wide, at most
// this many a side.
constexpr std::size_t MAX_HINT_CELLS = 128;

// The centre the partition computes for a, b, c in this order: the inline
// arithmetic, or the out-of-line one where that answers a NaN.
Point centre_of(Point a, Point b, Point c) {
  Point o = circumcentre_inline(a, b, c);
  if (std::isnan(o.x) || std::isnan(o.y)) o = circumcentre(a, b, c);
  return o;
}

bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

}  // namespace

bool DelaunayMesh::build(std::span<const Point> points, double box) {
  Triangulator sweep;
  const bool swept = sweep.run(points).ok();
  const Triangulation& t = sweep.triangulation();
  const bool whole =
      swept && std::none_of(t.inedges.begin(), t.inedges.end(), [](std::uint32_t e) { return e == NONE; });
  tri_.unlogged() = whole ? t.triangles : std::vector<std::uint32_t>{};
  half_.unlogged() = whole ? t.halfedges : std::vector<std::uint32_t>{};
  into_.unlogged() = whole ? t.inedges : std::vector<std::uint32_t>{};
  points_.unlogged().assign(points.begin(), whole ? points.end() : points.begin());
  free_tri_.unlogged().clear();
  free_vertex_.unlogged().clear();
  const std::size_t triangles = tri_.size() / 3;
  std::vector<Point>& centres = centre_.unlogged();
  std::vector<double>& spreads = spread_.unlogged();
  centres.assign(triangles, Point{});
  spreads.assign(triangles, 0.0);
  for (std::uint32_t k = 0; k < triangles; ++k) compute_centre(k, centres[k], spreads[k]);
  std::vector<std::uint64_t>& versions = version_.unlogged();
  std::vector<std::uint8_t>& ties = tie_.unlogged();
  versions.resize(triangles);
  ties.resize(triangles);
  for (std::uint32_t k = 0; k < triangles; ++k) {
    versions[k] = next_version_++;
    ties[k] = !compute_unique(k);
  }
  anchor_ = whole ? static_cast<std::uint32_t>(points.size() - 1) : NONE;

  hint_cells_ = std::clamp<std::size_t>(static_cast<std::size_t>(std::ceil(box / 4.0)), 1, MAX_HINT_CELLS);
  hint_scale_ = box > 0 ? static_cast<double>(hint_cells_) / box : 0.0;
  hints_.assign(hint_cells_ * hint_cells_, NONE);
  for (std::uint32_t v = 0; v < points_.size(); ++v) file_hint(v);
  return whole;
}

DelaunayMesh::Mark DelaunayMesh::mark() const {
  return {tri_.mark(),    half_.mark(),     into_.mark(), points_.mark(),   centre_.mark(),
          spread_.mark(), version_.mark(), tie_.mark(),  free_tri_.mark(), free_vertex_.mark()};
}

void DelaunayMesh::rollback(const Mark& m) noexcept {
  tri_.rollback(m.tri);
  half_.rollback(m.half);
  into_.rollback(m.into);
  points_.rollback(m.points);
  centre_.rollback(m.centre);
  spread_.rollback(m.spread);
  version_.rollback(m.version);
  tie_.rollback(m.tie);
  free_tri_.rollback(m.free_tri);
  free_vertex_.rollback(m.free_vertex);
}

void DelaunayMesh::forget_before(const Mark& m) {
  tri_.forget_before(m.tri);
  half_.forget_before(m.half);
  into_.forget_before(m.into);
  points_.forget_before(m.points);
  centre_.forget_before(m.centre);
  spread_.forget_before(m.spread);
  version_.forget_before(m.version);
  tie_.forget_before(m.tie);
  free_tri_.forget_before(m.free_tri);
  free_vertex_.forget_before(m.free_vertex);
}

void DelaunayMesh::clear_logs() {
  tri_.clear_log();
  half_.clear_log();
  into_.clear_log();
  points_.clear_log();
  centre_.clear_log();
  spread_.clear_log();
  version_.clear_log();
  tie_.clear_log();
  free_tri_.clear_log();
  free_vertex_.clear_log();
}

std::array<Point, 3> DelaunayMesh::rotated_centres(std::uint32_t t) const {
  const Point a = points_[tri_[3 * t]], b = points_[tri_[3 * t + 1]], c = points_[tri_[3 * t + 2]];
  return {centre_of(a, b, c), centre_of(b, c, a), centre_of(c, a, b)};
}

// The spread is the largest difference, rounded up: the subtraction that
// measures it may round down by half an ulp.
void DelaunayMesh::compute_centre(std::uint32_t t, Point& centre, double& spread) const {
  const std::array<Point, 3> c = rotated_centres(t);
  spread = 0.0;
  for (int k = 1; k < 3; ++k)
    spread = std::max({spread, std::fabs(c[k].x - c[0].x), std::fabs(c[k].y - c[0].y)});
  if (!finite(c[0]) || !finite(c[1]) || !finite(c[2]) || !(spread < INF))
    spread = INF;
  else if (spread > 0.0)
    spread = std::nextafter(spread, INF);
  centre = c[0];
}

void DelaunayMesh::update_centre(std::uint32_t t) {
  Point centre;
  double spread = 0.0;
  compute_centre(t, centre, spread);
  centre_.set(t, centre);
  spread_.set(t, spread);
}

bool DelaunayMesh::compute_unique(std::uint32_t t) const {
  const Point a = points_[tri_[3 * t]], b = points_[tri_[3 * t + 1]], c = points_[tri_[3 * t + 2]];
  for (std::uint32_t k = 0; k < 3; ++k) {
    const std::uint32_t h = half_[3 * t + k];
    if (h != NONE && incircle(a, b, c, points_[tri_[prev_halfedge(h)]]) == 0.0) return false;
  }
  return true;
}

void DelaunayMesh::mark_tie(std::uint32_t t) {
  if (tie_[t] == 0) tie_.set(t, 1);
}

void DelaunayMesh::neighbours(std::uint32_t v, std::vector<std::uint32_t>& out) const {
  out.clear();
  const std::uint32_t h0 = into_[v];
  std::uint32_t h = h0;
  do {
    out.push_back(tri_[h]);
    h = turn(h);
  } while (h != h0 && h != NONE && out.size() <= tri_.size());
}

void DelaunayMesh::file_hint(std::uint32_t v) {
  const Point p = points_[v];
  const double cx = std::floor(p.x * hint_scale_), cy = std::floor(p.y * hint_scale_);
  const auto cells = static_cast<double>(hint_cells_);
  if (!(cx >= 0 && cx < cells && cy >= 0 && cy < cells)) return;
  hints_[static_cast<std::size_t>(cy) * hint_cells_ + static_cast<std::size_t>(cx)] = v;
}

std::uint32_t DelaunayMesh::start_near(Point p) const {
  const double cx = std::floor(p.x * hint_scale_), cy = std::floor(p.y * hint_scale_);
  const auto cells = static_cast<double>(hint_cells_);
  if (cx >= 0 && cx < cells && cy >= 0 && cy < cells) {
    const std::uint32_t v = hints_[static_cast<std::size_t>(cy) * hint_cells_ + static_cast<std::size_t>(cx)];
    if (live(v)) return into_[v] / 3;
  }
  return into_[anchor_] / 3;
}

// A visibility walk, which cannot cycle in a Delaunay triangulation, then
// a scan of every triangle should the walk run long.
std::uint32_t DelaunayMesh::locate(Point p) const {
  if (anchor_ == NONE || !live(anchor_)) return NONE;
  const auto slots = static_cast<std::uint32_t>(tri_.size() / 3);
  auto beyond = [&](std::uint32_t e) { return orient2d(points_[tri_[e]], points_[tri_[next_halfedge(e)]], p) > 0.0; };
  std::uint32_t t = start_near(p);
  for (std::uint32_t steps = 0; steps <= slots; ++steps) {
    std::uint32_t cross = NONE;
    for (std::uint32_t k = 0; k < 3 && cross == NONE; ++k) {
      const std::uint32_t e = 3 * t + (k + steps) % 3;
      if (beyond(e)) cross = e;
    }
    if (cross == NONE) return t;
    if (half_[cross] == NONE) return NONE;  // beyond the hull
    t = half_[cross] / 3;
  }
  for (t = 0; t < slots; ++t)
    if (live_triangle(t) && !beyond(3 * t) && !beyond(3 * t + 1) && !beyond(3 * t + 2)) return t;
  return NONE;
}

std::uint32_t DelaunayMesh::new_vertex(Point p) {
  if (!free_vertex_.empty()) {
    const std::uint32_t v = free_vertex_.back();
    free_vertex_.pop_back();
    points_.set(v, p);
    return v;
  }
  const auto v = static_cast<std::uint32_t>(points_.size());
  points_.push_back(p);
  into_.push_back(NONE);
  return v;
}

std::uint32_t DelaunayMesh::new_triangle() {
  if (!free_tri_.empty()) {
    const std::uint32_t t = free_tri_.back();
    free_tri_.pop_back();
    return t;
  }
  const auto t = static_cast<std::uint32_t>(tri_.size() / 3);
  for (int k = 0; k < 3; ++k) {
    tri_.push_back(NONE);
    half_.push_back(NONE);
  }
  centre_.push_back(Point{});
  spread_.push_back(0.0);
  version_.push_back(0);
  tie_.push_back(0);
  return t;
}

void DelaunayMesh::set_triangle(std::uint32_t t, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  tri_.set(3 * t, a);
  tri_.set(3 * t + 1, b);
  tri_.set(3 * t + 2, c);
  renew(t);
}

// A remade triangle: a new version, and no tie until one is found.
void DelaunayMesh::renew(std::uint32_t t) {
  version_.set(t, next_version_++);
  if (tie_[t] != 0) tie_.set(t, 0);
}

void DelaunayMesh::link(std::uint32_t a, std::uint32_t b) {
  half_.set(a, b);
  if (b != NONE) half_.set(b, a);
}

std::uint32_t DelaunayMesh::insert(Point p, Change& change) {
  change.lost.clear();
  change.made.clear();
  change.ring.clear();
  change.degenerate = false;
  const std::uint32_t t = locate(p);
  if (t == NONE) return NONE;
  const std::uint32_t e = 3 * t;
  const Point a = points_[tri_[e]], b = points_[tri_[e + 1]], c = points_[tri_[e + 2]];
  for (Point q : {a, b, c})
    if (q.x == p.x && q.y == p.y) return NONE;
  const int side = side_holding(a, b, c, p);
  const std::uint32_t on_edge = side < 0 ? NONE : e + static_cast<std::uint32_t>(side);
  if (on_edge != NONE && half_[on_edge] == NONE) return NONE;  // on the hull, outside what the mesh covers
  const std::uint32_t v = new_vertex(p);
  if (on_edge == NONE)
    split_triangle(t, v, change);
  else
    split_edge(on_edge, v, change);
  finish_star(v, t, change);
  file_hint(v);
  return v;
}

// (a, b, c) becomes (a, b, p), (b, c, p), (c, a, p).
void DelaunayMesh::split_triangle(std::uint32_t t, std::uint32_t p, Change& change) {
  const std::uint32_t e = 3 * t;
  const std::uint32_t a = tri_[e], b = tri_[e + 1], c = tri_[e + 2];
  const std::uint32_t hbc = half_[e + 1], hca = half_[e + 2];
  const std::uint32_t t1 = 3 * new_triangle(), t2 = 3 * new_triangle();
  tri_.set(e + 2, p);
  set_triangle(t1 / 3, b, c, p);
  set_triangle(t2 / 3, c, a, p);
  link(t1, hbc);
  link(t2, hca);
  link(e + 1, t1 + 2);
  link(t1 + 1, t2 + 2);
  link(t2 + 1, e + 2);
  legalize(e, change);
  legalize(t1, change);
  legalize(t2, change);
}

// Edge e = (a -> b) of (a, b, c), twin (b -> a) of (b, a, d), with p on
// it: four triangles (b, c, p), (c, a, p), (a, d, p), (d, b, p).
void DelaunayMesh::split_edge(std::uint32_t e, std::uint32_t p, Change& change) {
  const std::uint32_t f = half_[e];
  const std::uint32_t en = next_halfedge(e), ep = prev_halfedge(e);
  const std::uint32_t fn = next_halfedge(f), fp = prev_halfedge(f);
  const std::uint32_t a = tri_[e], b = tri_[en], c = tri_[ep], d = tri_[fp];
  const std::uint32_t hbc = half_[en], hca = half_[ep], had = half_[fn], hdb = half_[fp];
  const std::uint32_t s = e - e % 3, u = f - f % 3;
  const std::uint32_t t2 = 3 * new_triangle(), u2 = 3 * new_triangle();
  change.lost.push_back({a, b});
  set_triangle(s / 3, b, c, p);
  set_triangle(u / 3, a, d, p);
  set_triangle(t2 / 3, c, a, p);
  set_triangle(u2 / 3, d, b, p);
  link(s, hbc);
  link(u, had);
  link(t2, hca);
  link(u2, hdb);
  link(s + 1, t2 + 2);
  link(s + 2, u2 + 1);
  link(t2 + 1, u + 2);
  link(u + 1, u2 + 2);
  legalize(s, change);
  legalize(t2, change);
  legalize(u, change);
  legalize(u2, change);
}

/* Restores the empty-circle property around the new point p0, the corner
   of a's triangle opposite a, flipping as the sweep triangulator does:

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
void DelaunayMesh::legalize(std::uint32_t a, Change& change) {
  stack_.clear();
  for (;;) {
    const std::uint32_t b = half_[a];
    const std::uint32_t a0 = a - a % 3;
    const std::uint32_t ar = a0 + (a + 2) % 3;
    bool flipped = false;
    if (b != NONE) {
      const std::uint32_t b0 = b - b % 3;
      const std::uint32_t al = a0 + (a + 1) % 3;
      const std::uint32_t bl = b0 + (b + 2) % 3;
      const std::uint32_t p0 = tri_[ar], pr = tri_[a], pl = tri_[al], p1 = tri_[bl];
      // a's triangle (pr, pl, p0) is clockwise: p1 inside its circle is negative.
      const double in = incircle(points_[p0], points_[pr], points_[pl], points_[p1]);
      if (in == 0.0) {
        // Not flipped, so both triangles stand as they are: a tie.
        change.degenerate = true;
        mark_tie(a0 / 3);
        mark_tie(b0 / 3);
      }
      if (in < 0.0) {
        change.lost.push_back({pr, pl});
        const std::uint32_t hbl = half_[bl], har = half_[ar];
        tri_.set(a, p1);
        tri_.set(b, p0);
        renew(a0 / 3);
        renew(b0 / 3);
        link(a, hbl);
        link(b, har);
        link(ar, bl);
        stack_.push_back(b0 + (b + 1) % 3);
        flipped = true;
      }
    }
    if (flipped) continue;
    if (stack_.empty()) break;
    a = stack_.back();
    stack_.pop_back();
  }
}

// After the flips every triangle that held p still holds it, slot t
// among them. Walks p's star: the ring of points round it, their incoming
// half-edges where a flip took theirs, and the centres of the star.
void DelaunayMesh::finish_star(std::uint32_t p, std::uint32_t t, Change& change) {
  std::uint32_t k = 0;
  while (k < 2 && tri_[3 * t + k] != p) ++k;
  const std::uint32_t h0 = 3 * t + (k + 2) % 3;  // ends at p
  into_.set(p, h0);
  std::uint32_t h = h0;
  do {
    const std::uint32_t u = tri_[h];
    change.ring.push_back(u);
    if (tri_[next_halfedge(into_[u])] != u) into_.set(u, prev_halfedge(h));
    update_centre(h / 3);
    // The flips tested every edge of the star's rim; a point on the circle
    // of a neighbour across a spoke would make another tie.
    const std::uint32_t t = h / 3, across = turn(h);
    if (across != NONE &&
        incircle(points_[tri_[3 * t]], points_[tri_[3 * t + 1]], points_[tri_[3 * t + 2]],
                 points_[tri_[prev_halfedge(across)]]) == 0.0) {
      change.degenerate = true;
      mark_tie(t);
      mark_tie(across / 3);
    }
    h = across;
  } while (h != h0 && h != NONE && change.ring.size() <= tri_.size());
}

bool DelaunayMesh::same_as(const DelaunayMesh& o) const {
  auto bits = [](const std::vector<Point>& a, const std::vector<Point>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](Point p, Point q) {
             return std::bit_cast<std::uint64_t>(p.x) == std::bit_cast<std::uint64_t>(q.x) &&
                    std::bit_cast<std::uint64_t>(p.y) == std::bit_cast<std::uint64_t>(q.y);
           });
  };
  auto spreads = [](const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](double x, double y) {
             return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y);
           });
  };
  return tri_.items() == o.tri_.items() && half_.items() == o.half_.items() && into_.items() == o.into_.items() &&
         version_.items() == o.version_.items() && tie_.items() == o.tie_.items() &&
         bits(points_.items(), o.points_.items()) && bits(centre_.items(), o.centre_.items()) &&
         spreads(spread_.items(), o.spread_.items()) && free_tri_.items() == o.free_tri_.items() &&
         free_vertex_.items() == o.free_vertex_.items() && anchor_ == o.anchor_;
}

std::optional<std::string> DelaunayMesh::validate() const {
  const std::size_t slots = tri_.size() / 3;
  if (tri_.size() != half_.size() || centre_.size() != slots || spread_.size() != slots ||
      version_.size() != slots || tie_.size() != slots ||
      into_.size() != points_.size())
    return "the mesh's arrays disagree in length";
  std::vector<std::uint8_t> free_t(slots, 0), free_v(points_.size(), 0);
  for (std::uint32_t t : free_tri_.items()) {
    if (t >= slots || free_t[t]++ || live_triangle(t)) return "a free triangle slot is in use or listed twice";
  }
  for (std::uint32_t v : free_vertex_.items()) {
    if (v >= points_.size() || free_v[v]++ || live(v)) return "a free vertex slot is in use or listed twice";
  }
  // The live part as a compact triangulation, checked by the sweep's own
  // validation.
  Triangulation compact;
  std::vector<std::uint32_t> renumber(slots, NONE);
  for (std::uint32_t t = 0, n = 0; t < slots; ++t) {
    if (!live_triangle(t) && !free_t[t]) return "a triangle slot is neither live nor free";
    if (live_triangle(t)) renumber[t] = n++;
  }
  for (std::uint32_t t = 0; t < slots; ++t) {
    if (!live_triangle(t)) continue;
    for (std::uint32_t k = 0; k < 3; ++k) {
      const std::uint32_t e = 3 * t + k, h = half_[e];
      compact.triangles.push_back(tri_[e]);
      if (h != NONE && (h >= tri_.size() || !live_triangle(h / 3))) return "a twin names a free triangle";
      compact.halfedges.push_back(h == NONE ? NONE : 3 * renumber[h / 3] + h % 3);
    }
    const std::array<Point, 3> c = rotated_centres(t);
    if (!(centre_[t] == c[0])) return "a stored centre is not the triangle's";
    if (unique(t) && !compute_unique(t)) return "a triangle with a tie is not marked";
    for (const Point& other : c)
      if (std::fabs(other.x - c[0].x) > spread_[t] || std::fabs(other.y - c[0].y) > spread_[t])
        return "a stored spread does not cover a rotation";
  }
  for (std::uint32_t v = 0; v < points_.size(); ++v) {
    const std::uint32_t e = into_[v];
    if (e == NONE) {
      if (!free_v[v]) return "a vertex slot is neither live nor free";
      compact.inedges.push_back(NONE);
      continue;
    }
    if (e >= tri_.size() || !live_triangle(e / 3) || tri_[next_halfedge(e)] != v) return "an incoming half-edge does not end at its vertex";
    compact.inedges.push_back(3 * renumber[e / 3] + e % 3);
  }
  // Points of free slots are in no triangle; the check then expects no
  // incoming half-edge for them, as given.
  if (auto fault = validate_triangulation(points_.items(), compact))
    return "the mesh is not a Delaunay triangulation (fault " + std::to_string(static_cast<int>(*fault)) + ")";
  return std::nullopt;
}

}  // namespace quelmar
