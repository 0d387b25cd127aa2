#include "voronoi/topology.hpp"

#include <algorithm>
#include <cmath>

#include "voronoi/clip_lines.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = Triangulation::NONE;

// Two doubles worked on at once, and the masks their comparisons give.
typedef double Lanes __attribute__((vector_size(16)));
typedef std::int64_t Mask __attribute__((vector_size(16)));

// The centre of one triangle and its board lines. A NaN's bits depend on
// the operand order the compiled code picks, so a NaN is answered by
// circumcentre, the code the answers were fixed with.
void vertex_one(const Point* p, const std::uint32_t* tri, double s, Point& centre,
                std::uint8_t& beyond) {
  const Point a = p[tri[0]], b = p[tri[1]], c = p[tri[2]];
  Point o = circumcentre_inline(a, b, c);
  if (std::isnan(o.x) || std::isnan(o.y)) o = circumcentre(a, b, c);
  centre = o;
  beyond = static_cast<std::uint8_t>(clip_lines::beyond_lines(o, s));
}

// The centres and board lines of two triangles in one pass: the arithmetic
// of circumcentre_inline lane by lane, the same operations on the same
// operands in the same order, so every answer but a NaN has the bits the
// one-at-a-time code gives (IEEE operations round the same in either
// form). A lane that is degenerate or comes out NaN or infinite, all
// rare, is answered by vertex_one.
void vertex_pair(const Point* p, const std::uint32_t* tri, double s, Point* centre,
                 std::uint8_t* beyond) {
  const Point a0 = p[tri[0]], b0 = p[tri[1]], c0 = p[tri[2]];
  const Point a1 = p[tri[3]], b1 = p[tri[4]], c1 = p[tri[5]];
  const Lanes ax{a0.x, a1.x}, ay{a0.y, a1.y};
  const Lanes dx = Lanes{b0.x, b1.x} - ax, dy = Lanes{b0.y, b1.y} - ay;
  const Lanes ex = Lanes{c0.x, c1.x} - ax, ey = Lanes{c0.y, c1.y} - ay;
  const Lanes bl = dx * dx + dy * dy;
  const Lanes cl = ex * ex + ey * ey;
  const Lanes det = dx * ey - dy * ex;
  const Lanes k = Lanes{0.5, 0.5} / det;
  const Lanes x = ax + (ey * bl - dy * cl) * k;
  const Lanes y = ay + (dx * cl - ex * bl) * k;
  // clip_lines::beyond_lines lane by lane, for finite lanes: the others
  // are answered again below.
  const Lanes zero{0.0, 0.0}, side{s, s};
  const Mask code = (~(x >= zero) & Mask{1, 1}) | (~(x <= side) & Mask{2, 2}) |
                    (~(y >= zero) & Mask{4, 4}) | (~(y <= side) & Mask{8, 8});
  centre[0] = {x[0], y[0]};
  centre[1] = {x[1], y[1]};
  beyond[0] = static_cast<std::uint8_t>(code[0]);
  beyond[1] = static_cast<std::uint8_t>(code[1]);
  // x - x is 0 exactly when x is finite, NaN otherwise.
  const Mask odd = (det == zero) | (bl == zero) | (cl == zero) | ((x - x) + (y - y) != zero);
  if (odd[0]) vertex_one(p, tri, s, centre[0], beyond[0]);
  if (odd[1]) vertex_one(p, tri + 3, s, centre[1], beyond[1]);
}

// turn[h] = halfedges[next(h)] and third[h] = halfedges[prev(h)],
// triangle by triangle.
void build_turns(const Triangulation& t, std::vector<std::uint32_t>& turn,
                 std::vector<std::uint32_t>& third) {
  const std::size_t m = t.triangles.size();
  turn.resize(m);
  third.resize(m);
  if (t.halfedges.size() != m) {
    std::fill(turn.begin(), turn.end(), NONE);
    std::fill(third.begin(), third.end(), NONE);
    return;
  }
  const std::uint32_t* half = t.halfedges.data();
  std::uint32_t* next = turn.data();
  std::uint32_t* prev = third.data();
  std::size_t e = 0;
  for (; e + 3 <= m; e += 3) {
    const std::uint32_t h0 = half[e], h1 = half[e + 1], h2 = half[e + 2];
    next[e] = h1;
    next[e + 1] = h2;
    next[e + 2] = h0;
    prev[e] = h2;
    prev[e + 1] = h0;
    prev[e + 2] = h1;
  }
  for (; e < m; ++e) next[e] = prev[e] = NONE;  // no whole triangle
}

// Walks the triangles round point j from its incoming half-edge, writing
// one cell edge per step from out[0]; answers how many, or 0 when the walk
// does not close or the cell has fewer than three edges. `out` has room
// for m edges, as many as the walk may take steps.
std::size_t walk_cell(const Triangulation& t, const std::uint32_t* turn, std::uint32_t j,
                      CellEdge* out) {
  const std::uint32_t start = t.inedges[j];
  if (start == NONE) return 0;
  const std::uint32_t* tri = t.triangles.data();
  const std::size_t m = t.halfedges.size();
  const std::uint32_t t0 = start / 3;
  const std::uint32_t p0 = tri[start];
  std::uint32_t e = start, here = t0;
  for (std::size_t k = 0; k < m; ++k) {
    const std::uint32_t prev = here;
    e = turn[e];
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

void build_vertices(std::span<const Point> points, const Triangulation& t, double board_size,
                    Topology& out) {
  const std::size_t triangles = t.triangle_count();
  out.board_size = board_size;
  out.centres.resize(triangles);
  out.beyond.resize(triangles);
  const std::uint32_t* tri = t.triangles.data();
  const Point* p = points.data();
  Point* centre = out.centres.data();
  std::uint8_t* beyond = out.beyond.data();
  std::size_t i = 0;
  for (; i + 2 <= triangles; i += 2) vertex_pair(p, tri + 3 * i, board_size, centre + i, beyond + i);
  if (i < triangles) vertex_one(p, tri + 3 * i, board_size, centre[i], beyond[i]);
  build_turns(t, out.turn, out.third);
}

void build_cells(const Triangulation& t, std::size_t stone_count, Topology& out) {
  out.cell_start.resize(stone_count + 1);
  out.cell_start[0] = 0;
  // Twins and corners index the same half-edges; arrays that disagree in
  // length hold no cell at all.
  const std::size_t m = t.halfedges.size();
  const bool paired = m == t.triangles.size() && out.turn.size() == m;
  // Room for the next walk's every possible step: a triangulation that
  // holds together fills at most m edges in all (one per half-edge leaving
  // a stone), so the buffer stops growing at 2 m.
  std::size_t count = 0;
  for (std::uint32_t j = 0; j < stone_count; ++j) {
    if (paired && j < t.inedges.size() && t.inedges[j] < t.triangles.size()) {
      if (out.edges.size() < count + m) out.edges.resize(count + m);
      count += walk_cell(t, out.turn.data(), j, out.edges.data() + count);
    }
    out.cell_start[j + 1] = static_cast<std::uint32_t>(count);
  }
}

void build_topology(std::span<const Point> points, std::size_t stone_count,
                    const Triangulation& t, double board_size, Topology& out) {
  build_vertices(points, t, board_size, out);
  build_cells(t, stone_count, out);
}

}  // namespace quelmar
