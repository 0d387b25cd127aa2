#include "voronoi/group_trace.hpp"

#include <algorithm>
#include <utility>

#include "voronoi/group_merge.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = 0xFFFFFFFFu;
constexpr std::uint32_t FAILED = 0xFFFFFFFFu;
// States of GroupTracer::state below LABELLED: the two colours, then
// sentinels.
constexpr std::uint32_t SENTINEL = 2;
constexpr std::uint32_t LABELLED = 3;

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
      : stones_(stones), t_(t), topo_(topology), s_(s), m_(t.triangles.size()) {}

  bool run(Voronoi& out) {
    if (!prepare()) return false;
    const std::size_t n = stones_.size();
    for (std::uint32_t k = 0; k < n; ++k) {
      if (s_.state[k] >= LABELLED) continue;
      const auto g = static_cast<std::uint32_t>(s_.groups.size());
      const std::uint32_t boundary = search(k, g);
      if (boundary == FAILED || !trace_rings(g, boundary)) return false;
    }
    file(out);
    return true;
  }

 private:
  // Arrays that fit together and stone ids that strictly ascend (so id
  // order is index order); sets every point's state and takes this build's
  // marks.
  bool prepare() {
    const std::size_t n = stones_.size(), points = t_.inedges.size();
    if (points < n || t_.halfedges.size() != m_ || topo_.turn.size() != m_ || topo_.third.size() != m_ ||
        topo_.centres.size() != t_.triangle_count() || topo_.beyond.size() != topo_.centres.size())
      return false;
    std::uint32_t* state = room(s_.state, points);
    bool ascending = true;
    for (std::size_t k = 0; k < n; ++k) {
      state[k] = static_cast<std::uint32_t>(stones_[k].color);
      ascending &= k == 0 || stones_[k - 1].id < stones_[k].id;
    }
    if (!ascending) return false;
    for (std::size_t k = n; k < points; ++k) state[k] = SENTINEL;
    // Marks below next_mark are earlier builds'; grown entries are 0.
    room(s_.traced, m_);
    if (s_.next_mark > NONE - n - 1) {
      std::fill(s_.traced.begin(), s_.traced.end(), 0);
      s_.next_mark = 1;
    }
    mark_ = s_.next_mark;
    s_.next_mark += static_cast<std::uint32_t>(n + 1);
    // A stone is pushed once per neighbour that reaches it, plus the root;
    // a group has at most one cell edge per half-edge.
    room(s_.stack, m_ + 1);
    room(s_.steps, m_);
    s_.groups.clear();
    s_.ring_points.clear();
    s_.ring_start.assign(1, 0);
    s_.ring_order.clear();
    return true;
  }

  // Same-colour cells across an edge of positive length that enters the
  // board, tested in the direction merge_groups tests it.
  [[gnu::noinline]] bool joins(std::uint32_t from, std::uint32_t to) const {
    return centres_join(topo_.centres[from], topo_.centres[to], topo_.beyond[from], topo_.beyond[to],
                        topo_.board_size);
  }

  // Numbers group g from stone k, depth-first in the order merge_groups
  // searches: each member's cell is walked by the turns into s_.steps (the
  // half-edges into the member, one per cell edge) as the member is
  // labelled, then its neighbours are pushed in cell order.
  // Answers the count of boundary edges: cell edges less two per pair of
  // members that meet (the later of the two sees the earlier labelled).
  // FAILED when a walk does not close or a cell has fewer than three
  // edges.
  [[gnu::noinline]] std::uint32_t search(std::uint32_t k, std::uint32_t g) {
    std::uint32_t* stack = s_.stack.data();
    std::uint32_t* state = s_.state.data();
    std::uint32_t* const steps = s_.steps.data();
    std::uint32_t* const full = steps + m_;
    const std::uint32_t* turn = topo_.turn.data();
    const std::uint32_t* tri = t_.triangles.data();
    const std::uint32_t* inedges = t_.inedges.data();
    const auto m = static_cast<std::uint32_t>(m_);
    const std::uint32_t label = LABELLED + g;
    std::uint32_t meets = 0, members = 0;
    std::uint32_t* end = steps;
    std::size_t depth = 0;
    stack[depth++] = k;
    while (depth > 0) {
      const std::uint32_t i = stack[--depth];
      const std::uint32_t colour = state[i];
      if (colour >= LABELLED) continue;
      state[i] = label;
      ++members;
      const std::uint32_t start = inedges[i];
      if (start == NONE) continue;  // left out of the triangulation: no cell
      if (start >= m) return FAILED;
      std::uint32_t* const first = end;
      // Each edge runs from the triangle the walk left to the one it
      // entered; neighbours are pushed in cell order.
      std::uint32_t h = start;
      do {
        // A walk that holds together takes one step per half-edge into
        // the stone, so the group's steps never outnumber the half-edges.
        if (end == full) return FAILED;
        const std::uint32_t from = h;
        h = turn[h];
        if (h >= m) return FAILED;  // NONE included: the walk leaves the triangulation
        *end++ = h;
        const std::uint32_t q = tri[h], seen = state[q];
        meets += seen == label;
        if (seen == colour && joins(from / 3, h / 3)) stack[depth++] = q;
      } while (h != start);
      if (end - first < 3) return FAILED;
    }
    s_.groups.push_back({stones_[k].color, members, 0, 0});
    steps_ = static_cast<std::uint32_t>(end - steps);
    return steps_ - 2 * meets;
  }

  // The kept rings of group g: its cell edges scanned in the order
  // merge_groups adds them, each boundary cycle traced from the first of
  // its edges, until all `boundary` edges are traced; then clipped and
  // ordered by area.
  bool trace_rings(std::uint32_t g, std::uint32_t boundary) {
    GroupTracer::Traced& record = s_.groups.back();
    record.first_ring = static_cast<std::uint32_t>(s_.ring_order.size());
    if (boundary == 0) return true;
    const std::uint32_t* steps = s_.steps.data();
    const std::uint32_t* tri = t_.triangles.data();
    const std::uint32_t* state = s_.state.data();
    const std::uint32_t* traced = s_.traced.data();
    const std::uint32_t label = LABELLED + g, mark = mark_ + g;
    std::uint32_t done = 0;
    for (std::uint32_t k = 0; k < steps_; ++k) {
      const std::uint32_t into = steps[k];
      if (state[tri[into]] == label || traced[into] == mark) continue;
      const std::uint32_t n = trace(g, into);
      if (n == 0 || n > boundary - done) return false;
      keep(n);
      done += n;
      if (done == boundary) break;
    }
    if (done != boundary) return false;
    record.rings = static_cast<std::uint32_t>(s_.ring_order.size()) - record.first_ring;
    order(record);
    return true;
  }

  // The cycle from boundary edge `h0` (a half-edge into a member from a
  // point outside) into the front of s_.ring; answers its length, or 0
  // when it is shorter than three or meets an edge twice. Each point is the
  // vertex the edge leaves. The next edge leaves the triangle h enters,
  // from the member to the third corner x when x is outside (the member's
  // next edge in: h's turn), else from x to the point outside (the edge
  // into x from h's start: h's third); x is where the turn starts. The
  // walk keeps half-edges only; the points of their triangles are gathered
  // after it, off the chain of dependent loads. Out of line, as search is,
  // so that each loop gets the registers to itself.
  [[gnu::noinline]] std::uint32_t trace(std::uint32_t g, std::uint32_t h0) {
    std::uint32_t* edge = room(s_.ring_edge, m_);
    std::uint32_t* traced = s_.traced.data();
    const std::uint32_t* state = s_.state.data();
    const std::uint32_t* tri = t_.triangles.data();
    const std::uint32_t* turn = topo_.turn.data();
    const std::uint32_t* third = topo_.third.data();
    const auto m = static_cast<std::uint32_t>(m_);
    const std::uint32_t label = LABELLED + g, mark = mark_ + g;
    traced[h0] = mark;
    // Every edge is marked as it is taken, so the walk ends within m steps.
    std::uint32_t n = 0, h = h0;
    for (;;) {
      edge[n++] = h;
      const std::uint32_t around = turn[h], across = third[h];
      h = state[tri[around]] == label ? across : around;
      if (h == h0) break;
      if (h >= m || traced[h] == mark) return 0;
      traced[h] = mark;
    }
    if (n < 3) return 0;
    // Edge k leaves the triangle edge k - 1 entered; the first leaves the
    // triangle of h0's twin, which is where the last one enters.
    Point* ring = room(s_.ring, n);
    std::uint8_t* ring_beyond = room(s_.ring_beyond, n);
    const Point* centre = topo_.centres.data();
    const std::uint8_t* beyond = topo_.beyond.data();
    std::uint32_t from = edge[n - 1] / 3;
    for (std::uint32_t k = 0; k < n; ++k) {
      ring[k] = centre[from];
      ring_beyond[k] = beyond[from];
      from = edge[k] / 3;
    }
    return n;
  }

  // Clips the traced cycle of n points and keeps it unless that drops it.
  void keep(std::uint32_t n) {
    const std::span<const Point> clipped =
        s_.clipper.clip({s_.ring.data(), n}, {s_.ring_beyond.data(), n}, topo_.board_size);
    if (clipped.empty()) return;
    s_.ring_order.push_back(static_cast<std::uint32_t>(s_.ring_start.size() - 1));
    s_.ring_points.insert(s_.ring_points.end(), clipped.begin(), clipped.end());
    s_.ring_start.push_back(static_cast<std::uint32_t>(s_.ring_points.size()));
  }

  std::span<const Point> kept_ring(std::uint32_t r) const {
    return {s_.ring_points.data() + s_.ring_start[r], s_.ring_start[r + 1] - s_.ring_start[r]};
  }

  // The group's rings in the order order_and_close_rings gives them.
  void order(const GroupTracer::Traced& record) {
    if (record.rings < 2) return;
    double* areas = room(s_.areas, record.rings);
    std::uint32_t* rings = s_.ring_order.data() + record.first_ring;
    for (std::uint32_t k = 0; k < record.rings; ++k) areas[k] = ring_area(kept_ring(rings[k]));
    order_by_area({areas, record.rings}, {rings, record.rings});
    for (std::uint32_t k = 0; k < record.rings; ++k) rings[k] += record.first_ring;
  }

  // Files every group by colour, its stones in index order (id order) and
  // its rings closed, each vector allocated once at its size.
  void file(Voronoi& out) {
    const std::size_t groups = s_.groups.size();
    std::size_t black = 0;
    for (const GroupTracer::Traced& g : s_.groups) black += g.color == Color::Black;
    out.black.resize(black);
    out.white.resize(groups - black);
    VoronoiGroup** slot = room(s_.slot, groups);
    std::size_t b = 0, w = 0;
    for (std::size_t g = 0; g < groups; ++g) {
      const GroupTracer::Traced& record = s_.groups[g];
      VoronoiGroup& group = record.color == Color::Black ? out.black[b++] : out.white[w++];
      group.color = record.color;
      group.stones.reserve(record.stones);
      group.rings.reserve(record.rings);
      for (std::uint32_t k = 0; k < record.rings; ++k) {
        const std::span<const Point> points = kept_ring(s_.ring_order[record.first_ring + k]);
        Ring& ring = group.rings.emplace_back();
        ring.reserve(points.size() + 1);
        ring.assign(points.begin(), points.end());
        ring.push_back(points.front());
      }
      slot[g] = &group;
    }
    const std::uint32_t* state = s_.state.data();
    for (std::size_t k = 0; k < stones_.size(); ++k)
      slot[state[k] - LABELLED]->stones.push_back(stones_[k]);
  }

  std::span<const Stone> stones_;
  const Triangulation& t_;
  const Topology& topo_;
  GroupTracer& s_;
  std::size_t m_;          // half-edges
  std::uint32_t steps_ = 0;  // cell edges of the group last searched
  std::uint32_t mark_ = 0;   // group g marks what its rings take with mark_ + g
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
