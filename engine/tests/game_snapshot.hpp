#pragma once
// Everything an undo, or a change that failed, must leave as it was,
// compared exactly: stones, log, counters, forced eyes and dead zones.

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "game/game.hpp"

namespace quelmar::testing_support {

struct Snapshot {
  StoneMap stones, captured;
  std::vector<GameDelta> log;
  std::uint32_t turn;
  GameStatus status;
  std::array<std::uint32_t, 2> captures;
  std::vector<std::pair<PointKey, Point>> eyes;
  std::vector<StoneId> dead_zone_stones;

  explicit Snapshot(const Game& g)
      : stones(g.stones()), captured(g.captured()), log(g.log()), turn(g.turn()), status(g.status()),
        captures(g.captures()) {
    for (const auto& [k, p] : g.alive_zone().forced_eyes()) eyes.emplace_back(k, p);
    for (const auto& [id, shape] : g.alive_zone().dead_zones()) dead_zone_stones.push_back(id);
  }
  bool operator==(const Snapshot& o) const {
    return stones == o.stones && captured == o.captured && log == o.log && turn == o.turn &&
           status == o.status && captures == o.captures && eyes == o.eyes &&
           dead_zone_stones == o.dead_zone_stones;
  }
};

}  // namespace quelmar::testing_support
