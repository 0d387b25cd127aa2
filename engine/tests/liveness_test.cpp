#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "alive_zone/alive_zone.hpp"
#include "zone_test_support.hpp"

using namespace quelmar;
using quelmar::testing_support::placeable_point;
using quelmar::testing_support::uniform;

namespace {
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();
using Rings = std::vector<std::vector<Point>>;
}  // namespace

TEST(Deepest, EdgesOffBoardEyesAndTheThreshold) {
  AliveZone z(18.0);
  EXPECT_EQ(z.deepest({0.0, 7.0}), 1.0);  // on the board's edge, outside the inset square
  EXPECT_EQ(z.deepest({18.0, 18.0}), 1.0);
  EXPECT_EQ(z.deepest({-0.5, 7.0}), Inf);
  EXPECT_EQ(z.deepest({NaN, 7.0}), Inf);
  EXPECT_EQ(z.deepest({9, 9}), -8.0);
  ASSERT_TRUE(z.remove_circle(0, {9, 9}));
  EXPECT_EQ(z.deepest({9, 9}), 2.0);
  EXPECT_EQ(z.deepest({11, 9}), 0.0);  // exactly STONE_DIAMETER away
  EXPECT_EQ(z.closest_point({11, 9}), (Point{11, 9}));
  // 1e-8 inside a dead zone is placeable, 1e-6 inside is not.
  EXPECT_LE(z.deepest({11 - 1e-8, 9}), EPSILON);
  EXPECT_GT(z.deepest({11 - 1e-6, 9}), EPSILON);
  // A forced eye is placeable whatever covers it.
  z.add_forced_eye({9.5, 9});
  EXPECT_EQ(z.deepest({9.5, 9}), -Inf);
}

TEST(ClosestPoint, SnapsOntoTheNearestBoundary) {
  AliveZone z(18.0);
  EXPECT_FALSE(z.closest_point({NaN, 3.0}));
  EXPECT_FALSE(z.closest_point({3.0, Inf}));
  // Empty board: the nearest point of the inset square, corners included,
  // from on and off the board.
  EXPECT_EQ(z.closest_point({0.0, 5.0}), (Point{1.0, 5.0}));
  EXPECT_EQ(z.closest_point({0.0, 0.0}), (Point{1.0, 1.0}));
  EXPECT_EQ(z.closest_point({20.0, 30.0}), (Point{17.0, 17.0}));
  EXPECT_EQ(z.closest_point({9.0, 17.5}), (Point{9.0, 17.0}));
  EXPECT_EQ(z.closest_point({9.0, 9.0}), (Point{9.0, 9.0}));
  // A lone stone: radially onto its circle; its centre goes due east.
  ASSERT_TRUE(z.remove_circle(0, {9, 9}));
  EXPECT_EQ(z.closest_point({9, 9}), (Point{11, 9}));
  const Point p{9.5, 9.5};
  const Point on = Point{9, 9} + (p - Point{9, 9}) * (2.0 / distance(p, {9, 9}));
  EXPECT_EQ(z.closest_point(p), on);
  // An eye nearer than any boundary wins.
  z.add_forced_eye({9.25, 9.25});
  EXPECT_EQ(z.closest_point(p), (Point{9.25, 9.25}));
}

// For random positions of real play, the answer is placeable and no point
// of a fine grid of placeable points is nearer by more than the grid step.
TEST(ClosestPoint, AgreesWithAGridOfPlaceablePoints) {
  const double S = 18.0, step = 0.05;
  std::mt19937_64 rng(7);
  for (int stones : {0, 3, 12, 40}) {
    SCOPED_TRACE(stones);
    AliveZone z(S);
    for (int i = 0; i < stones; ++i) {
      if (std::optional<Point> c = placeable_point(z, rng)) {
        ASSERT_TRUE(z.remove_circle(i, *c));
      }
    }
    // An eye at a stone's centre: an isolated placeable point.
    if (stones == 12) z.add_forced_eye(as_circle(z.graph().shape(z.dead_zones().begin()->second)->geometry)->centre);
    std::vector<Point> grid;
    for (int i = 0; i * step <= S; ++i)
      for (int j = 0; j * step <= S; ++j) {
        const Point g{i * step, j * step};
        if (z.deepest(g) <= EPSILON) grid.push_back(g);
      }
    for (int q = 0; q < 40; ++q) {
      const Point p{uniform(rng, -2, S + 2), uniform(rng, -2, S + 2)};
      std::optional<Point> a = z.closest_point(p);
      ASSERT_TRUE(a);
      EXPECT_LE(z.deepest(*a), EPSILON) << p.x << "," << p.y;
      const double d = distance(p, *a);
      for (Point g : grid) ASSERT_GE(distance(p, g), d - step) << p.x << "," << p.y << " grid " << g.x << "," << g.y;
    }
  }
}

