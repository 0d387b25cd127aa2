#pragma once
// Plays the game operations a byte string encodes and checks the board's
// invariants after every one of them. Shared by the libFuzzer entry point,
// the soak driver and the regression test, so a failing input reproduces
// the same way in all three.
//
// Layout: byte 0 picks the board size; then each operation is an opcode
// byte (ops.hpp) followed by the bytes its arguments read. A short input is
// padded with zeros.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

#include "game/game.hpp"
#include "game_checks.hpp"

namespace quelmar::fuzz {

struct RunLimits {
  std::size_t max_operations = 400;
  // Where to describe each operation and the board after it, if anywhere.
  std::FILE* trace = nullptr;
};

struct RunOutcome {
  std::size_t operations = 0;  // operations played, the failing one included
  std::size_t committed_turns = 0;  // successful moves and passes
  Failure failure;  // the first broken invariant, naming the operation
  // How the probes were judged: locally, or by the full computation; and
  // how many local answers were checked against the full computation.
  Game::LocalJudgements judged;
};

// Plays `data` on a fresh game until the bytes or the operation budget run
// out, or an invariant breaks.
RunOutcome run_game_ops(std::span<const std::uint8_t> data, RunLimits limits = {});

}  // namespace quelmar::fuzz
