// Which stones form one group, kept in step with the mesh: the partition's
// join test on each pair of neighbours, groups merged when a stone joins
// them, and split when a stone cuts the joins that held them together.

#include <algorithm>
#include <cmath>
#include <limits>

#include "game/kept_partition.hpp"
#include "voronoi/clip_lines.hpp"
#include "voronoi/fuzzy_rings.hpp"
#include "voronoi/group_merge.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = KeptPartition::NONE;
constexpr double INF = std::numeric_limits<double>::infinity();

// The partition's join test on one pair of centres, from a to b.
bool joins(Point a, Point b, double s) {
  return centres_join(a, b, clip_lines::beyond_lines(a, s), clip_lines::beyond_lines(b, s), s);
}

}  // namespace

// The partition joins two stones across their Voronoi edge: from the
// centre of one triangle beside it to the centre of the other, each in the
// rotation the sweep left it. Centres whose every value lies on the board
// in boxes apart are joined whatever the rotations; otherwise every pair of
// rotations is tried, both ways round.
KeptPartition::Join KeptPartition::join(std::uint32_t h) const {
  const std::uint32_t twin = mesh_.twin(h);
  if (twin == NONE) return Join::Apart;
  const std::uint32_t t1 = h / 3, t2 = twin / 3;
  const Point a = mesh_.centre(t1), b = mesh_.centre(t2);
  const double ra = mesh_.spread(t1), rb = mesh_.spread(t2), s = board_size_;
  if (ra < INF && rb < INF && surely_within(a.x, ra, s) && surely_within(a.y, ra, s) &&
      surely_within(b.x, rb, s) && surely_within(b.y, rb, s)) {
    if (a.x + ra < b.x - rb || b.x + rb < a.x - ra || a.y + ra < b.y - rb || b.y + rb < a.y - ra)
      return Join::Joined;
    if (ra == 0.0 && rb == 0.0) return a.x == b.x && a.y == b.y ? Join::Apart : Join::Joined;
  }
  const std::array<Point, 3> ca = mesh_.rotated_centres(t1), cb = mesh_.rotated_centres(t2);
  bool joined = false, apart = false;
  for (const Point& x : ca)
    for (const Point& y : cb)
      for (const bool j : {joins(x, y, s), joins(y, x, s)}) {
        joined = joined || j;
        apart = apart || !j;
      }
  return joined && apart ? Join::Ambiguous : joined ? Join::Joined : Join::Apart;
}

KeptPartition::Join KeptPartition::noted_join(std::uint32_t h) {
  const Join j = join(h);
  if (j == Join::Ambiguous) doubts_.insert(doubts_.end(), {mesh_.tri(h), mesh_.tri(next_halfedge(h))});
  return j;
}

KeptPartition::Join KeptPartition::noted_join_between(std::uint32_t a, std::uint32_t b) {
  const std::uint32_t h0 = mesh_.into(b);
  std::uint32_t h = h0;
  do {
    if (mesh_.tri(h) == a) return noted_join(h);
    h = mesh_.turn(h);
  } while (h != h0 && h != NONE);
  return Join::Apart;
}

bool KeptPartition::doubtful(std::uint32_t g) const {
  for (std::uint32_t v : doubts_)
    if (group_of_[v] == g) return true;
  return false;
}

void KeptPartition::place_vertex(std::uint32_t v, VertexStone stone) {
  if (v == stones_.size()) {
    stones_.push_back(stone);
    group_of_.push_back(NONE);
    return;
  }
  stones_.set(v, stone);
  group_of_.set(v, NONE);
}

std::uint32_t KeptPartition::new_group(Color colour, std::uint32_t anchor) {
  Group g;
  g.anchor = anchor;
  g.colour = colour;
  if (!free_groups_.empty()) {
    const std::uint32_t id = free_groups_.back();
    free_groups_.pop_back();
    groups_.set(id, g);
    return id;
  }
  groups_.push_back(g);
  return static_cast<std::uint32_t>(groups_.size() - 1);
}

void KeptPartition::free_group(std::uint32_t g) {
  watch(g, false);
  groups_.set(g, Group{});
  free_groups_.push_back(g);
}

std::uint32_t KeptPartition::merge(std::uint32_t a, std::uint32_t b, std::span<const std::uint32_t> ring) {
  if (a == NONE || a == b) return b;
  if (b == NONE) return a;
  // The smaller moves: a stone is moved O(log n) times over a game.
  if (groups_[a].size < groups_[b].size) std::swap(a, b);
  relabel(b, a, ring);
  affect(a);
  return a;
}

// Every member of `from` joins `into`; from's record is freed, its
// witnesses offered to into (they prove into alive if they still hold).
// A change may have cut from's joins: each member still reaches, through
// members, either the anchor or one on the ring of points the change
// touched, so the search starts from all of those.
void KeptPartition::relabel(std::uint32_t from, std::uint32_t into, std::span<const std::uint32_t> ring) {
  queue_.clear();
  auto reach = [&](std::uint32_t u) {
    if (group_of_[u] != from) return;
    group_of_.set(u, into);
    queue_.push_back(u);
  };
  reach(groups_[from].anchor);
  for (std::uint32_t u : ring) reach(u);
  for (std::size_t i = 0; i < queue_.size(); ++i) {
    const std::uint32_t h0 = mesh_.into(queue_[i]);
    std::uint32_t h = h0;
    do {
      reach(mesh_.tri(h));
      h = mesh_.turn(h);
    } while (h != h0 && h != NONE);
  }
  Group merged = groups_[into];
  const Group& gone = groups_[from];
  merged.size += gone.size;
  if (gone.life == Life::Unsure) merged.life = Life::Unsure;
  for (std::uint8_t k = 0; k < gone.witness_count && merged.witness_count < WITNESSES; ++k)
    merged.witnesses[merged.witness_count++] = gone.witnesses[k];
  groups_.set(into, merged);
  free_group(from);
}