// Circles overlapping by just under EPSILON only touch, so each one's arc
// runs up to EPSILON inside the other; where rounding takes the nearest
// boundary point past the tolerance, the answer steps off into placeable
// space, staying within a hair of the boundary.
TEST(ClosestPoint, StepsOffAnArcThatRoundsPastTheTolerance) {
  AliveZone z(9.0);
  ASSERT_TRUE(z.remove_circle(2, {8.0, 2.8269298345355014}));
  ASSERT_TRUE(z.remove_circle(3, {8.0, 6.826929734535502}));
  const Point asked{8.235547942211902, 5.046244140019759};
  const Point boundary{8.0, 4.826929834535502};  // on the first circle, due north
  ASSERT_GT(z.deepest(boundary), EPSILON);
  const std::optional<Point> a = z.closest_point(asked);
  ASSERT_TRUE(a);
  EXPECT_LE(z.deepest(*a), EPSILON);
  EXPECT_LT(distance(*a, boundary), 1e-8);
  const std::optional<Point> r = z.reference_closest_point(asked);
  ASSERT_TRUE(r);
  EXPECT_EQ(coordinate_bits(r->x), coordinate_bits(a->x));
  EXPECT_EQ(coordinate_bits(r->y), coordinate_bits(a->y));
}

TEST(ClosestPoint, CirclesAtTheToleranceOfTouchingAlwaysSnapPlaceably) {
  std::mt19937_64 rng(11);
  for (int trial = 0; trial < 1000; ++trial) {
    AliveZone z(18.0);
    const double angle = uniform(rng, 0, TWO_PI);
    // Centres a few ulps either side of touching within the tolerance.
    const double gap = (4.0 - EPSILON) + (static_cast<int>(rng() % 33) - 16) * 8.9e-16;
    const Point a{uniform(rng, 6, 12), uniform(rng, 6, 12)};
    const Point u{std::cos(angle), std::sin(angle)};
    const Point b{a.x + gap * u.x, a.y + gap * u.y};
    ASSERT_TRUE(z.remove_circle(0, a));
    ASSERT_TRUE(z.remove_circle(1, b));
    // Asked from inside the first circle, all but on the line of centres:
    // its nearest boundary is the arc where it runs inside the second.
    const Point touch{a.x + 2.0 * u.x, a.y + 2.0 * u.y};
    const double phi = angle + uniform(rng, -1e-9, 1e-9), r = uniform(rng, 0.5, 1.99);
    const Point asked{a.x + r * std::cos(phi), a.y + r * std::sin(phi)};
    const std::optional<Point> got = z.closest_point(asked);
    ASSERT_TRUE(got);
    EXPECT_LE(z.deepest(*got), EPSILON) << trial;
    // On the arc by the touching point, or at a crossing when they cut.
    EXPECT_LT(distance(*got, touch), 1e-3) << trial;
  }
}

// Below a size of 2 the inset square is empty (or, at 2, a single point):
// the edge lines still offer boundary points, but every one is dead space.
TEST(ClosestPoint, BoardsWithoutAnInsetSquareAnswerOnlyPlaceablePointsOrNone) {
  const double sizes[] = {0.0, 1.0, 1.5, 2.0, std::nextafter(2.0, 3.0), -1.0, NaN, Inf};
  const Point asked[] = {{0, 0}, {0.5, 0.5}, {1, 1}, {0.75, 0.2}, {5, 5}, {-3, 2}, {1, 1e-300}};
  for (double size : sizes) {
    AliveZone z(size);
    for (Point p : asked) {
      const std::optional<Point> got = z.closest_point(p);
      if (got) {
        EXPECT_LE(z.deepest(*got), EPSILON) << size << " " << p.x << "," << p.y;
      }
      const std::optional<Point> ref = z.reference_closest_point(p);
      ASSERT_EQ(got.has_value(), ref.has_value());
      if (got) {
        EXPECT_EQ(PointKey::from(*got), PointKey::from(*ref));
      }
    }
  }
  EXPECT_FALSE(AliveZone(1.5).closest_point({0.5, 0.5}));
  EXPECT_EQ(AliveZone(2.0).closest_point({1, 1}), (Point{1, 1}));
  // A forced eye is placeable wherever it lies, so it is the answer there.
  AliveZone z(1.5);
  z.add_forced_eye({0.75, 0.75});
  z.add_forced_eye({0.25, 1.25});
  EXPECT_EQ(z.closest_point({0, 0}), (Point{0.75, 0.75}));
  EXPECT_EQ(z.closest_point({0, 1.5}), (Point{0.25, 1.25}));
}

