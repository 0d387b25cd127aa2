#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "voronoi/voronoi_group.hpp"

using namespace quelmar;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

Ring square(double x0, double y0, double side) {
  return {{x0, y0}, {x0 + side, y0}, {x0 + side, y0 + side}, {x0, y0 + side}};
}

Stone stone(StoneId id, double x = 1, double y = 1, Color c = Color::Black) {
  return {id, c, {x, y}};
}

}  // namespace

TEST(VoronoiGroup, WithoutRingsItIsEmptyAndHoldsNothing) {
  const VoronoiGroup g = VoronoiGroup::make(Color::White, {stone(4)}, {});
  EXPECT_EQ(g.area(), 0.0);
  EXPECT_TRUE(g.is_empty());
  EXPECT_FALSE(g.contains_point({1, 1}));
  EXPECT_FALSE(g.contains_point({NaN, NaN}));
  EXPECT_EQ(g.color_seed(), 4u);
  EXPECT_EQ(VoronoiGroup{}.color_seed(), std::nullopt);
}

TEST(VoronoiGroup, RingsSortLargestFirstStablyAndClose) {
  const Ring small = square(1, 1, 1), mid_a = square(3, 3, 2), mid_b = square(6, 6, 2);
  const Ring two_points{{0, 0}, {5, 5}};
  const VoronoiGroup g =
      VoronoiGroup::make(Color::Black, {stone(0)}, {two_points, small, mid_a, square(0, 0, 10), mid_b});
  ASSERT_EQ(g.rings.size(), 5u);
  EXPECT_EQ(g.rings[0].front(), (Point{0, 0}));
  EXPECT_EQ(g.rings[1].front(), mid_a.front());  // equal areas keep their order
  EXPECT_EQ(g.rings[2].front(), mid_b.front());
  EXPECT_EQ(g.rings[3].front(), small.front());
  EXPECT_EQ(g.rings[4].size(), 3u);  // fewer than 3 points: area 0, still closed
  for (const Ring& r : g.rings) EXPECT_EQ(r.front(), r.back());
  EXPECT_EQ(g.rings[0].size(), 5u);
}

// A NaN area ties with everything, so nothing moves past it: the larger
// ring behind it stays behind it.
TEST(VoronoiGroup, NaNAreaTiesWithEveryRing) {
  const Ring bad{{0, 0}, {NaN, 1}, {1, 1}};
  const VoronoiGroup g =
      VoronoiGroup::make(Color::Black, {stone(0)}, {square(0, 0, 1), bad, square(0, 0, 3)});
  ASSERT_EQ(g.rings.size(), 3u);
  EXPECT_EQ(ring_area(g.rings[0]), 1.0);
  EXPECT_TRUE(std::isnan(g.rings[1][1].x));
  EXPECT_EQ(ring_area(g.rings[2]), 9.0);
}

TEST(VoronoiGroup, HoleIsSubtractedAndExcluded) {
  const VoronoiGroup g =
      VoronoiGroup::make(Color::Black, {stone(0)}, {square(2, 2, 2), square(0, 0, 8)});
  EXPECT_EQ(g.area(), 60.0);
  EXPECT_FALSE(g.contains_point({3, 3}));  // in the hole
  EXPECT_TRUE(g.contains_point({1, 1}));   // between the rings
  EXPECT_FALSE(g.contains_point({9, 9}));  // outside
  // Orientation does not matter: a clockwise outer ring measures the same.
  Ring cw = square(0, 0, 8);
  std::reverse(cw.begin(), cw.end());
  EXPECT_EQ(VoronoiGroup::make(Color::Black, {stone(0)}, {cw, square(2, 2, 2)}).area(), 60.0);
}

TEST(VoronoiGroup, AreaOfADegenerateGroupIsPositiveZero) {
  const VoronoiGroup g = VoronoiGroup::make(Color::Black, {stone(0)}, {{{1, 1}, {2, 2}, {3, 3}}});
  EXPECT_EQ(g.area(), 0.0);
  EXPECT_FALSE(std::signbit(g.area()));
  EXPECT_FALSE(g.is_empty());
}

TEST(VoronoiGroup, StonesSortByIdAndTheSeedIsTheLowest) {
  const VoronoiGroup g = VoronoiGroup::make(Color::White, {stone(9), stone(2), stone(5)}, {});
  ASSERT_EQ(g.stones.size(), 3u);
  EXPECT_EQ(g.stones[0].id, 2u);
  EXPECT_EQ(g.stones[2].id, 9u);
  EXPECT_EQ(g.color_seed(), 2u);
}

TEST(VoronoiGroup, EqualityComparesBitsWithSignedZerosFolded) {
  const VoronoiGroup a = VoronoiGroup::make(Color::Black, {stone(1, 0.0, 2)}, {{{0.0, 0}, {1, 0}, {1, 1}}});
  const VoronoiGroup b = VoronoiGroup::make(Color::Black, {stone(1, -0.0, 2)}, {{{-0.0, 0}, {1, -0.0}, {1, 1}}});
  EXPECT_TRUE(a == b);
  const VoronoiGroup n1 = VoronoiGroup::make(Color::Black, {stone(1, NaN, 2)}, {});
  EXPECT_TRUE(n1 == n1);
  VoronoiGroup c = a;
  c.color = Color::White;
  EXPECT_FALSE(a == c);
  c = a;
  c.rings[0][1].x = std::nextafter(1.0, 2.0);
  EXPECT_FALSE(a == c);
  c = a;
  c.rings.push_back({});
  EXPECT_FALSE(a == c);
  c = a;
  c.stones[0].id = 2;
  EXPECT_FALSE(a == c);
}
