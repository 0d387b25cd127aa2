#pragma once
// The operations the harness plays, and which opcode bytes select them.
// Each operation owns a run of opcode values in proportion to its weight,
// so random bytes mostly play moves and questions and only now and then
// rebuild the game.

#include <array>
#include <cstdint>

namespace quelmar::fuzz {

enum class Op : std::uint8_t {
  MoveSpecial,     // both coordinates of a special kind
  MoveOrdinary,    // anywhere on or just off the board
  MoveNearStone,   // 2.0, 4.0 or an ulp off them from a stone in play
  MoveLattice,     // a square or hexagonal lattice cell
  MoveSnapped,     // the nearest placeable point to any position
  Pass,
  Undo,
  UndoSeveral,     // up to eight undos in a row
  SwitchToReplay,  // go on with the game rebuilt from its log
  SwitchToCopy,    // go on with a copy, the original destroyed
  PairCut,
  BoundaryCut,
  Nearest,         // the nearest placeable point, checked
  DumpSvg,
  RawDelta,        // a delta as a replayed log may hold one
  BrokenReplay,    // the log with one entry dropped, repeated or moved
  DeadStones,
  ReplayPrefix,    // the first k turns replayed, against the board back then
};

inline constexpr std::size_t OP_COUNT = 18;

inline constexpr std::array<std::uint8_t, OP_COUNT> OP_WEIGHTS = {
    14, 20, 36, 24, 44, 8, 16, 4, 4, 4, 24, 14, 16, 6, 6, 4, 8, 4,
};

inline constexpr unsigned total_weight() {
  unsigned t = 0;
  for (std::uint8_t w : OP_WEIGHTS) t += w;
  return t;
}
static_assert(total_weight() == 256, "every opcode byte selects an operation");

// The operation an opcode byte selects.
inline Op op_of_byte(std::uint8_t b) {
  unsigned at = 0;
  for (std::size_t i = 0; i < OP_COUNT; ++i) {
    at += OP_WEIGHTS[i];
    if (b < at) return static_cast<Op>(i);
  }
  return static_cast<Op>(OP_COUNT - 1);
}

// The first opcode byte that selects `op`.
inline std::uint8_t byte_of_op(Op op) {
  unsigned at = 0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(op); ++i) at += OP_WEIGHTS[i];
  return static_cast<std::uint8_t>(at);
}

const char* op_name(Op op);

}  // namespace quelmar::fuzz
