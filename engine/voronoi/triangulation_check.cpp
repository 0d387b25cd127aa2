#include <vector>

#include "voronoi/exact_predicates.hpp"
#include "voronoi/triangulation.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = Triangulation::NONE;
using Fault = std::optional<TriangulationFault>;

Fault check_indices(std::size_t point_count, const Triangulation& t) {
  const std::size_t m = t.triangles.size();
  if (m % 3 != 0 || t.halfedges.size() != m || t.inedges.size() != point_count)
    return TriangulationFault::BadSizes;
  for (std::size_t e = 0; e < m; ++e) {
    if (t.triangles[e] >= point_count) return TriangulationFault::IndexOutOfRange;
    if (t.halfedges[e] != NONE && t.halfedges[e] >= m) return TriangulationFault::IndexOutOfRange;
  }
  for (std::uint32_t ie : t.inedges)
    if (ie != NONE && ie >= m) return TriangulationFault::IndexOutOfRange;
  return std::nullopt;
}

Fault check_twins(const Triangulation& t) {
  for (std::uint32_t e = 0; e < t.halfedges.size(); ++e) {
    const std::uint32_t h = t.halfedges[e];
    if (h == NONE) continue;
    if (t.halfedges[h] != e || h / 3 == e / 3 ||
        t.triangles[h] != t.triangles[next_halfedge(e)] ||
        t.triangles[next_halfedge(h)] != t.triangles[e])
      return TriangulationFault::Unpaired;
  }
  return std::nullopt;
}

Fault check_geometry(std::span<const Point> pts, const Triangulation& t) {
  const auto& tri = t.triangles;
  for (std::size_t e = 0; e < tri.size(); e += 3)
    if (!(orient2d(pts[tri[e]], pts[tri[e + 1]], pts[tri[e + 2]]) < 0.0))
      return TriangulationFault::NotClockwise;
  for (std::uint32_t e = 0; e < tri.size(); ++e) {
    const std::uint32_t h = t.halfedges[e];
    if (h == NONE || h < e) continue;
    const std::uint32_t s = e - e % 3;
    const Point far = pts[tri[prev_halfedge(h)]];
    if (incircle(pts[tri[s]], pts[tri[s + 1]], pts[tri[s + 2]], far) < 0.0)
      return TriangulationFault::NotDelaunay;
  }
  return std::nullopt;
}

// Inedges, then Euler's formula T = 2V - 2 - H for a triangulated disc
// whose boundary is one convex cycle.
Fault check_counts(std::span<const Point> pts, const Triangulation& t) {
  const auto& tri = t.triangles;
  std::vector<std::uint8_t> used(pts.size(), 0), hull_out(pts.size(), 0);
  for (std::uint32_t p : tri) used[p] = 1;
  std::size_t vertices = 0, hull = 0;
  for (std::size_t p = 0; p < pts.size(); ++p) {
    const std::uint32_t ie = t.inedges[p];
    vertices += used[p];
    if (used[p] && ie == NONE) return TriangulationFault::MissingInedge;
    if (ie != NONE && (!used[p] || tri[next_halfedge(ie)] != p))
      return TriangulationFault::BadInedge;
  }
  std::vector<std::uint32_t> hull_next(pts.size(), NONE);
  for (std::uint32_t e = 0; e < tri.size(); ++e) {
    if (t.halfedges[e] != NONE) continue;
    ++hull;
    if (hull_out[tri[e]]++ != 0) return TriangulationFault::NotPlanar;
    hull_next[tri[e]] = tri[next_halfedge(e)];
  }
  if (tri.empty()) return std::nullopt;
  if (t.triangle_count() + 2 + hull != 2 * vertices) return TriangulationFault::NotPlanar;
  // One cycle through every hull vertex, turning clockwise or going straight.
  std::uint32_t start = NONE;
  for (std::size_t p = 0; p < pts.size() && start == NONE; ++p)
    if (hull_out[p]) start = static_cast<std::uint32_t>(p);
  if (start == NONE) return TriangulationFault::NotPlanar;
  std::uint32_t a = start, b = hull_next[start];
  for (std::size_t k = 0; k < hull; ++k) {
    if (b == NONE || hull_next[b] == NONE) return TriangulationFault::NotPlanar;
    const std::uint32_t c = hull_next[b];
    if (orient2d(pts[a], pts[b], pts[c]) > 0.0) return TriangulationFault::NotPlanar;
    if (k + 1 < hull && b == start) return TriangulationFault::NotPlanar;
    a = b;
    b = c;
  }
  if (a != start) return TriangulationFault::NotPlanar;
  return std::nullopt;
}

}  // namespace

std::optional<TriangulationFault> validate_triangulation(std::span<const Point> points,
                                                         const Triangulation& t) {
  if (Fault f = check_indices(points.size(), t)) return f;
  if (Fault f = check_twins(t)) return f;
  if (Fault f = check_geometry(points, t)) return f;
  return check_counts(points, t);
}

}  // namespace quelmar
