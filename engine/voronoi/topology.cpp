#include "voronoi/topology.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = Triangulation::NONE;

// Walks the triangles round point j starting from its incoming half-edge;
// appends the cell edges, or nothing when the walk does not close.
void walk_cell(const Triangulation& t, std::uint32_t j, std::vector<std::uint32_t>& tris,
               std::vector<std::uint32_t>& pts, std::vector<CellEdge>& out) {
  const std::uint32_t start = t.inedges[j];
  if (start == NONE) return;
  tris.clear();
  pts.clear();
  const std::size_t m = t.halfedges.size();
  std::uint32_t e = start;
  bool closed = false;
  for (std::size_t steps = 0; steps < m && !closed; ++steps) {
    if (e >= t.triangles.size()) return;
    tris.push_back(e / 3);
    pts.push_back(t.triangles[e]);
    const std::uint32_t o = next_halfedge(e);
    if (o >= m) return;
    e = t.halfedges[o];
    if (e == NONE || e >= m) return;
    closed = e == start;
  }
  const std::size_t k = tris.size();
  if (!closed || k < 3) return;
  for (std::size_t l = 0; l < k; ++l) {
    const std::size_t n = l + 1 == k ? 0 : l + 1;
    out.push_back({tris[l], tris[n], pts[n]});
  }
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
  std::vector<std::uint32_t> tris, pts;
  for (std::uint32_t j = 0; j < stone_count; ++j) {
    if (j < t.inedges.size()) walk_cell(t, j, tris, pts, out.edges);
    out.cell_start.push_back(static_cast<std::uint32_t>(out.edges.size()));
  }
}

}  // namespace quelmar
