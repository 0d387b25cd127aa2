#include "voronoi/topology.hpp"

#include <cmath>

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = Triangulation::NONE;

// Appends the cells one after another into a buffer that only grows, so a
// step is a store and a count; entries past the count are scratch.
class CellWriter {
 public:
  CellWriter(std::vector<CellEdge>& edges, std::size_t room) : edges_(edges) {
    if (edges_.size() < room) edges_.resize(room);
  }

  std::size_t count() const { return count_; }
  void put(CellEdge e) {
    if (count_ == edges_.size()) edges_.resize(2 * count_ + 16);
    edges_[count_++] = e;
  }
  void take_back_to(std::size_t n) { count_ = n; }
  void finish() { edges_.resize(count_); }

 private:
  std::vector<CellEdge>& edges_;
  std::size_t count_ = 0;
};

// Walks the triangles round point j from its incoming half-edge, appending
// one cell edge per step; takes them back when the walk does not close or
// the cell has fewer than three edges.
void walk_cell(const Triangulation& t, std::uint32_t j, CellWriter& out) {
  const std::uint32_t start = t.inedges[j];
  if (start == NONE) return;
  const std::size_t first = out.count();
  const std::uint32_t* half = t.halfedges.data();
  const std::uint32_t* tri = t.triangles.data();
  const std::size_t m = t.halfedges.size();
  const std::uint32_t t0 = start / 3;
  const std::uint32_t p0 = tri[start];
  // e stays below m, a multiple of 3, so next_halfedge(e) does too.
  std::uint32_t e = start, prev = t0;
  for (std::size_t steps = 0; steps < m; ++steps) {
    e = half[next_halfedge(e)];
    if (e >= m) break;  // NONE included
    if (e == start) {
      out.put({prev, t0, p0});
      if (out.count() - first >= 3) return;
      break;
    }
    const std::uint32_t here = e / 3;
    out.put({prev, here, tri[e]});
    prev = here;
  }
  out.take_back_to(first);
}

}  // namespace

void build_topology(std::span<const Point> points, std::size_t stone_count,
                    const Triangulation& t, double board_size, Topology& out) {
  const std::size_t triangles = t.triangle_count();
  out.board_size = board_size;
  out.centres.resize(triangles);
  const std::uint32_t* tri = t.triangles.data();
  Point* centre = out.centres.data();
  for (std::size_t i = 0; i < triangles; ++i) {
    const Point a = points[tri[3 * i]], b = points[tri[3 * i + 1]], c = points[tri[3 * i + 2]];
    Point o = circumcentre_inline(a, b, c);
    if (std::isnan(o.x) || std::isnan(o.y)) o = circumcentre(a, b, c);
    centre[i] = o;
  }
  // A stone's cell has one edge per half-edge leaving it, so in a
  // triangulation that holds together the cells fill at most every half-edge.
  CellWriter writer(out.edges, t.halfedges.size());
  out.cell_start.resize(stone_count + 1);
  out.cell_start[0] = 0;
  // Twins and corners index the same half-edges; arrays that disagree in
  // length hold no cell at all.
  const bool paired = t.halfedges.size() == t.triangles.size();
  for (std::uint32_t j = 0; j < stone_count; ++j) {
    if (paired && j < t.inedges.size() && t.inedges[j] < t.triangles.size()) walk_cell(t, j, writer);
    out.cell_start[j + 1] = static_cast<std::uint32_t>(writer.count());
  }
  writer.finish();
}

}  // namespace quelmar
