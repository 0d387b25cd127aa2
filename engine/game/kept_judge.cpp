// Verdicts: which groups a change may have touched, and judging them, by
// a vertex that still proves life where one does, else by the group's
// rings traced on the mesh and tested with margins.

#include <algorithm>
#include <cmath>
#include <limits>

#include "game/kept_partition.hpp"
#include "voronoi/fuzzy_rings.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = KeptPartition::NONE;
// The playable area a stone changes lies within 2 of it (its dead zone,
// and the forced eyes it clears), give or take the carve's EPSILON; a
// territory edge within 1 of the boundary counts as touching. So a verdict
// can change only for territory within this reach of the stone.
constexpr double REACH = 3.0 + 1e-6;
// A point within REACH of the stone lies in some cell, whose stone is then
// within twice that of the stone; the cells meeting the disc of that reach
// are linked through neighbours that all lie so near.
constexpr double NEAR = 2.0 * REACH;
// Groups this large keep several witnesses, spread out, so that a move
// near one of them rarely costs the whole group's rings.
constexpr std::uint32_t LARGE = 16;

bool robustly_on_board(const FuzzyPoint& p, double s) {
  return p.spread < std::numeric_limits<double>::infinity() && surely_within(p.at.x, p.spread, s) &&
         surely_within(p.at.y, p.spread, s);
}

}  // namespace

std::uint32_t KeptPartition::next_generation() {
  if (seen_.size() < stones_.size()) seen_.resize(stones_.size(), 0);
  if (owner_.size() < stones_.size()) owner_.resize(stones_.size(), 0);
  if (edge_seen_.size() < mesh_.half_edge_slots()) edge_seen_.resize(mesh_.half_edge_slots(), 0);
  if (tri_seen_.size() < mesh_.half_edge_slots() / 3) tri_seen_.resize(mesh_.half_edge_slots() / 3, 0);
  if (++generation_ == 0) {
    for (auto* marks : {&seen_, &edge_seen_, &tri_seen_}) std::fill(marks->begin(), marks->end(), 0);
    generation_ = 1;
  }
  return generation_;
}

void KeptPartition::begin_affecting() {
  affected_.clear();
  doubts_.clear();
  if (++affect_generation_ == 0) {
    std::fill(group_seen_.begin(), group_seen_.end(), 0);
    affect_generation_ = 1;
  }
}

void KeptPartition::affect(std::uint32_t g) {
  if (g == NONE) return;
  if (group_seen_.size() <= g) group_seen_.resize(groups_.size(), 0);
  if (group_seen_[g] == affect_generation_) return;
  group_seen_[g] = affect_generation_;
  affected_.push_back(g);
}

// Every group with a stone whose cell comes within REACH of one of the
// centres, searched outwards from `seeds` through stones within NEAR of
// one of them.
void KeptPartition::affect_near(std::span<const Point> centres, std::span<const std::uint32_t> seeds) {
  const std::uint32_t gen = next_generation();
  auto near = [&](Point p) {
    for (Point c : centres)
      if (distance(p, c) <= NEAR) return true;
    return false;
  };
  queue_.clear();
  for (std::uint32_t v : seeds) {
    if (seen_[v] == gen || !is_stone(v)) continue;
    seen_[v] = gen;
    queue_.push_back(v);
  }
  for (std::size_t i = 0; i < queue_.size(); ++i) {
    const std::uint32_t v = queue_[i];
    affect(group_of_[v]);
    const std::uint32_t h0 = mesh_.into(v);
    std::uint32_t h = h0;
    do {
      const std::uint32_t u = mesh_.tri(h);
      if (seen_[u] != gen && is_stone(u) && near(mesh_.point(u))) {
        seen_[u] = gen;
        queue_.push_back(u);
      }
      h = mesh_.turn(h);
    } while (h != h0 && h != NONE);
  }
}

void KeptPartition::judge_affected(const AliveZone& zone, bool witnesses_hold, std::span<const std::uint32_t> fresh) {
  // judge() may split nothing and merge nothing, so the list holds still.
  for (std::size_t i = 0; i < affected_.size(); ++i) {
    const std::uint32_t g = affected_[i];
    if (g < groups_.size() && groups_[g].anchor != NONE) judge(g, zone, witnesses_hold, fresh);
  }
}

