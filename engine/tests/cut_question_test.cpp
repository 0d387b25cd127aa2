#include <gtest/gtest.h>

#include <cmath>

#include "game/game.hpp"

using namespace quelmar;

namespace {

Stone stone(StoneId id, Color c, double x, double y) { return {id, c, {x, y}}; }

void place(Game& g, const Stone& s) { ASSERT_TRUE(g.apply_delta({s}, false).ok()); }

}  // namespace

TEST(CutQuestions, ErrorsNameTheStones) {
  Game game(18.0);
  place(game, stone(0, Color::Black, 4, 4));
  place(game, stone(1, Color::White, 9, 9));
  auto missing = game.pair_cuttable(0, 7);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().message(), "no stone 7 is on the board");
  auto itself = game.pair_cuttable(0, 0);
  ASSERT_FALSE(itself.ok());
  EXPECT_EQ(itself.error().message(), "stone 0 cannot be cut from itself");
  auto absent_self = game.pair_cuttable(5, 5);
  ASSERT_FALSE(absent_self.ok());
  EXPECT_EQ(absent_self.error().message(), "no stone 5 is on the board");
  auto colours = game.pair_cuttable(1, 0);
  ASSERT_FALSE(colours.ok());
  EXPECT_EQ(colours.error().message(), "stones 1 and 0 are not the same colour");
  auto edge = game.boundary_cuttable(3, BoardEdge::LEFT);
  ASSERT_FALSE(edge.ok());
  EXPECT_EQ(edge.error().message(), "no stone 3 is on the board");
  EXPECT_TRUE(game.connectivity().cache().empty());
}

TEST(CutQuestions, QuickAnswersAndDistanceLimits) {
  Game game(18.0);
  place(game, stone(0, Color::Black, 9, 0.0));
  place(game, stone(1, Color::Black, 9, MAX_PAIR_CUT_DISTANCE));
  place(game, stone(2, Color::Black, 9, std::nextafter(MAX_PAIR_CUT_DISTANCE, 10.0) + 4.0));
  place(game, stone(3, Color::Black, 9, std::nextafter(MAX_PAIR_CUT_DISTANCE, 10.0) + 4.0 + 2.0));
  place(game, stone(4, Color::Black, 1.5, 12));
  place(game, stone(5, Color::Black, 3.0, 16));
  ASSERT_EQ(distance(game.stones().at(0).position, game.stones().at(1).position), MAX_PAIR_CUT_DISTANCE);
  EXPECT_NE(game.pair_cuttable(0, 1).value(), CutKind::TOO_FAR);  // the limit is inclusive
  place(game, stone(6, Color::Black, 14, 0.0));
  place(game, stone(7, Color::Black, 14, std::nextafter(MAX_PAIR_CUT_DISTANCE, 10.0)));
  EXPECT_EQ(game.pair_cuttable(6, 7).value(), CutKind::TOO_FAR);  // a hair more
  EXPECT_EQ(game.pair_cuttable(2, 3).value(), CutKind::CONNECTED);  // touching
  EXPECT_EQ(game.boundary_cuttable(4, BoardEdge::LEFT).value(), CutKind::CONNECTED);
  EXPECT_EQ(game.boundary_cuttable(5, BoardEdge::LEFT).value(), CutKind::TOO_FAR);
  EXPECT_EQ(game.boundary_cuttable(5, BoardEdge::RIGHT).value(), CutKind::TOO_FAR);
  const std::size_t cached = game.connectivity().cache().size();
  EXPECT_EQ(cached, 3u);  // TOO_FAR is never stored
  EXPECT_FALSE(game.validate().has_value());
}

TEST(CutQuestions, ProbeLeavesTheZoneAsFoundAndCachesOneEntryPerPair) {
  Game game(18.0);
  place(game, stone(0, Color::Black, 7.0, 9.0));
  place(game, stone(1, Color::Black, 10.4, 9.0));
  const ClippingGraph before = game.alive_zone().graph();
  const auto nearest = game.nearest_living_move({8.7, 9.0});
  const CutKind kind = game.pair_cuttable(0, 1).value();
  EXPECT_EQ(kind, CutKind::CUTTABLE);  // an enemy pair fits on both sides of the gap
  EXPECT_TRUE(same_live_structure(game.alive_zone().graph(), before));
  EXPECT_TRUE(game.alive_zone().temporary_circles().empty());
  EXPECT_EQ(game.nearest_living_move({8.7, 9.0}), nearest);
  EXPECT_FALSE(game.validate().has_value());
  EXPECT_EQ(game.pair_cuttable(1, 0).value(), kind);
  EXPECT_EQ(game.connectivity().cache().size(), 1u);

  // A stone far away keeps the answer; one near the midpoint drops it.
  place(game, stone(2, Color::White, 16.0, 16.0));
  EXPECT_EQ(game.connectivity().cache().size(), 1u);
  place(game, stone(3, Color::White, 8.7, 13.0));
  EXPECT_TRUE(game.connectivity().cache().empty());
}

TEST(CutQuestions, EnemyStonesOnTheLineCutAtOnce) {
  Game game(18.0);
  place(game, stone(0, Color::Black, 6.0, 9.0));
  place(game, stone(1, Color::Black, 9.2, 9.0));
  place(game, stone(2, Color::White, 7.6, 9.0));  // sits between them
  EXPECT_EQ(game.pair_cuttable(0, 1).value(), CutKind::CUTTABLE);
}
