// libFuzzer entry point over the engine Game.
//
// Each input is a board size and a sequence of operations (game_ops.hpp):
// moves at special coordinates (NaN, infinities, signed zeros, board edges,
// inset lines, lattice points and one ulp off them, points exactly 2.0 and
// 4.0 from stones), ordinary and snapped moves, passes, undos, replays,
// copies, cut and nearest-point questions, SVG dumps and raw deltas. After
// every operation the board must validate, undo must restore the board of
// before the turn, the log must replay to the same game, territory must sum
// to the board's area, and no placeable point may be refused. The first
// broken invariant aborts with its description.
//
//   scripts/fuzz.sh [seconds]      builds with clang and fuzzes from fuzz/corpus
//   build/fuzz/fuzz_game FILE...   replays inputs, e.g. a crash artifact
//   scripts/soak.sh [operations]   long seeded runs of the same harness
//
// Every input that once failed is kept under fuzz/corpus/ with a name
// saying what it caught, and engine/tests/fuzz_regression_test.cpp replays
// the whole corpus in the ordinary test run.

#include <cstdio>
#include <cstdlib>

#include "game_ops.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const quelmar::fuzz::RunOutcome out = quelmar::fuzz::run_game_ops({data, size});
  if (out.failure) {
    std::fprintf(stderr, "quelmar fuzz: %s\n", out.failure->c_str());
    std::abort();
  }
  return 0;
}