// A probe's groups: the enemy's first. Once an enemy group is dead for
// certain the move captures, and no verdict of the mover's groups can
// change the answer: those wait, stale, for the next probe.
void KeptPartition::judge_probe_groups(const AliveZone& zone, bool witnesses_hold, std::span<const std::uint32_t> fresh,
                                       Color mover) {
  auto live = [&](std::uint32_t g) { return g < groups_.size() && groups_[g].anchor != NONE; };
  for (std::uint32_t g : affected_)
    if (live(g) && groups_[g].colour != mover) judge(g, zone, witnesses_hold, fresh);
  bool captures = false;
  for (std::uint32_t g : watch_.items())
    captures = captures || (groups_[g].colour != mover && groups_[g].life == Life::Dead && !groups_[g].stale);
  for (std::uint32_t g : affected_) {
    if (!live(g) || groups_[g].colour != mover) continue;
    if (captures)
      set_stale(g, !witnesses_hold);
    else
      judge(g, zone, witnesses_hold, fresh);
  }
}

// A triangle whose centre is a vertex of g's rings (some corner in g and
// some not), one of the triangles every Delaunay triangulation has, and
// on the board for every rotation: the full computation's rings of g hold
// it, unclipped.
bool KeptPartition::witness_triangle(std::uint32_t t, std::uint32_t g) const {
  if (!mesh_.live_triangle(t)) return false;
  int in = 0;
  for (std::uint32_t k = 0; k < 3; ++k) in += group_of_[mesh_.tri(3 * t + k)] == g;
  return in > 0 && in < 3 && robustly_on_board({mesh_.centre(t), mesh_.spread(t), t}, board_size_) &&
         mesh_.unique(t);
}

// A Voronoi edge of g's rings: from the centre of t, a vertex of them, to
// the centre of the triangle across, along the edge between a stone of g
// and a point outside it; both triangles in every triangulation.
bool KeptPartition::witness_edge(std::uint32_t t, std::uint32_t across, std::uint32_t g) const {
  if (!mesh_.live_triangle(t) || !mesh_.live_triangle(across) || !mesh_.unique(across)) return false;
  for (std::uint32_t k = 0; k < 3; ++k) {
    const std::uint32_t e = 3 * t + k, twin = mesh_.twin(e);
    if (twin == NONE || twin / 3 != across) continue;
    const bool in_a = group_of_[mesh_.tri(e)] == g, in_b = group_of_[mesh_.tri(next_halfedge(e))] == g;
    return in_a != in_b && witness_triangle(t, g);
  }
  return false;
}

bool KeptPartition::witness_holds(const Witness& w, std::uint32_t g, const AliveZone& zone) const {
  const std::uint32_t t = w.triangle;
  if (!mesh_.live_triangle(t) || mesh_.version(t) != w.version) return false;
  const FuzzyPoint vertex{mesh_.centre(t), mesh_.spread(t), t};
  if (w.across == NONE) return witness_triangle(t, g) && zone.fuzzy_vertex_alive(vertex) == Life::Alive;
  if (!mesh_.live_triangle(w.across) || mesh_.version(w.across) != w.across_version ||
      !witness_edge(t, w.across, g))
    return false;
  FuzzyPoint end;
  return fuzzy_ring_edge(vertex, {mesh_.centre(w.across), mesh_.spread(w.across), w.across}, board_size_, end) &&
         zone.fuzzy_edge_alive(vertex, end) == Life::Alive;
}

