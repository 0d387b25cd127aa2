// Removing a vertex from the kept Delaunay mesh: its triangles go, and the
// hole, the polygon of its neighbours, is filled by the Delaunay
// triangulation of those neighbours. The hole is star-shaped about the
// removed point, and that triangulation is the one every remaining point
// agrees with: each of its triangles is an ear of the polygon (a convex
// corner) whose circumcircle holds no other corner of the polygon, and
// cutting ears one at a time finds them all.

#include <algorithm>

#include "voronoi/delaunay_mesh.hpp"
#include "voronoi/exact_predicates.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = DelaunayMesh::NONE;

}  // namespace

void DelaunayMesh::remove(std::uint32_t v, Change& change) {
  change.lost.clear();
  change.made.clear();
  change.ring.clear();
  change.degenerate = false;
  // The star: the half-edges into v, counter-clockwise; star_[i] runs from
  // ring point i, and the edge of its triangle opposite v runs from ring
  // point i + 1 back to ring point i.
  star_.clear();
  const std::uint32_t h0 = into_[v];
  std::uint32_t h = h0;
  do {
    star_.push_back(h);
    h = turn(h);
  } while (h != h0 && h != NONE && star_.size() <= tri_.size());
  if (h != h0 || star_.size() < 3) return;  // on the hull: never removed
  const std::size_t k = star_.size();
  std::vector<std::uint32_t>& ring = change.ring;
  for (std::uint32_t e : star_) ring.push_back(tri_[e]);
  for (std::uint32_t u : ring) change.lost.push_back({v, u});

  // Ears, each stored clockwise as (c, b, a) for the counter-clockwise
  // corner a, b, c; made_ holds their corners three by three.
  polygon_.assign(ring.begin(), ring.end());
  made_.clear();
  auto at = [&](std::size_t i) { return points_[polygon_[i]]; };
  while (polygon_.size() > 3) {
    const std::size_t m = polygon_.size();
    std::size_t ear = m;
    for (std::size_t i = 0; i < m && ear == m; ++i) {
      const std::size_t before = (i + m - 1) % m, after = (i + 1) % m;
      if (!(orient2d(at(before), at(i), at(after)) > 0.0)) continue;
      bool empty = true, tie = false;
      for (std::size_t j = 0; j < m && empty; ++j) {
        if (j == before || j == i || j == after) continue;
        const double in = incircle(at(before), at(i), at(after), at(j));
        empty = !(in > 0.0);
        tie |= in == 0.0;
      }
      if (!empty) continue;
      change.degenerate |= tie;
      ear = i;
    }
    // Exact predicates always find an ear; should they not, a convex
    // corner keeps the fill planar and the mark makes every answer that
    // rests on it go the long way.
    if (ear == m) {
      change.degenerate = true;
      for (std::size_t i = 0; i < m && ear == m; ++i)
        if (orient2d(at((i + m - 1) % m), at(i), at((i + 1) % m)) > 0.0) ear = i;
      if (ear == m) ear = 0;
    }
    const std::uint32_t a = polygon_[(ear + m - 1) % m], b = polygon_[ear], c = polygon_[(ear + 1) % m];
    made_.insert(made_.end(), {c, b, a});
    change.made.push_back({a, c});
    polygon_.erase(polygon_.begin() + static_cast<std::ptrdiff_t>(ear));
  }
  made_.insert(made_.end(), {polygon_[2], polygon_[1], polygon_[0]});

  // The outer twin of each ring edge, before the star's slots are reused.
  std::vector<std::uint32_t>& outer = outer_;
  outer.resize(k);
  for (std::size_t i = 0; i < k; ++i) outer[i] = half_[prev_halfedge(star_[i])];
  // The first k - 2 of the star's slots take the new triangles; the last
  // two are freed.
  const std::size_t fills = made_.size() / 3;
  for (std::size_t j = 0; j < fills; ++j) set_triangle(star_[j] / 3, made_[3 * j], made_[3 * j + 1], made_[3 * j + 2]);
  for (std::size_t j = fills; j < k; ++j) {
    const std::uint32_t t = star_[j] / 3;
    set_triangle(t, NONE, NONE, NONE);
    free_tri_.push_back(t);
  }
  // Twins: a ring edge's is the outer half-edge, a diagonal's the other
  // new triangle's half-edge along it the other way.
  for (std::size_t j = 0; j < fills; ++j) {
    for (std::uint32_t r = 0; r < 3; ++r) {
      const std::uint32_t e = 3 * (star_[j] / 3) + r;
      const std::uint32_t from = tri_[e], to = tri_[next_halfedge(e)];
      std::uint32_t twin = NONE;
      for (std::size_t i = 0; i < k && twin == NONE; ++i)
        if (ring[(i + 1) % k] == from && ring[i] == to) twin = outer[i];
      for (std::size_t i = 0; i < fills && twin == NONE; ++i) {
        if (i == j) continue;
        for (std::uint32_t q = 0; q < 3; ++q) {
          const std::uint32_t f = 3 * (star_[i] / 3) + q;
          if (tri_[f] == to && tri_[next_halfedge(f)] == from) twin = f;
        }
      }
      half_.set(e, twin);
      if (twin != NONE) half_.set(twin, e);
      into_.set(to, e);
    }
    update_centre(star_[j] / 3);
  }
  // The ears saw only the ring; a point beyond it may lie on a new circle.
  for (std::size_t j = 0; j < fills; ++j) {
    const std::uint32_t t = star_[j] / 3;
    const Point a = points_[tri_[3 * t]], b = points_[tri_[3 * t + 1]], c = points_[tri_[3 * t + 2]];
    for (std::uint32_t r = 0; r < 3; ++r) {
      const std::uint32_t h = half_[3 * t + r];
      if (h == NONE || incircle(a, b, c, points_[tri_[prev_halfedge(h)]]) != 0.0) continue;
      change.degenerate = true;
      mark_tie(t);
      mark_tie(h / 3);
    }
  }
  into_.set(v, NONE);
  free_vertex_.push_back(v);
}

}  // namespace quelmar
