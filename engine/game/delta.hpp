#pragma once
// What one turn does to the board, and the history entry that records it.

#include <optional>
#include <vector>

#include "game/stone.hpp"

namespace quelmar {

// A stone placed (absent for a pass) and the stones that placement took off
// the board, in the order held. The type itself enforces nothing.
struct GameDelta {
  std::optional<Stone> new_stone;
  std::vector<StoneId> captured_stone_ids;

  bool is_pass() const { return !new_stone.has_value(); }
  friend bool operator==(const GameDelta&, const GameDelta&) = default;
};

// One entry of a game's history.
struct AppliedDelta {
  GameDelta delta;
  // Forced eyes the placement removed, in the order removed; undo puts them back.
  std::vector<Point> cleared_eyes;
  // True only for the probe placement inside a move.
  bool transient = false;
};

// Oldest first. A transient entry, while it exists, is always the last.
using History = std::vector<AppliedDelta>;

}  // namespace quelmar