void KeptPartition::judge(std::uint32_t g, const AliveZone& zone, bool witnesses_hold,
                          std::span<const std::uint32_t> fresh) {
  std::array<FuzzyWitness, WITNESSES> holding{};
  std::size_t n = 0;
  // A group found Unsure may be one the full computation groups otherwise:
  // no witness speaks for it until it is judged whole again.
  if (witnesses_hold && groups_[g].life != Life::Unsure && !doubtful(g)) {
    const Group& rec = groups_[g];
    for (std::uint8_t k = 0; k < rec.witness_count; ++k)
      if (witness_holds(rec.witnesses[k], g, zone)) holding[n++] = {rec.witnesses[k].triangle, rec.witnesses[k].across};
    if (n > 0) return set_verdict(g, Life::Alive, {holding.data(), n});
    // The new stone's own triangles are the likeliest new witnesses: their
    // centres, and the Voronoi edges out of them along the group's edge.
    for (std::uint32_t t : fresh) {
      if (!witness_triangle(t, g)) continue;
      const FuzzyPoint vertex{mesh_.centre(t), mesh_.spread(t), t};
      if (zone.fuzzy_vertex_alive(vertex) == Life::Alive) {
        holding[0] = {t, NONE};
        return set_verdict(g, Life::Alive, {holding.data(), 1});
      }
      for (std::uint32_t k = 0; k < 3; ++k) {
        const std::uint32_t twin = mesh_.twin(3 * t + k);
        if (twin == NONE || !witness_edge(t, twin / 3, g)) continue;
        FuzzyPoint end;
        const std::uint32_t across = twin / 3;
        if (fuzzy_ring_edge(vertex, {mesh_.centre(across), mesh_.spread(across), across}, board_size_, end) &&
            zone.fuzzy_edge_alive(vertex, end) == Life::Alive) {
          holding[0] = {t, across};
          return set_verdict(g, Life::Alive, {holding.data(), 1});
        }
      }
    }
  }
  tags_.clear();
  const Life life = judge_whole(g, zone, tags_);
  set_verdict(g, life, tags_);
}

Life KeptPartition::judge_whole(std::uint32_t g, const AliveZone& zone, std::vector<FuzzyWitness>& witnesses) {
  witnesses.clear();
  if (!collect_members(g) || !trace_rings(g)) return Life::Unsure;
  const std::size_t wanted = groups_[g].size > LARGE ? WITNESSES : 1;
  const Life life = zone.fuzzy_cell_is_alive(ring_points_, ring_starts_, wanted, witnesses);
  // Witnesses must hold up on their own later: keep those that do now.
  std::erase_if(witnesses, [&](const FuzzyWitness& w) {
    return w.across == NONE ? !witness_triangle(w.tag, g) : !witness_edge(w.tag, w.across, g);
  });
  return life;
}

// The members of g into members_, from its anchor, reached through joins
// that every rotation makes. False where the full computation could group
// them otherwise: a triangle at a member that some other Delaunay
// triangulation lacks, a join some rotation makes to another group, or a
// member reached only through joins some rotation does not make. (Such a
// join inside a group that holds together without it changes nothing:
// the edge is inside the group's territory either way.)
bool KeptPartition::collect_members(std::uint32_t g) {
  const std::uint32_t gen = next_generation();
  const Color colour = groups_[g].colour;
  members_.clear();
  const std::uint32_t anchor = groups_[g].anchor;
  if (anchor == NONE || group_of_[anchor] != g) return false;
  seen_[anchor] = gen;
  members_.push_back(anchor);
  for (std::size_t i = 0; i < members_.size(); ++i) {
    const std::uint32_t p = members_[i];
    const std::uint32_t h0 = mesh_.into(p);
    std::uint32_t h = h0;
    std::size_t steps = 0;
    do {
      const std::uint32_t t = h / 3;
      if (tri_seen_[t] != gen) {
        tri_seen_[t] = gen;
        if (!mesh_.unique(t)) return false;
      }
      const std::uint32_t q = mesh_.tri(h);
      if (is_stone(q) && static_cast<Color>(stones_[q].colour) == colour && seen_[q] != gen) {
        const Join j = join(h);
        if (j != Join::Apart && group_of_[q] != g) return false;
        if (j == Join::Joined) {
          seen_[q] = gen;
          members_.push_back(q);
        }
      }
      h = mesh_.turn(h);
      if (++steps > mesh_.half_edge_slots()) return false;
    } while (h != h0 && h != NONE);
    if (h == NONE) return false;  // a member on the hull: not a stone
  }
  return members_.size() == groups_[g].size;
}

