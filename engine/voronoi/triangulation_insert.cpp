// Insertion of a point that the sweep finds on or inside the hull. With
// exact predicates and exact distances that cannot happen; with distances
// rounded to doubles, a point of a tight cluster can be swept a little out
// of order and land just inside. It is then placed by locating its triangle
// and splitting it (or the edge it lies on), followed by the usual flips.

#include <limits>

#include "voronoi/exact_predicates.hpp"
#include "voronoi/triangulation.hpp"

namespace quelmar {

namespace {
constexpr std::uint32_t NONE = Triangulation::NONE;
}  // namespace

void Triangulator::insert_inside(std::uint32_t i, std::uint32_t hull_vertex) {
  const Point p = pts_[i];
  const std::uint32_t t = locate(p, hull_tri_[hull_vertex] / 3);
  if (t == NONE) return;  // predicates disagree with the hull; leave it out
  const std::uint32_t e = 3 * t;
  const std::vector<std::uint32_t>& tri = out_.triangles;
  const Point a = pts_[tri[e]], b = pts_[tri[e + 1]], c = pts_[tri[e + 2]];
  if (p == a || p == b || p == c) return;  // an exact duplicate stays out
  const int side = side_holding(a, b, c, p);
  const std::uint32_t on_edge = side < 0 ? NONE : e + static_cast<std::uint32_t>(side);
  if (on_edge == NONE)
    split_triangle(t, i);
  else if (out_.halfedges[on_edge] == NONE)
    split_hull_edge(on_edge, i);
  else
    split_inner_edge(on_edge, i);
  ++inserted_;
}

// The triangle whose closed interior holds p: a visibility walk from
// `start`, which cannot cycle in a Delaunay triangulation, then a full scan
// should the walk run long. NONE when no triangle holds p.
std::uint32_t Triangulator::locate(Point p, std::uint32_t start) {
  const std::vector<std::uint32_t>& tri = out_.triangles;
  const std::uint32_t count = edge_count_ / 3;
  auto beyond = [&](std::uint32_t e) {
    return orient2d(pts_[tri[e]], pts_[tri[next_halfedge(e)]], p) > 0.0;
  };
  std::uint32_t t = start;
  for (std::uint32_t steps = 0; steps <= count && t < count; ++steps) {
    std::uint32_t cross = NONE;
    for (std::uint32_t k = 0; k < 3 && cross == NONE; ++k) {
      const std::uint32_t e = 3 * t + (k + steps) % 3;
      if (beyond(e)) cross = e;
    }
    if (cross == NONE) return t;
    const std::uint32_t twin = out_.halfedges[cross];
    if (twin == NONE) break;
    t = twin / 3;
  }
  for (t = 0; t < count; ++t)
    if (!beyond(3 * t) && !beyond(3 * t + 1) && !beyond(3 * t + 2)) return t;
  return NONE;
}

// (a, b, c) becomes (a, b, i), (b, c, i), (c, a, i).
void Triangulator::split_triangle(std::uint32_t t, std::uint32_t i) {
  std::vector<std::uint32_t>& tri = out_.triangles;
  const std::uint32_t e = 3 * t;
  const std::uint32_t a = tri[e], b = tri[e + 1], c = tri[e + 2];
  const std::uint32_t hbc = out_.halfedges[e + 1], hca = out_.halfedges[e + 2];
  tri[e + 2] = i;
  const std::uint32_t t2 = add_triangle(b, c, i, hbc, NONE, NONE);
  const std::uint32_t t3 = add_triangle(c, a, i, hca, NONE, NONE);
  link(e + 1, t2 + 2);
  link(t2 + 1, t3 + 2);
  link(t3 + 1, e + 2);
  if (hbc == NONE) hull_tri_[b] = t2;
  if (hca == NONE) hull_tri_[c] = t3;
  legalize(e);
  legalize(t2);
  legalize(t3);
}

// Hull edge e = (a -> b) of triangle (a, b, c), with i on it, becomes
// (c, a, i) and (b, c, i); i joins the hull between a and b.
void Triangulator::split_hull_edge(std::uint32_t e, std::uint32_t i) {
  std::vector<std::uint32_t>& tri = out_.triangles;
  const std::uint32_t en = next_halfedge(e), ep = prev_halfedge(e);
  const std::uint32_t a = tri[e], b = tri[en], c = tri[ep];
  if (hull_next_[a] != b) {
    inconsistent_ = true;
    return;
  }
  const std::uint32_t hbc = out_.halfedges[en], hca = out_.halfedges[ep];
  const std::uint32_t s = e - e % 3;
  tri[s] = c;
  tri[s + 1] = a;
  tri[s + 2] = i;
  link(s, hca);
  out_.halfedges[s + 1] = NONE;
  const std::uint32_t t2 = add_triangle(b, c, i, hbc, NONE, NONE);
  link(s + 2, t2 + 1);
  hull_next_[a] = i;
  hull_prev_[i] = a;
  hull_next_[i] = b;
  hull_prev_[b] = i;
  hull_tri_[a] = s + 1;
  hull_tri_[i] = t2 + 2;
  if (hbc == NONE) hull_tri_[b] = t2;
  if (hca == NONE) hull_tri_[c] = s;
  ++hull_size_;
  hull_hash_[hash_key(pts_[i])] = i;
  legalize(s);
  hull_tri_[i] = legalize(t2);
}

// Inner edge e = (a -> b) of (a, b, c), twin (b -> a) of (b, a, d), with i
// on it: four triangles (b, c, i), (c, a, i), (a, d, i), (d, b, i).
void Triangulator::split_inner_edge(std::uint32_t e, std::uint32_t i) {
  std::vector<std::uint32_t>& tri = out_.triangles;
  std::vector<std::uint32_t>& half = out_.halfedges;
  const std::uint32_t f = half[e];
  const std::uint32_t en = next_halfedge(e), ep = prev_halfedge(e);
  const std::uint32_t fn = next_halfedge(f), fp = prev_halfedge(f);
  const std::uint32_t a = tri[e], b = tri[en], c = tri[ep], d = tri[fp];
  const std::uint32_t hbc = half[en], hca = half[ep], had = half[fn], hdb = half[fp];
  const std::uint32_t s = e - e % 3, u = f - f % 3;
  tri[s] = b;
  tri[s + 1] = c;
  tri[s + 2] = i;
  tri[u] = a;
  tri[u + 1] = d;
  tri[u + 2] = i;
  link(s, hbc);
  link(u, had);
  const std::uint32_t t2 = add_triangle(c, a, i, hca, NONE, NONE);
  const std::uint32_t u2 = add_triangle(d, b, i, hdb, NONE, NONE);
  link(s + 1, t2 + 2);
  link(s + 2, u2 + 1);
  link(t2 + 1, u + 2);
  link(u + 1, u2 + 2);
  if (hbc == NONE) hull_tri_[b] = s;
  if (hca == NONE) hull_tri_[c] = t2;
  if (had == NONE) hull_tri_[a] = u;
  if (hdb == NONE) hull_tri_[d] = u2;
  legalize(s);
  legalize(t2);
  legalize(u);
  legalize(u2);
}

}  // namespace quelmar