// Past about 1.3e154 the squared distances overflow; the board is still
// full of placeable points and one of them is the answer.
TEST(ClosestPoint, AstronomicallyFarPointsStillSnapOntoTheBoard) {
  AliveZone z(18.0);
  ASSERT_TRUE(z.remove_circle(0, {9, 9}));
  EXPECT_EQ(z.closest_point({-1e300, 5.0}), (Point{1.0, 5.0}));
  // Offers a few units apart tie at that distance; the first shape's stands.
  EXPECT_EQ(z.closest_point({5.0, 1e200}), (Point{1.0, 17.0}));
  const double big = std::numeric_limits<double>::max();
  for (Point p : {Point{1e154, 1e154}, Point{-1e300, 1e300}, Point{big, -big}, Point{-big, -big}}) {
    const std::optional<Point> got = z.closest_point(p);
    ASSERT_TRUE(got) << p.x << "," << p.y;
    EXPECT_LE(z.deepest(*got), EPSILON);
    EXPECT_EQ(got, z.reference_closest_point(p));
  }
}

TEST(ClosestDistance, MeasuresOnlyExposedBoundary) {
  AliveZone z(18.0);
  EXPECT_EQ(z.closest_distance({{3, 5}, {3, 9}}), 2.0);
  EXPECT_EQ(z.closest_distance({{0, 5}, {3, 5}}), 0.0);  // crosses x = 1
  // The stretch of x = 1 beyond the corner is not boundary.
  EXPECT_EQ(z.closest_distance({{0.5, -3}, {0.5, -1}}), std::sqrt(0.25 + 4.0));
  // A circle that crosses nothing has no pieces to measure.
  ASSERT_TRUE(z.remove_circle(0, {9, 9}));
  EXPECT_EQ(z.closest_distance({{9, 9}, {9, 10}}), 7.0);
  AliveZone empty(18.0);
  empty.debug_mutable_graph() = ClippingGraph{};
  EXPECT_EQ(empty.closest_distance({{9, 9}, {9, 10}}), Inf);
}

TEST(CellIsAlive, EachTestOnItsOwn) {
  AliveZone z(18.0);
  EXPECT_FALSE(z.cell_is_alive({}));
  // 1. A vertex in playable space.
  EXPECT_TRUE(z.cell_is_alive({{{0.2, 5}, {5, 5}, {0.2, 6}}}));
  // 2. Every vertex dead (beyond x = 1), but an edge within 1.0 of the line.
  EXPECT_TRUE(z.cell_is_alive({{{0.2, 5}, {0.5, 5}, {0.2, 6}}}));
  EXPECT_FALSE(z.cell_is_alive({{{-3, 5}, {-2, 5}, {-3, 6}}}));  // off the board, too far

  // Inside a lone dead zone, far from any exposed boundary.
  ASSERT_TRUE(z.remove_circle(0, {9, 9}));
  const std::vector<Point> around{{9, 8.5}, {9.5, 9.5}, {8.5, 9.5}};
  EXPECT_FALSE(z.cell_is_alive({around}));
  // 3. A forced eye inside ring 0, unless a hole of three or more holds it.
  z.add_forced_eye({9, 9.2});
  EXPECT_TRUE(z.cell_is_alive({around}));
  EXPECT_FALSE(z.cell_is_alive({around, {{9, 9}, {9.2, 9.3}, {8.8, 9.3}}}));
  EXPECT_TRUE(z.cell_is_alive({around, {{9, 9}, {9.2, 9.3}}}));
  ASSERT_TRUE(z.take_forced_eye({9, 9.2}));
  // A vertex merely within EPSILON of playable space does not count.
  EXPECT_FALSE(z.cell_is_alive({{{9, 8.5}, {9, 7 + 5e-8}, {8.5, 9.5}}}));
  EXPECT_LE(z.deepest({9, 7 + 5e-8}), EPSILON);

  // 4. Ring 0 off the board round the whole square holds exposed start
  // points; a hole round the square takes them away again.
  const std::vector<Point> outer{{-10, -10}, {30, -10}, {30, 30}, {-10, 30}};
  const std::vector<Point> hole{{-5, -5}, {23, -5}, {23, 23}, {-5, 23}};
  EXPECT_TRUE(z.cell_is_alive({outer}));
  EXPECT_FALSE(z.cell_is_alive({outer, hole}));
}

TEST(CellIsAlive, AZoneWithoutShapesKeepsEveryOnBoardVertexAlive) {
  AliveZone z(18.0);
  z.debug_mutable_graph() = ClippingGraph{};
  EXPECT_TRUE(z.cell_is_alive({{{0.1, 0.1}, {0.2, 0.1}, {0.1, 0.2}}}));
  EXPECT_FALSE(z.cell_is_alive({{{-1, -1}, {-2, -1}, {-1, -2}}}));
}
