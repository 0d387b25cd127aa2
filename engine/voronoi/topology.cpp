#include "voronoi/topology.hpp"

#include <cmath>

#include "voronoi/clip_lines.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = Triangulation::NONE;

// Walks the triangles round point j from its incoming half-edge, writing
// one cell edge per step from out[0]; answers how many, or 0 when the walk
// does not close or the cell has fewer than three edges. `out` has room
// for m edges, as many as the walk may take steps.
std::size_t walk_cell(const Triangulation& t, std::uint32_t j, CellEdge* out) {
  const std::uint32_t start = t.inedges[j];
  if (start == NONE) return 0;
  const std::uint32_t* half = t.halfedges.data();
  const std::uint32_t* tri = t.triangles.data();
  const std::size_t m = t.halfedges.size();
  const std::uint32_t t0 = start / 3;
  const std::uint32_t p0 = tri[start];
  // e stays below m, a multiple of 3, so its next half-edge does too; that
  // one is worked out from e / 3, which the step needs anyway.
  static constexpr std::int8_t TO_NEXT[3] = {1, 1, -2};
  std::uint32_t e = start, here = t0;
  for (std::size_t k = 0; k < m; ++k) {
    const std::uint32_t prev = here;
    e = half[e + static_cast<std::uint32_t>(TO_NEXT[e - 3 * here])];
    if (e >= m) return 0;  // NONE included
    if (e == start) {
      out[k] = {prev, t0, p0};
      return k + 1 >= 3 ? k + 1 : 0;
    }
    here = e / 3;
    out[k] = {prev, here, tri[e]};
  }
  return 0;
}

}  // namespace

void build_topology(std::span<const Point> points, std::size_t stone_count,
                    const Triangulation& t, double board_size, Topology& out) {
  const std::size_t triangles = t.triangle_count();
  out.board_size = board_size;
  out.centres.resize(triangles);
  out.beyond.resize(triangles);
  const std::uint32_t* tri = t.triangles.data();
  Point* centre = out.centres.data();
  std::uint8_t* beyond = out.beyond.data();
  for (std::size_t i = 0; i < triangles; ++i) {
    const Point a = points[tri[3 * i]], b = points[tri[3 * i + 1]], c = points[tri[3 * i + 2]];
    Point o = circumcentre_inline(a, b, c);
    if (std::isnan(o.x) || std::isnan(o.y)) o = circumcentre(a, b, c);
    centre[i] = o;
    beyond[i] = static_cast<std::uint8_t>(clip_lines::beyond_lines(o, board_size));
  }
  out.cell_start.resize(stone_count + 1);
  out.cell_start[0] = 0;
  // Twins and corners index the same half-edges; arrays that disagree in
  // length hold no cell at all.
  const std::size_t m = t.halfedges.size();
  const bool paired = m == t.triangles.size();
  // Room for the next walk's every possible step: a triangulation that
  // holds together fills at most m edges in all (one per half-edge leaving
  // a stone), so the buffer stops growing at 2 m.
  std::size_t count = 0;
  for (std::uint32_t j = 0; j < stone_count; ++j) {
    if (paired && j < t.inedges.size() && t.inedges[j] < t.triangles.size()) {
      if (out.edges.size() < count + m) out.edges.resize(count + m);
      count += walk_cell(t, j, out.edges.data() + count);
    }
    out.cell_start[j + 1] = static_cast<std::uint32_t>(count);
  }
}

}  // namespace quelmar
