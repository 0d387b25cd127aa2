// The local move path against the full computation: every probe's answer,
// every group the kept state vouches for, and the kept state after undos,
// abandoned probes and copies.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "game/game.hpp"

using namespace quelmar;

namespace {

// The full computation's answer for the stone a probe just placed: the
// enemy stones dead on the probed board, or whether the mover's own are.
struct FullAnswer {
  std::vector<StoneId> captured;
  bool self_capture = false;
};

FullAnswer full_answer(const Game& probed, Color mover) {
  FullAnswer a;
  for (const Stone& s : probed.dead_stones(opposite(mover))) a.captured.push_back(s.id);
  std::sort(a.captured.begin(), a.captured.end());
  if (a.captured.empty()) a.self_capture = !probed.dead_stones(mover).empty();
  return a;
}

// Every group the kept state vouches for (not Unsure) is exactly a group of
// the partition, with the partition's verdict.
::testing::AssertionResult groups_agree(const Game& game) {
  const KeptPartition* kept = game.kept_partition();
  if (!kept) return ::testing::AssertionSuccess();
  const auto ids = kept->stone_groups();
  auto group_of = [&](StoneId id) {
    return std::lower_bound(ids.begin(), ids.end(), std::make_pair(id, std::uint32_t{0}))->second;
  };
  const Voronoi& v = game.voronoi();
  for (const auto* groups : {&v.black, &v.white})
    for (const VoronoiGroup& g : *groups) {
      const std::uint32_t k = group_of(g.stones.front().id);
      if (kept->life(k) == Life::Unsure) continue;
      if (kept->group_size(k) != g.stones.size())
        return ::testing::AssertionFailure() << "group of stone " << g.stones.front().id << " differs in size";
      for (const Stone& s : g.stones)
        if (group_of(s.id) != k) return ::testing::AssertionFailure() << "stone " << s.id << " is grouped otherwise";
      if ((kept->life(k) == Life::Alive) != game.alive_zone().cell_is_alive(g.rings))
        return ::testing::AssertionFailure() << "group of stone " << g.stones.front().id << " has another verdict";
    }
  return ::testing::AssertionSuccess();
}

struct Tally {
  std::size_t probes = 0, captures = 0, refusals = 0;
};

// Snapped play with undos, passes and abandoned probes, every probe held
// against the full computation on the probed board.
Tally play_checked(Game& game, int steps, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, game.board_size());
  Tally tally;
  for (int step = 0; step < steps; ++step) {
    const int kind = static_cast<int>(rng() % 20);
    if (game.status() == GameStatus::Ended) {
      (void)game.undo();
      continue;
    }
    if (kind == 0) {
      (void)game.pass();
      continue;
    }
    if (kind < 3) {
      (void)game.undo();
      continue;
    }
    const std::optional<Point> p = game.nearest_living_move({u(rng), u(rng)});
    if (!p) continue;
    const Color mover = color_of_turn(game.turn());
    auto probed = game.probe_move(*p);
    ++tally.probes;
    if (!probed) {
      EXPECT_EQ(probed.error().kind == MoveError::Kind::SelfCapture, true) << "step " << step;
      ++tally.refusals;
      continue;
    }
    const FullAnswer full = full_answer(game, mover);
    EXPECT_EQ(probed.value().captured_stone_ids, full.captured) << "step " << step;
    EXPECT_FALSE(full.self_capture) << "step " << step;
    EXPECT_TRUE(groups_agree(game)) << "step " << step;
    tally.captures += !full.captured.empty();
    if (kind < 5) {
      game.abandon_probed_move();
    } else {
      game.commit_probed_move();
      // Captures wait in the kept state for the next probe.
      if (full.captured.empty()) EXPECT_TRUE(groups_agree(game)) << "step " << step;
    }
    const auto broken = game.validate_kept();
    EXPECT_FALSE(broken) << *broken << " at step " << step;
    if (::testing::Test::HasFailure()) break;
  }
  return tally;
}

}  // namespace

TEST(KeptPartition, ProbesAnswerAsTheFullComputationOnPlayedBoards) {
  for (const auto& [size, steps, seed] : {std::tuple{9.0, 300, 1}, std::tuple{13.5, 400, 2}, std::tuple{18.0, 500, 3},
                                         std::tuple{25.0, 500, 4}}) {
    Game game(size);
    const Tally t = play_checked(game, steps, seed);
    ASSERT_FALSE(HasFailure()) << "board " << size;
    EXPECT_GT(t.captures, 0U) << "board " << size;
    // The local path answers nearly every probe of ordinary play.
    const Game::LocalJudgements& j = game.local_judgements();
    EXPECT_GT(j.local, 9 * j.full) << "board " << size;
    EXPECT_EQ(j.mismatches, 0U);
  }
}

