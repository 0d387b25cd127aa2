// Replays the fuzz corpus through the harness in the ordinary test run:
// every named seed case, every file in fuzz/corpus/ (each input that once
// broke an invariant is kept there under a name saying what it caught),
// and the faults the fuzzer found, pinned as named cases.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

#include "alive_zone/alive_zone.hpp"
#include "clipping/clipping_graph.hpp"
#include "game/game.hpp"
#include "game_ops.hpp"
#include "seed_cases.hpp"

using namespace quelmar;
using namespace quelmar::fuzz;

namespace {

std::vector<std::uint8_t> read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

::testing::AssertionResult plays_clean(const std::vector<std::uint8_t>& bytes) {
  const RunOutcome out = run_game_ops(bytes);
  if (out.failure) return ::testing::AssertionFailure() << *out.failure;
  return ::testing::AssertionSuccess() << out.operations << " operations";
}

}  // namespace

TEST(FuzzCorpus, EverySeedCasePlaysCleanAndIsFiledUnderItsName) {
  const std::filesystem::path dir = QUELMAR_FUZZ_CORPUS_DIR;
  for (const SeedCase& seed : seed_cases()) {
    SCOPED_TRACE(seed.name);
    EXPECT_TRUE(plays_clean(seed.bytes));
    // A stale file means the operation encoding changed: rerun fuzz_write_seeds.
    EXPECT_EQ(read_file(dir / seed.name), seed.bytes);
  }
}

TEST(FuzzCorpus, EveryCorpusFilePlaysClean) {
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(QUELMAR_FUZZ_CORPUS_DIR)) {
    if (!entry.is_regular_file()) continue;
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_TRUE(plays_clean(read_file(entry.path())));
    ++files;
  }
  EXPECT_GE(files, seed_cases().size());
}

// A circle whose crossing with an edge line falls bit for bit on one of the
// line's own vertices adopts that vertex instead of splitting the line;
// uncarving it used to delete the vertex, merging an exposed piece of the
// inset edge with the flagged piece beyond the corner. On a board of 1.5 a
// stone at (1, 1) crosses side 0 exactly at (1, 3) = (1, 2S); on an
// infinite board every crossing with a far side is such a vertex.
TEST(FuzzRegressions, UncarveKeepsTheEdgeVertexACrossingFellOn) {
  const double inf = std::numeric_limits<double>::infinity();
  for (auto [size, centre] : {std::pair{1.5, Point{1.0, 1.0}}, std::pair{inf, Point{inf, inf}}}) {
    SCOPED_TRACE(size);
    AliveZone zone(size);
    const ClippingGraph before = zone.graph();
    zone.uncarve(zone.carve(centre));
    EXPECT_TRUE(same_live_structure(before, zone.graph()));
  }
  // The same through a replayed log and its undo.
  Result<Game, DeltaError> game = Game::replay(1.5, {{Stone{0, Color::Black, {1.0, 1.0}}}});
  ASSERT_TRUE(game.ok());
  ASSERT_TRUE(game.value().undo().has_value());
  EXPECT_TRUE(same_live_structure(Game(1.5).alive_zone().graph(), game.value().alive_zone().graph()));
}

// Centres 4 + 1e-7 apart (9 − 4.0000001 = 4.9999999) pass both tolerance
// tests of the circle crossing, yet the circles do not meet: the crossing
// came out NaN and filed a NaN vertex in both outlines. A third circle at
// the same distance then shared that NaN key, and uncarving it deleted the
// other two circles' vertices, so undoing its move did not restore them.
TEST(FuzzRegressions, CirclesJustOverFourApartDoNotCrossAtNaN) {
  const double x = 9.0 - (4.0 + 1e-7);
  AliveZone zone(18.0);
  zone.carve({x, 9.0});
  zone.carve({x, x});
  const ClippingGraph before = zone.graph();
  zone.uncarve(zone.carve({9.0, 9.0}));
  EXPECT_TRUE(same_live_structure(before, zone.graph()));
  for (const auto& slot : zone.graph().arena())
    if (slot) {
      EXPECT_FALSE(std::isnan(slot->start.x) || std::isnan(slot->start.y));
    }

  Game game(18.0);
  for (Point p : {Point{x, 9.0}, Point{x, x}}) ASSERT_TRUE(game.try_move(p).ok());
  const ClippingGraph two = game.alive_zone().graph();
  ASSERT_TRUE(game.try_move({9.0, 9.0}).ok());
  ASSERT_TRUE(game.undo().has_value());
  EXPECT_TRUE(same_live_structure(two, game.alive_zone().graph()));
}
