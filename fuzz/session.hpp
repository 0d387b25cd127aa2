#pragma once
// One fuzzed game: the live engine Game, the board as it stood before each
// committed turn, and what has happened that limits how exactly an undo
// can restore it.

#include <cstdint>
#include <cstdio>
#include <vector>

#include "byte_source.hpp"
#include "game_checks.hpp"
#include "ops.hpp"

namespace quelmar::fuzz {

class Session {
 public:
  Session(ByteSource& in, double board_size) : in_(in), game_(board_size) {}

  // Plays one operation, reading its arguments, and checks what that
  // operation promises.
  Failure step(Op op);
  // The invariants every board holds between operations.
  Failure after_step();

  std::size_t committed_turns() const { return committed_turns_; }
  // How the session's probes were judged, over every game it played.
  Game::LocalJudgements judged() const;
  // One line about operation n and the board after it.
  void describe(std::FILE* out, std::size_t n, Op op) const;

 private:
  // The board before a committed turn. `epoch` tells whether a capture has
  // been undone (or the game rebuilt) since: only then may an undo restore
  // the playable area under new shape ids.
  struct Snapshot {
    Game game;
    std::uint64_t epoch = 0;
  };

  Failure move(Point p);
  Failure committed_move(const Game& before, Point p, const GameDelta& delta);
  Failure refused_move(const Game& before, Point p, double depth, const MoveError& e);
  Failure snapped_move();
  Failure pass();
  Failure undo();
  Failure undo_several();
  Failure switch_to_replay();
  Failure switch_to_copy();
  Failure pair_cut();
  Failure boundary_cut();
  Failure nearest();
  Failure svg();
  Failure raw_delta();
  Failure broken_replay();
  Failure dead_stones();
  Failure replay_prefix();

  // Records the turn just committed on top of `before` and checks that
  // undoing it on a copy gives `before` back.
  Failure committed(const Game& before, GraphMatch undo_restores);
  // The snapped point of a snapped move or a nearest question must be
  // placeable where rounding cannot reach EPSILON.
  bool placeability_checked(Point asked) const;

  // Adds the live game's judgements to those of the games before it.
  void retire_game();

  ByteSource& in_;
  Game game_;
  Game::LocalJudgements retired_;
  std::vector<Snapshot> snapshots_;  // one per history entry
  std::uint64_t epoch_ = 0;
  // A raw delta can reuse a captured stone's id or take a later turn's, so
  // an id both in play and captured, and a move refused because its id is
  // taken, are then the log's doing and not the engine's.
  bool irregular_ = false;
  std::size_t committed_turns_ = 0;
};

}  // namespace quelmar::fuzz