// Undoing a move, abandoning a probe, or a refused self-capture leaves the
// kept state exactly as it was, so that the next probe meets the same one.
TEST(KeptPartition, UndoAndAbandonRestoreTheKeptStateExactly) {
  // Snapped play to 51 stones on 18: crowded, with many captures to make.
  Game game(18.0);
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(0.0, 18.0);
  for (int tries = 0; game.stones().size() < 51 && tries < 1000; ++tries)
    if (const std::optional<Point> p = game.nearest_living_move({u(rng), u(rng)})) (void)game.try_move(*p);
  ASSERT_NE(game.kept_partition(), nullptr);
  std::size_t compared = 0, captures = 0;
  for (int i = 0; i < 200; ++i) {
    const std::optional<Point> p = game.nearest_living_move({u(rng), u(rng)});
    if (!p) continue;
    const KeptPartition before = *game.kept_partition();
    auto moved = game.try_move(*p);
    if (moved) {
      captures += !moved.value().captured_stone_ids.empty();
      (void)game.undo();
    }
    ASSERT_NE(game.kept_partition(), nullptr);
    EXPECT_TRUE(game.kept_partition()->same_as(before)) << "move " << i;
    auto probed = game.probe_move(*p);
    if (probed) game.abandon_probed_move();
    EXPECT_TRUE(game.kept_partition()->same_as(before)) << "probe " << i;
    ++compared;
  }
  EXPECT_GT(compared, 150U);
  EXPECT_GT(captures, 0U);
}

// A copy is a game of its own: it starts without the kept state, builds
// its own on its first probe, and answers as the original.
TEST(KeptPartition, CopiesBuildTheirOwnAndAnswerAlike) {
  Game game(13.5);
  (void)play_checked(game, 200, 7);
  ASSERT_NE(game.kept_partition(), nullptr);
  Game copy = game;
  EXPECT_EQ(copy.kept_partition(), nullptr);
  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> u(0.0, 13.5);
  for (int i = 0; i < 60; ++i) {
    const std::optional<Point> p = game.nearest_living_move({u(rng), u(rng)});
    if (!p) continue;
    auto a = game.try_move(*p);
    auto b = copy.try_move(*p);
    ASSERT_EQ(a.ok(), b.ok());
    if (a) EXPECT_EQ(a.value().captured_stone_ids, b.value().captured_stone_ids);
  }
  EXPECT_NE(copy.kept_partition(), nullptr);
  EXPECT_FALSE(copy.validate_kept());
}

// Stones that a replayed log heaps nearly on top of each other are no
// position the margins vouch for: the kept state declines it, and moves
// are answered by the full computation.
TEST(KeptPartition, NearDuplicateStonesDeclineTheLocalPath) {
  std::vector<GameDelta> log;
  log.push_back({Stone{0, Color::Black, {5.0, 5.0}}, {}});
  log.push_back({Stone{1, Color::White, {5.0, std::nextafter(5.0, 6.0)}}, {}});
  auto replayed = Game::replay(12.0, log);
  ASSERT_TRUE(replayed);
  Game& game = replayed.value();
  const std::optional<Point> p = game.nearest_living_move({9.0, 9.0});
  ASSERT_TRUE(p);
  ASSERT_TRUE(game.try_move(*p));
  EXPECT_EQ(game.kept_partition(), nullptr);
  EXPECT_EQ(game.local_judgements().refused, 1U);
  EXPECT_EQ(game.local_judgements().full, 1U);
}

// Boards the margins are not worked out for never build the kept state.
TEST(KeptPartition, OddBoardsKeepNoState) {
  for (double size : {7e4, 1e6}) {
    Game game(size);
    ASSERT_TRUE(game.try_move({size / 2, size / 2}));
    EXPECT_EQ(game.kept_partition(), nullptr);
    EXPECT_EQ(game.local_judgements().full, 1U);
  }
}

// The kept state logs the last few hundred entries' changes; undoing past
// them drops it, and the next probe builds it afresh from the stones then
// in play. Answers stay the full computation's throughout.
TEST(KeptPartition, UndoingPastTheLoggedEntriesBuildsAfresh) {
  Game game(40.0);
  std::mt19937_64 rng(9);
  std::uniform_real_distribution<double> u(0.0, 40.0);
  while (game.turn() < 600) {
    const std::optional<Point> p = game.nearest_living_move({u(rng), u(rng)});
    if (!p || !game.try_move(*p)) ASSERT_TRUE(game.pass());
    if (game.status() == GameStatus::Ended) (void)game.undo();
  }
  ASSERT_NE(game.kept_partition(), nullptr);
  const std::uint64_t builds = game.local_judgements().builds;
  while (game.turn() > 20) {
    ASSERT_TRUE(game.undo());
    const auto broken = game.validate_kept();
    ASSERT_FALSE(broken) << *broken;
  }
  EXPECT_EQ(game.kept_partition(), nullptr);  // dropped on the way
  Tally t = play_checked(game, 60, 10);
  EXPECT_GT(t.probes, 0U);
  EXPECT_EQ(game.local_judgements().builds, builds + 1);
  EXPECT_EQ(game.local_judgements().mismatches, 0U);
}