// The boundary cycles of g (members_ collected), each a cycle of Voronoi
// vertices, clipped to the board with spreads into ring_points_. False
// when some clipping decision could go either way.
bool KeptPartition::trace_rings(std::uint32_t g) {
  const std::uint32_t gen = next_generation();
  ring_points_.clear();
  ring_starts_.assign(1, 0);
  const std::size_t limit = mesh_.half_edge_slots();
  for (std::uint32_t p : members_) {
    const std::uint32_t h0 = mesh_.into(p);
    std::uint32_t h = h0;
    do {
      if (group_of_[mesh_.tri(h)] != g && edge_seen_[h] != gen) {
        // A cycle from boundary edge h (into member p from outside): the
        // next boundary edge leaves the triangle h enters, from p to the
        // third corner x when x is outside, else from x's side.
        ring_.clear();
        std::uint32_t e = h;
        do {
          if (edge_seen_[e] == gen || ring_.size() > limit) return false;
          edge_seen_[e] = gen;
          const std::uint32_t t = e / 3;
          ring_.push_back({mesh_.centre(t), mesh_.spread(t), t});
          // The third corner starts the turn; the edge from it across is
          // on the hull only when both ends are sentinels, never taken then.
          const std::uint32_t around = mesh_.turn(e);
          if (around == NONE) return false;
          e = group_of_[mesh_.tri(around)] == g ? mesh_.twin(prev_halfedge(e)) : around;
          if (e == NONE) return false;
        } while (e != h);
        switch (clip_fuzzy_ring(ring_, board_size_, clip_scratch_)) {
          case FuzzyClip::Unsure: return false;
          case FuzzyClip::Dropped: break;
          case FuzzyClip::Kept:
            ring_points_.insert(ring_points_.end(), ring_.begin(), ring_.end());
            ring_starts_.push_back(static_cast<std::uint32_t>(ring_points_.size()));
            break;
        }
      }
      h = mesh_.turn(h);
    } while (h != h0 && h != NONE);
  }
  return true;
}

void KeptPartition::set_verdict(std::uint32_t g, Life life, std::span<const FuzzyWitness> witnesses) {
  const Group& rec = groups_[g];
  Group next = rec;
  next.life = life;
  next.witness_count = 0;
  next.witnesses = {};
  for (const FuzzyWitness& w : witnesses) {
    if (next.witness_count == WITNESSES) break;
    Witness& kept = next.witnesses[next.witness_count++];
    kept.triangle = w.tag;
    kept.version = mesh_.version(w.tag);
    if (w.across != NONE) {
      kept.across = w.across;
      kept.across_version = mesh_.version(w.across);
    }
  }
  next.stale = false;
  bool same = rec.life == next.life && rec.witness_count == next.witness_count && !rec.stale;
  for (std::size_t k = 0; same && k < WITNESSES; ++k) {
    const Witness &a = rec.witnesses[k], &b = next.witnesses[k];
    same = a.triangle == b.triangle && a.across == b.across && a.version == b.version &&
           a.across_version == b.across_version;
  }
  if (!same) groups_.set(g, next);
  watch(g, life != Life::Alive);
}

void KeptPartition::set_stale(std::uint32_t g, bool drop_witnesses) {
  Group rec = groups_[g];
  if (rec.stale && !(drop_witnesses && rec.witness_count > 0)) return;
  rec.stale = true;
  if (drop_witnesses) rec.witness_count = 0;
  groups_.set(g, rec);
  watch(g, true);
}

void KeptPartition::watch(std::uint32_t g, bool on) {
  Group rec = groups_[g];
  if (on == (rec.watch != NONE)) return;
  if (on) {
    rec.watch = static_cast<std::uint32_t>(watch_.size());
    watch_.push_back(g);
    groups_.set(g, rec);
    return;
  }
  const std::uint32_t last = watch_.back();
  if (last != g) {
    watch_.set(rec.watch, last);
    Group moved = groups_[last];
    moved.watch = rec.watch;
    groups_.set(last, moved);
  }
  watch_.pop_back();
  rec.watch = NONE;
  groups_.set(g, rec);
}

}  // namespace quelmar
