#include "voronoi/group_trace.hpp"

#include <utility>

#include "voronoi/group_merge.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = 0xFFFFFFFFu;
constexpr std::uint8_t SENTINEL = 2;

inline bool on_board(Point p, double s) { return p.x >= 0.0 && p.x <= s && p.y >= 0.0 && p.y <= s; }

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
    s_.traced.assign(topo_.centres.size(), NONE);
    s_.out_group.assign(topo_.centres.size() + 1, NONE);
    s_.out_to.resize(topo_.centres.size() + 1);
    s_.order.resize(topo_.edges.size() + 1);
    for (std::uint32_t g = 0; g + 1 < s_.group_start.size(); ++g)
      if (!trace_rings(g, s_.slot[g]->rings)) return false;
    return true;
  }

 private:
  // Stone ids strictly ascend (so id order is index order), and every stone
  // of the triangulation has a closed cell. The cells then fan round every
  // stone completely, which makes each group boundary disjoint cycles.
  bool ordinary() const {
    const std::size_t n = stones_.size();
    if (topo_.stone_count() != n || t_.inedges.size() < n) return false;
    for (std::size_t k = 1; k < n; ++k)
      if (!(stones_[k - 1].id < stones_[k].id)) return false;
    for (std::size_t k = 0; k < n; ++k)
      if (t_.inedges[k] != NONE && topo_.cell_start[k] == topo_.cell_start[k + 1]) return false;
    return true;
  }

  // Same-colour cells across an edge of positive length that enters the
  // board, tested in the direction merge_groups tests it.
  bool joins(const CellEdge& edge) const {
    const Point a = topo_.centres[edge.from], b = topo_.centres[edge.to];
    if (a == b) return false;
    return (on_board(a, topo_.board_size) && on_board(b, topo_.board_size)) ||
           edge_enters_board(a, b, topo_.board_size);
  }

  // Numbers the groups by their lowest stone, searching depth-first in the
  // order merge_groups searches, so members come in its order.
  void label() {
    const std::size_t n = stones_.size(), points = t_.inedges.size();
    s_.colour.resize(points);
    for (std::size_t k = 0; k < n; ++k) s_.colour[k] = static_cast<std::uint8_t>(stones_[k].color);
    for (std::size_t k = n; k < points; ++k) s_.colour[k] = SENTINEL;
    s_.group.assign(points, NONE);
    s_.members.clear();
    s_.group_start.assign(1, 0);
    std::uint32_t g = 0;
    for (std::uint32_t k = 0; k < n; ++k) {
      if (s_.group[k] != NONE) continue;
      search(k, g++);
      s_.group_start.push_back(static_cast<std::uint32_t>(s_.members.size()));
    }
  }

  void search(std::uint32_t k, std::uint32_t g) {
    std::vector<std::uint32_t>& stack = s_.stack;
    stack.assign(1, k);
    while (!stack.empty()) {
      const std::uint32_t i = stack.back();
      stack.pop_back();
      if (s_.group[i] != NONE) continue;
      s_.group[i] = g;
      s_.members.push_back(i);
      const std::uint8_t colour = s_.colour[i];
      for (const CellEdge& edge : topo_.cell(i)) {
        const std::uint32_t q = edge.neighbour;
        if (s_.colour[q] == colour && s_.group[q] == NONE && joins(edge)) stack.push_back(q);
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
    if (!collect_boundary(g)) return false;
    for (std::size_t k = 0; k < order_count_; ++k) {
      const std::uint32_t start = s_.order[k];
      if (s_.traced[start] == g) continue;
      if (!trace(g, start)) return false;
      if (!clip_ring_to_board(s_.ring, topo_.board_size, s_.clip)) continue;
      Ring& ring = rings.emplace_back();
      ring.reserve(s_.ring.size() + 1);  // room for the closing point
      ring.assign(s_.ring.begin(), s_.ring.end());
    }
    order_and_close_rings(rings);
    return true;
  }

  // Per boundary vertex its one successor, and the starts in order. False
  // when a vertex would leave the group twice. Branch-free: whether an edge
  // bounds the group is as good as random, so it only picks where to write
  // (the spare slot past the last triangle when it does not).
  bool collect_boundary(std::uint32_t g) {
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
    order_count_ = count;
    return !twice;
  }

  // The cycle from `start`, into s_.ring. False when the walk reaches a
  // vertex without a successor, meets a vertex twice or is shorter than
  // three.
  bool trace(std::uint32_t g, std::uint32_t start) {
    const std::size_t triangles = topo_.centres.size();
    std::vector<Point>& ring = s_.ring;
    ring.clear();
    std::uint32_t v = start;
    do {
      if (s_.traced[v] == g || s_.out_group[v] != g || ring.size() >= triangles) return false;
      s_.traced[v] = g;
      ring.push_back(topo_.centres[v]);
      v = s_.out_to[v];
    } while (v != start);
    return ring.size() >= 3;
  }

  std::span<const Stone> stones_;
  const Triangulation& t_;
  const Topology& topo_;
  GroupTracer& s_;
  std::size_t order_count_ = 0;  // boundary edges of the current group
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