/* Group g may have come apart: the seeds are its members that lost joins
   (or whose joins changed), and every other member still reaches one of
   them as before. A search grows from each seed at once, a vertex at a
   time in turn, along the joins between members; searches that meet
   become one, and a search that runs out before meeting the others has
   found a whole group of its own, which leaves g. The work is about the
   size of the parts that split off, times their number, however large g
   is. */
void KeptPartition::resolve_split(std::uint32_t g, std::span<const std::uint32_t> seeds) {
  const std::size_t k = seeds.size();
  if (k < 2) return;
  const std::uint32_t gen = next_generation();
  // Per search: the search it merged into (found by following parents),
  // whether it has split off, its frontier and every vertex it reached.
  SplitScratch& w = split_;
  w.parent.assign(k, 0);
  w.finished.assign(k, 0);
  w.next.assign(k, 0);
  // Each on its own: a failed allocation may have grown one and not the other.
  if (w.frontier.size() < k) w.frontier.resize(k);
  if (w.reached.size() < k) w.reached.resize(k);
  for (std::size_t c = 0; c < k; ++c) {
    w.frontier[c].clear();
    w.reached[c].clear();
  }
  std::vector<std::uint32_t>& parent = w.parent;
  std::vector<std::uint8_t>& finished = w.finished;
  std::vector<std::vector<std::uint32_t>>& frontier = w.frontier;
  std::vector<std::vector<std::uint32_t>>& reached = w.reached;
  std::vector<std::size_t>& next = w.next;
  auto find = [&](std::uint32_t c) {
    while (parent[c] != c) c = parent[c];
    return c;
  };
  std::size_t active = 0;
  for (std::uint32_t c = 0; c < k; ++c) {
    parent[c] = c;
    const std::uint32_t v = seeds[c];
    if (seen_[v] == gen) {
      parent[c] = find(owner_[v]);  // the same seed twice
      continue;
    }
    seen_[v] = gen;
    owner_[v] = c;
    frontier[c].push_back(v);
    reached[c].push_back(v);
    ++active;
  }
  // b's search carries on as a's.
  auto unite = [&](std::uint32_t a, std::uint32_t b) {
    if (reached[a].size() < reached[b].size()) std::swap(a, b);
    parent[b] = a;
    frontier[a].insert(frontier[a].end(), frontier[b].begin() + static_cast<std::ptrdiff_t>(next[b]), frontier[b].end());
    reached[a].insert(reached[a].end(), reached[b].begin(), reached[b].end());
    frontier[b].clear();
    reached[b].clear();
    --active;
    return a;
  };
  auto split_off = [&](std::uint32_t c) {
    const std::uint32_t part = new_group(groups_[g].colour, reached[c].front());
    Group rec = groups_[part];
    rec.size = static_cast<std::uint32_t>(reached[c].size());
    rec.witness_count = groups_[g].witness_count;
    rec.witnesses = groups_[g].witnesses;
    groups_.set(part, rec);
    for (std::uint32_t v : reached[c]) group_of_.set(v, part);
    Group rest = groups_[g];
    rest.size -= rec.size;
    if (group_of_[rest.anchor] != g)
      for (std::uint32_t d = 0; d < k; ++d)
        if (parent[d] == d && !finished[d] && d != c) rest.anchor = reached[d].front();
    groups_.set(g, rest);
    affect(part);
    finished[c] = 1;
    --active;
  };
  bool progressed = true;
  while (active > 1 && progressed) {
    progressed = false;
    for (std::uint32_t c = 0; c < k && active > 1; ++c) {
      if (parent[c] != c || finished[c]) continue;
      progressed = true;
      if (next[c] == frontier[c].size()) {
        split_off(c);
        continue;
      }
      std::uint32_t root = c;
      const std::uint32_t v = frontier[c][next[c]++];
      const std::uint32_t h0 = mesh_.into(v);
      std::uint32_t h = h0;
      do {
        const std::uint32_t u = mesh_.tri(h);
        if (group_of_[u] == g && noted_join(h) != Join::Apart) {
          if (seen_[u] != gen) {
            seen_[u] = gen;
            owner_[u] = root;
            frontier[root].push_back(u);
            reached[root].push_back(u);
          } else if (const std::uint32_t other = find(owner_[u]); other != root) {
            root = unite(root, other);
          }
        }
        h = mesh_.turn(h);
      } while (h != h0 && h != NONE);
    }
  }
  affect(g);
}

// Every stone's group from scratch: the components of the join graph.
void KeptPartition::label_components() {
  for (std::uint32_t v = 0; v < stones_.size(); ++v) {
    if (!is_stone(v) || group_of_[v] != NONE) continue;
    const std::uint32_t g = new_group(static_cast<Color>(stones_[v].colour), v);
    group_of_.set(v, g);
    queue_.assign(1, v);
    for (std::size_t i = 0; i < queue_.size(); ++i) {
      const std::uint32_t p = queue_[i];
      const std::uint32_t h0 = mesh_.into(p);
      std::uint32_t h = h0;
      do {
        const std::uint32_t q = mesh_.tri(h);
        if (is_stone(q) && group_of_[q] == NONE && stones_[q].colour == stones_[v].colour && join(h) != Join::Apart) {
          group_of_.set(q, g);
          queue_.push_back(q);
        }
        h = mesh_.turn(h);
      } while (h != h0 && h != NONE);
    }
    Group rec = groups_[g];
    rec.size = static_cast<std::uint32_t>(queue_.size());
    groups_.set(g, rec);
  }
}

}  // namespace quelmar
