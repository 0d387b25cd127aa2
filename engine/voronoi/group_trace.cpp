#include "voronoi/group_trace.hpp"

#include <utility>

#include "voronoi/group_merge.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = 0xFFFFFFFFu;
constexpr std::uint32_t FAILED = 0xFFFFFFFFu;
constexpr std::uint8_t SENTINEL = 2;

// From a half-edge to the next and previous ones of its triangle, by its
// place in the triangle.
constexpr std::int8_t TO_NEXT[3] = {1, 1, -2};
constexpr std::int8_t TO_PREV[3] = {2, -1, -1};

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
      if (s_.group[k] != NONE) continue;
      const auto g = static_cast<std::uint32_t>(s_.groups.size());
      const std::uint32_t boundary = search(k, g);
      if (boundary == FAILED || !trace_rings(g, boundary)) return false;
    }
    file(out);
    return true;
  }

 private:
  // Arrays that fit together and stone ids that strictly ascend (so id
  // order is index order); fills the colours and clears the marks.
  bool prepare() {
    const std::size_t n = stones_.size(), points = t_.inedges.size();
    if (points < n || t_.halfedges.size() != m_ || topo_.turn.size() != m_ ||
        topo_.centres.size() != t_.triangle_count() || topo_.beyond.size() != topo_.centres.size())
      return false;
    std::uint8_t* colour = room(s_.colour, points);
    bool ascending = true;
    for (std::size_t k = 0; k < n; ++k) {
      colour[k] = static_cast<std::uint8_t>(stones_[k].color);
      ascending &= k == 0 || stones_[k - 1].id < stones_[k].id;
    }
    if (!ascending) return false;
    for (std::size_t k = n; k < points; ++k) colour[k] = SENTINEL;
    s_.group.assign(points, NONE);
    s_.traced.assign(m_, NONE);
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
  // board, tested in the direction merge_groups tests it. Ends on the board
  // are finite, so there numeric equality is PointKey equality.
  bool joins(std::uint32_t from, std::uint32_t to) const {
    const Point a = topo_.centres[from], b = topo_.centres[to];
    if ((topo_.beyond[from] | topo_.beyond[to]) == 0) return !(a.x == b.x && a.y == b.y);
    return !(a == b) && edge_enters_board(a, b, topo_.board_size);
  }

  // Numbers group g from stone k, depth-first in the order merge_groups
  // searches, walking each member's cell by the turns as it is labelled
  // and keeping its edges in s_.steps. Answers the count of boundary
  // edges: cell edges less two per pair of members that meet (the later
  // of the two sees the earlier labelled). FAILED when a walk does not
  // close or a cell has fewer than three edges.
  std::uint32_t search(std::uint32_t k, std::uint32_t g) {
    std::uint32_t* stack = s_.stack.data();
    std::uint32_t* group = s_.group.data();
    GroupTracer::Step* steps = s_.steps.data();
    const std::uint8_t* colour = s_.colour.data();
    const std::uint32_t* turn = topo_.turn.data();
    const std::uint32_t* tri = t_.triangles.data();
    const std::uint32_t* inedges = t_.inedges.data();
    const auto m = static_cast<std::uint32_t>(m_);
    std::uint32_t count = 0, meets = 0, members = 0;
    std::size_t depth = 0;
    stack[depth++] = k;
    while (depth > 0) {
      const std::uint32_t i = stack[--depth];
      if (group[i] != NONE) continue;
      group[i] = g;
      ++members;
      const std::uint32_t start = inedges[i];
      if (start == NONE) continue;  // left out of the triangulation: no cell
      if (start >= m) return FAILED;
      const std::uint8_t c = colour[i];
      const std::uint32_t first = count;
      std::uint32_t h = start, here = start / 3;
      do {
        // A walk that holds together takes one step per half-edge into
        // the stone, so the group's steps never outnumber the half-edges.
        if (count == m) return FAILED;
        const std::uint32_t prev = here;
        h = turn[h];
        if (h >= m) return FAILED;  // NONE included: the walk leaves the triangulation
        here = h / 3;
        const std::uint32_t q = tri[h];
        steps[count++] = {h, q};
        const std::uint32_t gq = group[q];
        meets += gq == g;
        if (colour[q] == c && gq == NONE && joins(prev, here)) stack[depth++] = q;
      } while (h != start);
      if (count - first < 3) return FAILED;
    }
    s_.groups.push_back({stones_[k].color, members, 0, 0});
    steps_ = count;
    return count - 2 * meets;
  }

  // The kept rings of group g: its cell edges scanned in the order
  // merge_groups adds them, each boundary cycle traced from the first of
  // its edges, until all `boundary` edges are traced; then clipped and
  // ordered by area.
  bool trace_rings(std::uint32_t g, std::uint32_t boundary) {
    GroupTracer::Traced& record = s_.groups.back();
    record.first_ring = static_cast<std::uint32_t>(s_.ring_order.size());
    if (boundary == 0) return true;
    room(s_.ring, boundary);
    room(s_.ring_beyond, boundary);
    const GroupTracer::Step* steps = s_.steps.data();
    const std::uint32_t* group = s_.group.data();
    const std::uint32_t* traced = s_.traced.data();
    std::uint32_t done = 0;
    for (std::uint32_t k = 0; k < steps_ && done < boundary; ++k) {
      const GroupTracer::Step step = steps[k];
      if (group[step.beyond] == g || traced[step.into] == g) continue;
      const std::uint32_t n = trace(g, step.into, boundary - done);
      if (n == 0) return false;
      done += n;
      keep(n);
    }
    if (done != boundary) return false;
    record.rings = static_cast<std::uint32_t>(s_.ring_order.size()) - record.first_ring;
    order(record);
    return true;
  }

  // The cycle from boundary edge `h0` (a half-edge into a member from a
  // point outside) into the front of s_.ring; answers its length, or 0
  // when it is shorter than three, longer than `limit` or meets an edge
  // twice. Each point is the vertex the edge leaves; the next edge leaves
  // the triangle it enters, h's own: from the member along h's next
  // half-edge when the third corner is outside, from the third corner
  // along h's previous one when it is inside.
  std::uint32_t trace(std::uint32_t g, std::uint32_t h0, std::uint32_t limit) {
    Point* ring = s_.ring.data();
    std::uint8_t* ring_beyond = s_.ring_beyond.data();
    std::uint32_t* traced = s_.traced.data();
    const std::uint32_t* group = s_.group.data();
    const std::uint32_t* tri = t_.triangles.data();
    const std::uint32_t* half = t_.halfedges.data();
    const Point* centre = topo_.centres.data();
    const std::uint8_t* beyond = topo_.beyond.data();
    const auto m = static_cast<std::uint32_t>(m_);
    // The walk that kept h0 came through its twin, so the twin exists.
    const std::uint32_t v0 = half[h0] / 3;
    ring[0] = centre[v0];
    ring_beyond[0] = beyond[v0];
    traced[h0] = g;
    std::uint32_t n = 1, h = h0;
    for (;;) {
      const std::uint32_t w = h / 3, place = h - 3 * w;
      const std::uint32_t before = h + static_cast<std::uint32_t>(TO_PREV[place]);
      const std::uint32_t after = h + static_cast<std::uint32_t>(TO_NEXT[place]);
      h = half[group[tri[before]] == g ? before : after];
      if (h == h0) break;
      if (h >= m || traced[h] == g || n == limit) return 0;
      traced[h] = g;
      ring[n] = centre[w];
      ring_beyond[n] = beyond[w];
      ++n;
    }
    return n >= 3 ? n : 0;
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
    const std::uint32_t* labels = s_.group.data();
    for (std::size_t k = 0; k < stones_.size(); ++k) slot[labels[k]]->stones.push_back(stones_[k]);
  }

  std::span<const Stone> stones_;
  const Triangulation& t_;
  const Topology& topo_;
  GroupTracer& s_;
  std::size_t m_;          // half-edges
  std::uint32_t steps_ = 0;  // cell edges of the group last searched
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
