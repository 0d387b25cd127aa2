// The check of every local answer against the full computation, in the
// builds that ask for it (Debug and the fuzz harness): the probe's answer,
// and per group of the probed board its membership and, where the kept
// state vouches for it, its verdict.

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "game/game.hpp"

namespace quelmar {

void Game::check_local(Color mover, const KeptPartition::Judgement& local) {
#if QUELMAR_CHECK_LOCAL_VERDICTS
  ++local_.checked;
  std::string failure;
  const ProbeVerdict full = judge_probe(mover);
  if (full.captured != local.captured || (full.captured.empty() && full.self_capture != local.self_capture))
    failure = "the local answer to a probe differs from the full computation's";
  const std::vector<std::pair<StoneId, std::uint32_t>> kept = kept_.state->stone_groups();
  auto group_of = [&](StoneId id) {
    auto it = std::lower_bound(kept.begin(), kept.end(), std::make_pair(id, std::uint32_t{0}));
    return it != kept.end() && it->first == id ? it->second : KeptPartition::NONE;
  };
  const Voronoi& v = voronoi();
  for (const auto* groups : {&v.black, &v.white}) {
    for (const VoronoiGroup& g : *groups) {
      if (!failure.empty() || g.stones.empty()) break;
      const std::uint32_t first = group_of(g.stones.front().id);
      bool one = first != KeptPartition::NONE;
      bool vouched = one && kept_.state->life(first) != Life::Unsure;
      for (const Stone& s : g.stones) {
        const std::uint32_t k = group_of(s.id);
        one = one && k == first;
        vouched = vouched || (k != KeptPartition::NONE && kept_.state->life(k) != Life::Unsure);
      }
      one = one && kept_.state->group_size(first) == g.stones.size();
      // A kept group the state vouches for is exactly a group of the partition.
      if (!one) {
        if (vouched) failure = "stone " + std::to_string(g.stones.front().id) + "'s kept group is not the partition's";
        continue;
      }
      if (!vouched) continue;
      if ((kept_.state->life(first) == Life::Alive) != alive_zone_.cell_is_alive(g.rings))
        failure = "the kept verdict of the group of stone " + std::to_string(g.stones.front().id) +
                  " differs from the full computation's";
    }
  }
  if (failure.empty()) return;
  ++local_.mismatches;
  if (!local_failure_) local_failure_ = failure;
#if QUELMAR_CHECK_INVARIANTS
  std::fprintf(stderr, "quelmar: %s\n", failure.c_str());
  std::abort();
#endif
#else
  (void)mover;
  (void)local;
#endif
}

}  // namespace quelmar
