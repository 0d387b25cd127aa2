#pragma once
// One cut question and the search that answers it: could an enemy pair,
// put on the best spots near the midpoint, together with the enemy stones
// already near it, leave the two Voronoi cells without a shared boundary?

#include <span>

#include "alive_zone/alive_zone.hpp"
#include "connectivity/connectivity.hpp"
#include "connectivity/cut_types.hpp"
#include "game/stone.hpp"

namespace quelmar {

struct CutQuestion {
  bool is_pair = true;  // a second stone, or a board edge
  Stone a;              // the first stone
  Point far_point;      // the second stone's centre, or A mirrored in the edge
  Point anchor_p;       // kept with the answer to decide when to drop it
  Point anchor_q;
  CutKey key;

  static CutQuestion pair(const Stone& a, const Stone& b);
  // `foot` is the foot of the perpendicular from a's centre to the edge.
  static CutQuestion boundary(const Stone& a, BoardEdge edge, Point foot);
};

// Answers from the cache when it can; otherwise probes `zone` with a
// temporarily carved circle (always taken out again, so the zone is left as
// found), decides, and caches the answer.
CutKind cut_kind(Connectivity& connectivity, AliveZone& zone, std::span<const Stone> stones,
                 const CutQuestion& question);

}  // namespace quelmar
