#include "voronoi/group_trace.hpp"

#include <utility>

#include "voronoi/group_merge.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = 0xFFFFFFFFu;
constexpr std::uint8_t SENTINEL = 2;

// Grows a scratch vector to at least n entries; it never shrinks, so a
// rebuild of the same size writes no fill.
template <class T>
T* room(std::vector<T>& v, std::size_t n) {
  if (v.size() < n) v.resize(n);
  return v.data();
}

class Tracer {
 public:
  Tracer(std::span<const Stone> stones, const Triangulation& t, const Topology& topology,
         GroupTracer& s)
      : stones_(stones), t_(t), topo_(topology), s_(s) {}

  bool run(Voronoi& out) {
    if (!ordinary()) return false;
    label();
    file(out);
    // Group numbers as marks: no clearing between groups. One spare slot
    // past the last triangle takes the writes of edges inside a group.
    const std::size_t triangles = topo_.centres.size();
    s_.traced.assign(triangles, NONE);
    s_.out_group.assign(triangles + 1, NONE);
    room(s_.out_to, triangles + 1);
    room(s_.order, topo_.edge_count() + 1);
    for (std::uint32_t g = 0; g + 1 < s_.group_start.size(); ++g)
      if (!trace_rings(g, s_.slot[g]->rings)) return false;
    return true;
  }

 private:
  // Stone ids strictly ascend (so id order is index order), and every stone
  // of the triangulation has a closed cell. The cells then fan round every
  // stone completely, which makes each group boundary disjoint cycles.
  // Fills the colours on the way.
  bool ordinary() {
    const std::size_t n = stones_.size(), points = t_.inedges.size();
    if (topo_.stone_count() != n || points < n) return false;
    std::uint8_t* colour = room(s_.colour, points);
    const std::uint32_t* start = topo_.cell_start.data();
    bool ok = true;
    for (std::size_t k = 0; k < n; ++k) {
      colour[k] = static_cast<std::uint8_t>(stones_[k].color);
      ok &= t_.inedges[k] == NONE || start[k] != start[k + 1];
      ok &= k == 0 || stones_[k - 1].id < stones_[k].id;
    }
    for (std::size_t k = n; k < points; ++k) colour[k] = SENTINEL;
    return ok;
  }

  // Same-colour cells across an edge of positive length that enters the
  // board, tested in the direction merge_groups tests it. Ends on the board
  // are finite, so there numeric equality is PointKey equality.
  bool joins(const CellEdge& edge) const {
    const Point a = topo_.centres[edge.from], b = topo_.centres[edge.to];
    if ((topo_.beyond[edge.from] | topo_.beyond[edge.to]) == 0) return !(a.x == b.x && a.y == b.y);
    return !(a == b) && edge_enters_board(a, b, topo_.board_size);
  }

  // Numbers the groups by their lowest stone, searching depth-first in the
  // order merge_groups searches, so members come in its order.
  void label() {
    const std::size_t n = stones_.size();
    s_.group.assign(t_.inedges.size(), NONE);
    room(s_.members, n);
    // A stone is pushed once per neighbour that reaches it, plus the root.
    room(s_.stack, topo_.edge_count() + 1);
    s_.group_start.assign(1, 0);
    members_ = 0;
    std::uint32_t g = 0;
    for (std::uint32_t k = 0; k < n; ++k) {
      if (s_.group[k] != NONE) continue;
      search(k, g++);
      s_.group_start.push_back(members_);
    }
  }

  void search(std::uint32_t k, std::uint32_t g) {
    std::uint32_t* stack = s_.stack.data();
    std::uint32_t* group = s_.group.data();
    const std::uint8_t* colour = s_.colour.data();
    std::size_t depth = 0;
    stack[depth++] = k;
    while (depth > 0) {
      const std::uint32_t i = stack[--depth];
      if (group[i] != NONE) continue;
      group[i] = g;
      s_.members[members_++] = i;
      const std::uint8_t c = colour[i];
      for (const CellEdge& edge : topo_.cell(i)) {
        const std::uint32_t q = edge.neighbour;
        if (colour[q] == c && group[q] == NONE && joins(edge)) stack[depth++] = q;
      }
    }
  }

