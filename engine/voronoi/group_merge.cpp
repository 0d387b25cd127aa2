#include "voronoi/group_merge.hpp"

#include <utility>

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = 0xFFFFFFFFu;

// Boundary adjacency of one group: per vertex index its neighbouring
// vertex indices in insertion order, and the vertices in the order they
// first got a neighbour. Cleared per group by walking the first-seen list
// only, so a group costs what its boundary costs.
class Boundary {
 public:
  Boundary(GroupScratch& s, std::size_t vertices) : s_(s) {
    s_.adjacency.assign(vertices, GroupScratch::Adjacency{{NONE, NONE, NONE}, 0, 0});
    s_.first_seen.clear();
  }

  void add_edge(std::uint32_t a, std::uint32_t b) {
    append(a, b);
    append(b, a);
  }

  // Rings of vertex indices, traced from the first-seen vertices in order.
  template <class Emit>
  void trace(Emit emit) {
    std::vector<std::uint32_t>& ring = s_.ring;
    for (const std::uint32_t v : s_.first_seen) {
      if (s_.adjacency[v].visited) continue;
      ring.clear();
      std::uint32_t current = v, previous = NONE;
      for (std::size_t steps = 0; steps < s_.first_seen.size(); ++steps) {
        s_.adjacency[current].visited = 1;
        ring.push_back(current);
        const std::uint32_t next = next_vertex(current, previous);
        if (next == NONE) break;
        previous = current;
        current = next;
      }
      if (ring.size() >= 3) emit(ring);
    }
  }

  void clear() {
    for (const std::uint32_t v : s_.first_seen) s_.adjacency[v].count = s_.adjacency[v].visited = 0;
    s_.first_seen.clear();
  }

 private:
  void append(std::uint32_t from, std::uint32_t to) {
    GroupScratch::Adjacency& a = s_.adjacency[from];
    if (a.count == 0) s_.first_seen.push_back(from);
    if (a.count < 3) a.next[a.count++] = to;  // a fourth cannot occur; never overrun
  }

  // First listed neighbour that is neither where we came from nor visited.
  std::uint32_t next_vertex(std::uint32_t current, std::uint32_t previous) const {
    const GroupScratch::Adjacency& a = s_.adjacency[current];
    for (std::uint8_t k = 0; k < a.count; ++k) {
      const std::uint32_t w = a.next[k];
      if (w != previous && !s_.adjacency[w].visited) return w;
    }
    return NONE;
  }

  GroupScratch& s_;
};

class Merger {
 public:
  Merger(std::span<const Stone> stones, const Topology& topology, GroupScratch& scratch)
      : stones_(stones), topo_(topology), s_(scratch), boundary_(scratch, topology.centres.size()) {
    s_.component.assign(stones.size(), NONE);
    s_.members.clear();
  }

  std::vector<VoronoiGroup> run() {
    std::vector<VoronoiGroup> groups;
    for (std::uint32_t k = 0; k < stones_.size(); ++k) {
      if (s_.component[k] != NONE) continue;
      const std::size_t first = s_.members.size();
      const auto g = static_cast<std::uint32_t>(groups.size());
      collect(k, g);
      groups.push_back(make_group(g, first));
    }
    return groups;
  }

 private:
  bool joins(std::uint32_t p, const CellEdge& edge) const {
    const std::uint32_t q = edge.neighbour;
    const std::size_t c = topo_.centres.size();
    if (q >= stones_.size() || stones_[q].color != stones_[p].color) return false;
    if (edge.from >= c || edge.to >= c) return false;
    const Point a = topo_.centres[edge.from], b = topo_.centres[edge.to];
    return !(a == b) && edge_enters_board(a, b, topo_.board_size);
  }

  // Depth-first from stone k; neighbours are pushed in cell order whether
  // assigned or not, and assignment is checked when popped.
  void collect(std::uint32_t k, std::uint32_t g) {
    std::vector<std::uint32_t>& stack = s_.stack;
    stack.assign(1, k);
    while (!stack.empty()) {
      const std::uint32_t i = stack.back();
      stack.pop_back();
      if (i >= stones_.size() || s_.component[i] != NONE) continue;
      s_.component[i] = g;
      s_.members.push_back(i);
      // A neighbour already assigned would only be popped and ignored.
      for (const CellEdge& edge : topo_.cell(i))
        if (edge.neighbour < stones_.size() && s_.component[edge.neighbour] == NONE &&
            joins(i, edge))
          stack.push_back(edge.neighbour);
    }
  }

  VoronoiGroup make_group(std::uint32_t g, std::size_t first) {
    const std::size_t n = stones_.size(), c = topo_.centres.size();
    std::vector<Stone> stones;
    stones.reserve(s_.members.size() - first);
    for (std::size_t m = first; m < s_.members.size(); ++m) {
      const std::uint32_t i = s_.members[m];
      stones.push_back(stones_[i]);
      for (const CellEdge& edge : topo_.cell(i)) {
        const std::uint32_t q = edge.neighbour;
        if (q < n && s_.component[q] == g) continue;  // interior: the cells merge
        if (edge.from < c && edge.to < c) boundary_.add_edge(edge.from, edge.to);
      }
    }
    std::vector<Ring> rings;
    const double side = topo_.board_size;
    boundary_.trace([&](const std::vector<std::uint32_t>& indices) {
      std::vector<Point>& points = s_.points;
      points.clear();
      for (const std::uint32_t v : indices) points.push_back(topo_.centres[v]);
      if (!clip_ring_to_board(points, side, s_.clip)) return;
      Ring& ring = rings.emplace_back();
      ring.reserve(points.size() + 1);  // room for the closing point
      ring.assign(points.begin(), points.end());
    });
    boundary_.clear();
    const Color color = stones_[s_.members[first]].color;
    return VoronoiGroup::make(color, std::move(stones), std::move(rings));
  }

  std::span<const Stone> stones_;
  const Topology& topo_;
  GroupScratch& s_;
  Boundary boundary_;
};

}  // namespace

std::vector<VoronoiGroup> merge_groups(std::span<const Stone> stones, const Topology& topology,
                                       GroupScratch& scratch) {
  return Merger(stones, topology, scratch).run();
}

std::vector<VoronoiGroup> merge_groups(std::span<const Stone> stones, const Topology& topology) {
  GroupScratch scratch;
  return merge_groups(stones, topology, scratch);
}

}  // namespace quelmar
