#include "voronoi/topology.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = Triangulation::NONE;

// Walks the triangles round point j from its incoming half-edge, appending
// one cell edge per step; takes them back when the walk does not close or
// the cell has fewer than three edges.
void walk_cell(const Triangulation& t, std::uint32_t j, std::vector<CellEdge>& out) {
  const std::uint32_t start = t.inedges[j];
  if (start == NONE) return;
  const std::size_t first = out.size();
  const std::size_t m = t.halfedges.size();
  const std::uint32_t t0 = start / 3;
  const std::uint32_t p0 = t.triangles[start];
  std::uint32_t e = start, prev = t0;
  for (std::size_t steps = 0; steps < m; ++steps) {
    const std::uint32_t o = next_halfedge(e);
    e = o < m ? t.halfedges[o] : NONE;
    if (e == NONE || e >= m) break;
    if (e == start) {
      out.push_back({prev, t0, p0});
      if (out.size() - first >= 3) return;
      break;
    }
    out.push_back({prev, e / 3, t.triangles[e]});
    prev = e / 3;
  }
  out.resize(first);
}

}  // namespace

void build_topology(std::span<const Point> points, std::size_t stone_count,
                    const Triangulation& t, double board_size, Topology& out) {
  const std::size_t triangles = t.triangle_count();
  out.board_size = board_size;
  out.centres.resize(triangles);
  for (std::size_t i = 0; i < triangles; ++i)
    out.centres[i] = circumcentre(points[t.triangles[3 * i]], points[t.triangles[3 * i + 1]],
                                  points[t.triangles[3 * i + 2]]);
  out.edges.clear();
  out.edges.reserve(6 * stone_count);
  out.cell_start.assign(1, 0);
  for (std::uint32_t j = 0; j < stone_count; ++j) {
    if (j < t.inedges.size() && t.inedges[j] < t.triangles.size()) walk_cell(t, j, out.edges);
    out.cell_start.push_back(static_cast<std::uint32_t>(out.edges.size()));
  }
}

}  // namespace quelmar
