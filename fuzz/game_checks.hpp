#pragma once
// The invariants the harness holds a game to after every operation. Each
// check answers the first broken one as a sentence, or nothing.

#include <optional>
#include <string>

#include "game/game.hpp"

namespace quelmar::fuzz {

using Failure = std::optional<std::string>;

// How closely two games' clipping graphs must agree. Re-carved circles get
// new shape ids and recomputed crossings, so after a capture is undone (or
// the game is rebuilt by replay) only the playable region itself can match.
enum class GraphMatch : std::uint8_t { Exact, LiveStructure, Region };

struct Agreement {
  bool revision = false;
  GraphMatch graph = GraphMatch::Region;
  // A replayed log may reuse a captured stone's id and capture it again;
  // the maps keep one stone per id and one eye per point, so undoing that
  // capture cannot bring the earlier records back, and everything hangs on
  // those records: only the counters are then compared.
  bool ids_reused = false;
};

// A board on which rounding stays far below the placement tolerance and the
// Voronoi partition is well defined: finite, at least 1 and at most 1e6.
bool reasonable_board(double board_size);

// The first difference between the two games: size, counters, stones,
// captured stones, history, forced eyes, dead-zone stones, the depth of the
// playable area at sample points, and the graph as `what` asks (a live
// structure only on a finite board).
Failure compare_games(const Game& expected, const Game& actual, Agreement what);

// validate() holds; a replayed log that reused a captured stone's id may
// leave that id both in play and captured, which is reported and tolerated
// only when `ids_reused`.
Failure check_validates(const Game& game, bool ids_reused);

// Replaying the log into a fresh game reproduces the position.
Failure check_replay(const Game& game, bool ids_reused);

// With a stone on a reasonable board, the group areas sum to the board's
// area (relative 1e-9); groups hold ascending stones of their colour and
// closed rings.
Failure check_territory(const Game& game);

// A copy of `game` with its last committed turn undone equals `before`.
Failure check_undo_restores(const Game& game, const Game& before, Agreement what);

// The document is one well-formed-looking SVG: the root tag first, the
// closing tag last, every line one element, angle brackets balanced.
Failure check_svg(const std::string& svg);

}  // namespace quelmar::fuzz
