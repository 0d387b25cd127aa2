#include "voronoi/group_merge.hpp"

#include <utility>

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = 0xFFFFFFFFu;

// Boundary adjacency of one group: per vertex index a list of neighbouring
// vertex indices in insertion order (linked nodes in one pool), and the
// vertices in the order they first got a list. Cleared per group by walking
// the first-seen list only, so a group costs what its boundary costs.
class Boundary {
 public:
  explicit Boundary(std::size_t vertices)
      : head_(vertices, NONE), tail_(vertices, NONE), visited_(vertices, 0) {}

  void add_edge(std::uint32_t a, std::uint32_t b) {
    append(a, b);
    append(b, a);
  }

  // Rings of vertex indices, traced from the first-seen vertices in order.
  template <class Emit>
  void trace(std::vector<std::uint32_t>& ring, Emit emit) {
    for (const std::uint32_t v : first_seen_) {
      if (visited_[v]) continue;
      ring.clear();
      std::uint32_t current = v, previous = NONE;
      for (std::size_t steps = 0; steps < first_seen_.size(); ++steps) {
        visited_[current] = 1;
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
    for (const std::uint32_t v : first_seen_) {
      head_[v] = tail_[v] = NONE;
      visited_[v] = 0;
    }
    first_seen_.clear();
    nodes_.clear();
  }

 private:
  struct Node {
    std::uint32_t vertex;
    std::uint32_t next;
  };

  void append(std::uint32_t from, std::uint32_t to) {
    const std::uint32_t id = static_cast<std::uint32_t>(nodes_.size());
    nodes_.push_back({to, NONE});
    if (head_[from] == NONE) {
      head_[from] = id;
      first_seen_.push_back(from);
    } else {
      nodes_[tail_[from]].next = id;
    }
    tail_[from] = id;
  }

  // First listed neighbour that is neither where we came from nor visited.
  std::uint32_t next_vertex(std::uint32_t current, std::uint32_t previous) const {
    for (std::uint32_t n = head_[current]; n != NONE; n = nodes_[n].next) {
      const std::uint32_t w = nodes_[n].vertex;
      if (w != previous && !visited_[w]) return w;
    }
    return NONE;
  }

  std::vector<std::uint32_t> head_, tail_;
  std::vector<std::uint8_t> visited_;
  std::vector<std::uint32_t> first_seen_;
  std::vector<Node> nodes_;
};

class Merger {
 public:
  Merger(std::span<const Stone> stones, const Topology& topology)
      : stones_(stones), topo_(topology), component_(stones.size(), NONE),
        boundary_(topology.centres.size()) {}

  std::vector<VoronoiGroup> run() {
    std::vector<VoronoiGroup> groups;
    for (std::uint32_t k = 0; k < stones_.size(); ++k) {
      if (component_[k] != NONE) continue;
      const std::size_t first = members_.size();
      collect(k, static_cast<std::uint32_t>(groups.size()));
      groups.push_back(make_group(static_cast<std::uint32_t>(groups.size()), first));
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
    stack_.assign(1, k);
    while (!stack_.empty()) {
      const std::uint32_t i = stack_.back();
      stack_.pop_back();
      if (i >= stones_.size() || component_[i] != NONE) continue;
      component_[i] = g;
      members_.push_back(i);
      for (const CellEdge& edge : topo_.cell(i))
        if (joins(i, edge)) stack_.push_back(edge.neighbour);
    }
  }

  VoronoiGroup make_group(std::uint32_t g, std::size_t first) {
    const std::size_t n = stones_.size();
    std::vector<Stone> stones;
    stones.reserve(members_.size() - first);
    for (std::size_t m = first; m < members_.size(); ++m) {
      const std::uint32_t i = members_[m];
      stones.push_back(stones_[i]);
      for (const CellEdge& edge : topo_.cell(i)) {
        const std::uint32_t q = edge.neighbour;
        if (q < n && component_[q] == g) continue;  // interior: the cells merge
        if (edge.from < topo_.centres.size() && edge.to < topo_.centres.size())
          boundary_.add_edge(edge.from, edge.to);
      }
    }
    std::vector<Ring> rings;
    const double s = topo_.board_size;
    boundary_.trace(ring_indices_, [&](const std::vector<std::uint32_t>& indices) {
      points_.clear();
      for (const std::uint32_t v : indices) points_.push_back(topo_.centres[v]);
      if (clip_ring_to_board(points_, s, scratch_)) rings.emplace_back(points_.begin(), points_.end());
    });
    boundary_.clear();
    const Color color = stones_[members_[first]].color;
    return VoronoiGroup::make(color, std::move(stones), std::move(rings));
  }

  std::span<const Stone> stones_;
  const Topology& topo_;
  std::vector<std::uint32_t> component_;
  std::vector<std::uint32_t> members_;
  std::vector<std::uint32_t> stack_;
  Boundary boundary_;
  std::vector<std::uint32_t> ring_indices_;
  std::vector<Point> points_, scratch_;
};

}  // namespace

std::vector<VoronoiGroup> merge_groups(std::span<const Stone> stones, const Topology& topology) {
  return Merger(stones, topology).run();
}

}  // namespace quelmar