  // Files every group by colour, its stones in index order (id order).
  void file(Voronoi& out) {
    const std::size_t groups = s_.group_start.size() - 1;
    std::size_t black = 0;
    for (std::size_t g = 0; g < groups; ++g)
      black += stones_[s_.members[s_.group_start[g]]].color == Color::Black;
    out.black.resize(black);
    out.white.resize(groups - black);
    s_.slot.resize(groups);
    std::size_t b = 0, w = 0;
    for (std::size_t g = 0; g < groups; ++g) {
      const Color c = stones_[s_.members[s_.group_start[g]]].color;
      VoronoiGroup& group = c == Color::Black ? out.black[b++] : out.white[w++];
      group.color = c;
      group.stones.reserve(s_.group_start[g + 1] - s_.group_start[g]);
      s_.slot[g] = &group;
    }
    for (std::size_t k = 0; k < stones_.size(); ++k) s_.slot[s_.group[k]]->stones.push_back(stones_[k]);
  }

  // The rings of group g: its boundary edges in the order merge_groups adds
  // them (members in search order, each cell in order), then each cycle
  // traced from the first of its edges, in their own direction, and the
  // rings ordered and closed as every group's rings are.
  bool trace_rings(std::uint32_t g, std::vector<Ring>& rings) {
    const std::size_t edges = collect_boundary(g);
    if (edges == NONE) return false;
    for (std::size_t k = 0; k < edges; ++k) {
      const std::uint32_t start = s_.order[k];
      if (s_.traced[start] == g) continue;
      const std::size_t n = trace(g, start);
      if (n == 0) return false;
      const std::span<const Point> clipped =
          s_.clipper.clip({s_.ring.data(), n}, {s_.ring_beyond.data(), n}, topo_.board_size);
      if (clipped.empty()) continue;
      Ring& ring = rings.emplace_back();
      ring.reserve(clipped.size() + 1);  // room for the closing point
      ring.assign(clipped.begin(), clipped.end());
    }
    order_and_close_rings(rings);
    return true;
  }

  // Per boundary vertex its one successor, and the starts in order;
  // answers their count, or NONE when a vertex would leave the group twice.
  // Branch-free: whether an edge bounds the group is as good as random, so
  // it only picks where to write (the spare slot past the last triangle
  // when it does not).
  std::size_t collect_boundary(std::uint32_t g) {
    const std::uint32_t spare = static_cast<std::uint32_t>(topo_.centres.size());
    std::uint32_t* order = s_.order.data();
    std::uint32_t* out_group = s_.out_group.data();
    std::uint32_t* out_to = s_.out_to.data();
    const std::uint32_t* group = s_.group.data();
    std::size_t count = 0;
    bool twice = false;
    for (std::uint32_t m = s_.group_start[g]; m < s_.group_start[g + 1]; ++m) {
      for (const CellEdge& edge : topo_.cell(s_.members[m])) {
        const bool bounds = group[edge.neighbour] != g;
        const std::uint32_t v = bounds ? edge.from : spare;
        twice |= bounds & (out_group[v] == g);
        out_group[v] = g;
        out_to[v] = edge.to;
        order[count] = edge.from;  // kept only when counted
        count += bounds;
      }
    }
    return twice ? NONE : count;
  }

  // The cycle from `start` into the front of s_.ring; answers its length,
  // or 0 when the walk reaches a vertex without a successor, meets a vertex
  // twice or is shorter than three.
  std::size_t trace(std::uint32_t g, std::uint32_t start) {
    const std::size_t triangles = topo_.centres.size();
    Point* ring = room(s_.ring, triangles);
    std::uint8_t* ring_beyond = room(s_.ring_beyond, triangles);
    const std::uint8_t* beyond = topo_.beyond.data();
    std::uint32_t* traced = s_.traced.data();
    const std::uint32_t* out_group = s_.out_group.data();
    const std::uint32_t* out_to = s_.out_to.data();
    const Point* centre = topo_.centres.data();
    std::size_t n = 0;
    std::uint32_t v = start;
    do {
      if (traced[v] == g || out_group[v] != g || n >= triangles) return 0;
      traced[v] = g;
      ring_beyond[n] = beyond[v];
      ring[n++] = centre[v];
      v = out_to[v];
    } while (v != start);
    return n >= 3 ? n : 0;
  }

  std::span<const Stone> stones_;
  const Triangulation& t_;
  const Topology& topo_;
  GroupTracer& s_;
  std::uint32_t members_ = 0;  // stones labelled so far
};

}  // namespace

bool trace_groups(std::span<const Stone> stones, const Triangulation& t, const Topology& topology,
                  GroupTracer& scratch, Voronoi& out) {
  out = Voronoi{};
  if (Tracer(stones, t, topology, scratch).run(out)) return true;
  out = Voronoi{};
  return false;
}

}  // namespace quelmar
