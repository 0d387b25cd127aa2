#include "game/kept_partition.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "voronoi/build_points.hpp"

namespace quelmar {

namespace {

constexpr std::uint32_t NONE = KeptPartition::NONE;

// Stones nearer than this to another may be left out of the full
// computation's triangulation, or give centres no margin covers.
double too_close(double board_size) { return std::ldexp(board_size + 1.0, -30); }

}  // namespace

// The margins are worked out for boards the shape index handles, and for
// sizes whose S − 1 is exact.
bool KeptPartition::eligible(double board_size) {
  return std::isfinite(board_size) && board_size >= 3.0 && board_size <= 65536.0;
}

bool KeptPartition::build(std::span<const Stone> stones, const AliveZone& zone, double board_size) {
  board_size_ = board_size;
  std::vector<Point> points;
  fill_build_points(points, stones, board_size);
  if (!mesh_.build(points, board_size)) return false;
  std::vector<VertexStone>& placed = stones_.unlogged();
  placed.assign(points.size(), VertexStone{0, SENTINEL});
  for (std::size_t i = 0; i < stones.size(); ++i) placed[i] = {stones[i].id, static_cast<std::uint8_t>(stones[i].color)};
  group_of_.unlogged().assign(points.size(), NONE);
  groups_.unlogged().clear();
  free_groups_.unlogged().clear();
  watch_.unlogged().clear();
  const double close = too_close(board_size);
  for (std::uint32_t v = 0; v < stones.size(); ++v) {
    const std::uint32_t h0 = mesh_.into(v);
    std::uint32_t h = h0;
    do {
      if (distance(mesh_.point(mesh_.tri(h)), mesh_.point(v)) < close) return false;
      h = mesh_.turn(h);
    } while (h != h0 && h != NONE);
  }
  label_components();
  begin_affecting();
  for (std::uint32_t g = 0; g < groups_.size(); ++g) affect(g);
  judge_affected(zone, false, {});
  mesh_.clear_logs();
  stones_.clear_log();
  group_of_.clear_log();
  groups_.clear_log();
  free_groups_.clear_log();
  watch_.clear_log();
  pending_.unlogged().clear();
  return true;
}

void KeptPartition::star_triangles(std::uint32_t v, std::vector<std::uint32_t>& out) const {
  out.clear();
  const std::uint32_t h0 = mesh_.into(v);
  std::uint32_t h = h0;
  do {
    out.push_back(h / 3);
    h = mesh_.turn(h);
  } while (h != h0 && h != NONE);
}

KeptPartition::Judgement KeptPartition::probe(const Stone& stone, const AliveZone& zone) {
  if (!pending_.empty()) remove_captured();
  const std::uint32_t v = mesh_.insert(stone.position, change_);
  if (v == NONE) return {Outcome::OutOfStep, {}, false};
  place_vertex(v, {stone.id, static_cast<std::uint8_t>(stone.color)});
  ring_copy_.assign(change_.ring.begin(), change_.ring.end());
  bool degenerate = change_.degenerate;
  for (std::uint32_t u : ring_copy_)
    degenerate = degenerate || distance(mesh_.point(u), stone.position) < too_close(board_size_);
  begin_affecting();
  join_stone(v, stone.color);
  rejoin_ring(v);
  affect_near({&stone.position, 1}, ring_copy_);
  // Groups a committed capture left for this probe to judge.
  for (std::uint32_t g : watch_.items())
    if (groups_[g].stale) affect(g);
  star_triangles(v, fresh_);
  judge_probe_groups(zone, !degenerate, fresh_, stone.color);
  return answer(stone.color, degenerate);
}

// The stone's group: every group of its colour it joins, merged into the
// largest. The stone joins that one first: the others may hold together
// only through it.
void KeptPartition::join_stone(std::uint32_t v, Color colour) {
  std::vector<std::uint32_t>& joined = joined_;
  joined.clear();
  const std::uint32_t h0 = mesh_.into(v);
  std::uint32_t h = h0;
  do {
    const std::uint32_t q = mesh_.tri(h);
    if (is_stone(q) && static_cast<Color>(stones_[q].colour) == colour && noted_join(h) != Join::Apart &&
        std::find(joined.begin(), joined.end(), group_of_[q]) == joined.end())
      joined.push_back(group_of_[q]);
    h = mesh_.turn(h);
  } while (h != h0 && h != NONE);
  std::uint32_t own = NONE;
  for (std::uint32_t g : joined)
    if (own == NONE || groups_[g].size > groups_[own].size) own = g;
  if (own == NONE) own = new_group(colour, v);
  group_of_.set(v, own);
  Group rec = groups_[own];
  ++rec.size;
  groups_.set(own, rec);
  for (std::uint32_t g : joined)
    if (g != own) relabel(g, own, ring_copy_);
  affect(own);
}

// The joins the stone at v cut: the edges its cavity swallowed, and the
// ring's own edges, whose Voronoi edges it shortened. A group that lost
// one is searched for a split, from its stones on the ring.
void KeptPartition::rejoin_ring(std::uint32_t v) {
  const std::vector<std::uint32_t>& ring = ring_copy_;
  suspects_.clear();
  for (const auto& [a, b] : change_.lost)
    if (is_stone(a) && is_stone(b) && group_of_[a] == group_of_[b]) suspects_.push_back(a);
  const std::uint32_t h0 = mesh_.into(v);
  std::uint32_t h = h0;
  do {
    // h runs from ring point a to the stone; the edge of its triangle
    // opposite the stone runs from the next ring point b back to a.
    const std::uint32_t e = prev_halfedge(h);
    const std::uint32_t a = mesh_.tri(h), b = mesh_.tri(e);
    affect(group_of_[a]);
    if (is_stone(a) && is_stone(b) && stones_[a].colour == stones_[b].colour) {
      const Join j = noted_join(e);
      if (j == Join::Apart && group_of_[a] == group_of_[b]) suspects_.push_back(a);
      // Shortening never joins in exact terms; rounding may say otherwise.
      if (j != Join::Apart && group_of_[a] != group_of_[b]) merge(group_of_[a], group_of_[b], ring);
    }
    h = mesh_.turn(h);
  } while (h != h0 && h != NONE);
  for (std::size_t i = 0; i < suspects_.size(); ++i) {
    const std::uint32_t g = group_of_[suspects_[i]];
    const auto earlier = suspects_.begin() + static_cast<std::ptrdiff_t>(i);
    if (std::find_if(suspects_.begin(), earlier, [&](std::uint32_t a) { return group_of_[a] == g; }) != earlier)
      continue;  // that group is resolved already
    seeds_.clear();
    for (std::uint32_t u : ring)
      if (group_of_[u] == g) seeds_.push_back(u);
    if (group_of_[v] == g) seeds_.push_back(v);
    resolve_split(g, seeds_);
  }
}

// From the verdicts, all up to date: the enemy groups that died, else
// whether one of the mover's did.
KeptPartition::Judgement KeptPartition::answer(Color mover, bool degenerate) {
  Judgement out;
  bool enemy_unsure = false, own_unsure = false, own_dead = false;
  std::vector<std::uint32_t> dead;
  for (std::uint32_t g : watch_.items()) {
    const Group& rec = groups_[g];
    const bool enemy = rec.colour != mover;
    if (rec.stale) {
      // Only the mover's groups are left stale, and only when the move
      // captures.
      own_unsure = true;
      continue;
    }
    if (rec.life == Life::Unsure) (enemy ? enemy_unsure : own_unsure) = true;
    if (rec.life == Life::Dead) {
      if (enemy)
        dead.push_back(g);
      else
        own_dead = true;
    }
  }
  if (degenerate || enemy_unsure) return out;
  for (std::uint32_t g : dead) {
    if (!collect_members(g)) return out;
    for (std::uint32_t v : members_) out.captured.push_back(stones_[v].id);
  }
  std::sort(out.captured.begin(), out.captured.end());
  if (out.captured.empty()) {
    if (!own_dead && own_unsure) return out;
    out.self_capture = own_dead;
  }
  out.outcome = Outcome::Decided;
  return out;
}

void KeptPartition::capture(std::span<const StoneId> ids) {
  for (StoneId id : ids) pending_.push_back(id);  // room reserved
}

// The stones a commit captured leave the mesh; the probe that follows
// judges the groups they touched with its own.
void KeptPartition::remove_captured() {
  std::vector<StoneId> sorted(pending_.items().begin(), pending_.items().end());
  std::sort(sorted.begin(), sorted.end());
  while (!pending_.empty()) pending_.pop_back();
  Removal r;
  for (std::uint32_t v = 0; v < stones_.size(); ++v)
    if (is_stone(v) && std::binary_search(sorted.begin(), sorted.end(), stones_[v].id)) r.gone.push_back(v);
  begin_affecting();
  for (std::uint32_t v : r.gone) remove_stone(v, r);
  std::erase_if(r.rim, [&](std::uint32_t u) { return !is_stone(u); });
  for (std::uint32_t u : r.rim) affect(group_of_[u]);
  resplit(r);
  affect_near(r.centres, r.rim);
  for (std::uint32_t g : affected_)
    if (g < groups_.size() && groups_[g].anchor != NONE) set_stale(g, r.degenerate || doubtful(g));
}

void KeptPartition::remove_stone(std::uint32_t v, Removal& r) {
  auto removed = [&](std::uint32_t u) { return std::binary_search(r.gone.begin(), r.gone.end(), u); };
  const std::uint32_t g = group_of_[v];
  r.centres.push_back(mesh_.point(v));
  mesh_.remove(v, change_);
  r.degenerate = r.degenerate || change_.degenerate;
  stones_.set(v, VertexStone{});
  group_of_.set(v, NONE);
  Group rec = groups_[g];
  --rec.size;
  groups_.set(g, rec);
  if (rec.size == 0) free_group(g);
  const std::vector<std::uint32_t>& ring = change_.ring;
  r.rim.insert(r.rim.end(), ring.begin(), ring.end());
  for (std::uint32_t u : ring)
    if (group_of_[u] == g && !removed(u)) r.cut.push_back(u);
  // The hole's diagonals and its rim's edges (whose Voronoi edges grew)
  // may join groups.
  auto try_join = [&](std::uint32_t a, std::uint32_t b) {
    if (is_stone(a) && is_stone(b) && stones_[a].colour == stones_[b].colour && group_of_[a] != group_of_[b] &&
        !removed(a) && !removed(b) && noted_join_between(a, b) != Join::Apart)
      merge(group_of_[a], group_of_[b], r.rim);
  };
  for (const auto& [a, b] : change_.made) try_join(a, b);
  for (std::size_t i = 0; i < ring.size(); ++i) try_join(ring[i], ring[(i + 1) % ring.size()]);
}

// A group that lost only some of its stones (the full computation grouped
// them otherwise) needs a member for an anchor, and may have come apart
// where its lost stones held it together.
void KeptPartition::resplit(Removal& r) {
  for (std::size_t i = 0; i < r.cut.size(); ++i) {
    const std::uint32_t g = group_of_[r.cut[i]];
    const auto earlier = r.cut.begin() + static_cast<std::ptrdiff_t>(i);
    if (std::find_if(r.cut.begin(), earlier, [&](std::uint32_t u) { return group_of_[u] == g; }) != earlier) continue;
    seeds_.clear();
    for (std::uint32_t u : r.rim)
      if (group_of_[u] == g && std::find(seeds_.begin(), seeds_.end(), u) == seeds_.end()) seeds_.push_back(u);
    const std::uint32_t anchor = groups_[g].anchor;
    if (group_of_[anchor] == g) {
      if (std::find(seeds_.begin(), seeds_.end(), anchor) == seeds_.end()) seeds_.push_back(anchor);
    } else {
      Group rec = groups_[g];
      rec.anchor = seeds_.front();
      groups_.set(g, rec);
    }
    resolve_split(g, seeds_);
  }
}

KeptPartition::Mark KeptPartition::mark() const {
  return {mesh_.mark(),  stones_.mark(), group_of_.mark(), groups_.mark(),
          free_groups_.mark(), watch_.mark(), pending_.mark()};
}

void KeptPartition::rollback(const Mark& m) noexcept {
  mesh_.rollback(m.mesh);
  stones_.rollback(m.stones);
  group_of_.rollback(m.groups_of);
  groups_.rollback(m.groups);
  free_groups_.rollback(m.free_groups);
  watch_.rollback(m.watch);
  pending_.rollback(m.pending);
}

void KeptPartition::forget_before(const Mark& m) {
  mesh_.forget_before(m.mesh);
  stones_.forget_before(m.stones);
  group_of_.forget_before(m.groups_of);
  groups_.forget_before(m.groups);
  free_groups_.forget_before(m.free_groups);
  watch_.forget_before(m.watch);
  pending_.forget_before(m.pending);
}

KeptPartition::Mark KeptPartition::minus(const Mark& a, const Mark& b) {
  const DelaunayMesh::Mark& x = a.mesh;
  const DelaunayMesh::Mark& y = b.mesh;
  return {{x.tri - y.tri, x.half - y.half, x.into - y.into, x.points - y.points, x.centre - y.centre,
           x.spread - y.spread, x.version - y.version, x.tie - y.tie, x.free_tri - y.free_tri,
           x.free_vertex - y.free_vertex},
          a.stones - b.stones,
          a.groups_of - b.groups_of,
          a.groups - b.groups,
          a.free_groups - b.free_groups,
          a.watch - b.watch,
          a.pending - b.pending};
}

std::optional<std::uint32_t> KeptPartition::group_of(StoneId id) const {
  for (std::uint32_t v = 0; v < stones_.size(); ++v)
    if (is_stone(v) && stones_[v].id == id) return group_of_[v];
  return std::nullopt;
}

}  // namespace quelmar
