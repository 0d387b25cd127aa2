// The kept state's check of itself against the stones in play: recomputes
// what the moves maintained (the groups as components of the joins, their
// sizes and records, the watch list) and compares.

#include <algorithm>
#include <bit>

#include "game/kept_partition.hpp"

namespace quelmar {

std::vector<std::pair<StoneId, std::uint32_t>> KeptPartition::stone_groups() const {
  std::vector<std::pair<StoneId, std::uint32_t>> out;
  for (std::uint32_t v = 0; v < stones_.size(); ++v)
    if (is_stone(v)) out.emplace_back(stones_[v].id, group_of_[v]);
  std::sort(out.begin(), out.end());
  return out;
}

bool KeptPartition::same_as(const KeptPartition& o) const {
  auto same_stones = [](const std::vector<VertexStone>& a, const std::vector<VertexStone>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const VertexStone& x, const VertexStone& y) {
             return x.id == y.id && x.colour == y.colour;
           });
  };
  auto same_groups = [](const std::vector<Group>& a, const std::vector<Group>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const Group& x, const Group& y) {
             bool same = x.anchor == y.anchor && x.size == y.size && x.colour == y.colour && x.life == y.life &&
                         x.stale == y.stale && x.watch == y.watch && x.witness_count == y.witness_count;
             for (std::size_t k = 0; same && k < WITNESSES; ++k)
               same = x.witnesses[k].triangle == y.witnesses[k].triangle && x.witnesses[k].across == y.witnesses[k].across &&
                      x.witnesses[k].version == y.witnesses[k].version &&
                      x.witnesses[k].across_version == y.witnesses[k].across_version;
             return same;
           });
  };
  return mesh_.same_as(o.mesh_) && same_stones(stones_.items(), o.stones_.items()) &&
         group_of_.items() == o.group_of_.items() && same_groups(groups_.items(), o.groups_.items()) &&
         free_groups_.items() == o.free_groups_.items() && watch_.items() == o.watch_.items() &&
         pending_.items() == o.pending_.items() &&
         std::bit_cast<std::uint64_t>(board_size_) == std::bit_cast<std::uint64_t>(o.board_size_);
}

std::optional<std::string> KeptPartition::validate(std::span<const Stone> stones) const {
  if (auto fault = mesh_.validate()) return "the kept mesh: " + *fault;
  const std::size_t slots = mesh_.vertex_slots();
  if (stones_.size() != slots || group_of_.size() != slots) return std::string("the kept vertex tables disagree in length");
  std::vector<std::pair<StoneId, std::uint32_t>> placed;
  std::size_t sentinels = 0;
  for (std::uint32_t v = 0; v < slots; ++v) {
    const std::uint8_t c = stones_[v].colour;
    if ((c != EMPTY) != mesh_.live(v)) return "vertex " + std::to_string(v) + " is live without a stone or the other way";
    sentinels += c == SENTINEL;
    if (c < SENTINEL) placed.emplace_back(stones_[v].id, v);
  }
  if (sentinels != 4) return std::string("the kept mesh does not hold the four sentinels");
  std::sort(placed.begin(), placed.end());
  if (placed.size() != stones.size())
    return "the kept mesh holds " + std::to_string(placed.size()) + " stones, not " + std::to_string(stones.size());
  for (std::size_t i = 0; i < stones.size(); ++i) {
    const std::uint32_t v = placed[i].second;
    const Point p = mesh_.point(v);
    if (placed[i].first != stones[i].id || stones_[v].colour != static_cast<std::uint8_t>(stones[i].color) ||
        std::bit_cast<std::uint64_t>(p.x) != std::bit_cast<std::uint64_t>(stones[i].position.x) ||
        std::bit_cast<std::uint64_t>(p.y) != std::bit_cast<std::uint64_t>(stones[i].position.y))
      return "stone " + std::to_string(stones[i].id) + " is not where the kept mesh holds it";
  }
  // Each component of the joins is one group, with its record.
  std::vector<std::uint32_t> component(slots, NONE);
  std::vector<std::uint32_t> owner(groups_.size(), NONE);
  std::vector<std::uint32_t> queue;
  for (std::uint32_t v = 0; v < slots; ++v) {
    if (!is_stone(v) || component[v] != NONE) continue;
    const std::uint32_t g = group_of_[v];
    if (g >= groups_.size() || groups_[g].anchor == NONE) return "stone vertex " + std::to_string(v) + " has no group";
    if (owner[g] != NONE) return "group " + std::to_string(g) + " is not connected by joins";
    owner[g] = v;
    component[v] = v;
    queue.assign(1, v);
    for (std::size_t i = 0; i < queue.size(); ++i) {
      const std::uint32_t p = queue[i];
      const std::uint32_t h0 = mesh_.into(p);
      std::uint32_t h = h0;
      do {
        const std::uint32_t q = mesh_.tri(h);
        if (is_stone(q) && stones_[q].colour == stones_[p].colour && join(h) != Join::Apart) {
          if (group_of_[q] != g)
            return "joined stones " + std::to_string(stones_[p].id) + " and " + std::to_string(stones_[q].id) +
                   " sit in groups " + std::to_string(g) + " and " + std::to_string(group_of_[q]);
          if (component[q] == NONE) {
            component[q] = v;
            queue.push_back(q);
          }
        }
        h = mesh_.turn(h);
      } while (h != h0 && h != NONE);
    }
    const Group& rec = groups_[g];
    if (rec.size != queue.size() || rec.colour != static_cast<Color>(stones_[v].colour) || group_of_[rec.anchor] != g)
      return "group " + std::to_string(g) + "'s record does not match its stones";
  }
  std::size_t free = 0, watched = 0;
  for (std::uint32_t g = 0; g < groups_.size(); ++g) {
    const Group& rec = groups_[g];
    if (rec.anchor == NONE) {
      ++free;
      if (rec.watch != NONE) return "free group " + std::to_string(g) + " is watched";
      continue;
    }
    if (owner[g] == NONE) return "group " + std::to_string(g) + " has a record but no stones";
    const bool on = rec.life != Life::Alive || rec.stale;
    watched += on;
    if (on != (rec.watch != NONE) || (on && (rec.watch >= watch_.size() || watch_[rec.watch] != g)))
      return "group " + std::to_string(g) + " is not watched as its verdict says";
  }
  if (free != free_groups_.size() || watched != watch_.size()) return std::string("the free or watched groups are miscounted");
  std::vector<std::uint8_t> listed(groups_.size(), 0);
  for (std::uint32_t g : free_groups_.items())
    if (g >= groups_.size() || groups_[g].anchor != NONE || listed[g]++)
      return "group " + std::to_string(g) + " is listed free but is not, or twice";
  return std::nullopt;
}

}  // namespace quelmar
