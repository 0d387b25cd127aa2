#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "connectivity/connectivity.hpp"

using namespace quelmar;

TEST(CutKey, MirroredPairsShareAKeyAndPairsSortFirst) {
  EXPECT_EQ(CutKey::pair(9, 3), CutKey::pair(3, 9));
  EXPECT_EQ(CutKey::pair(9, 3).first, 3u);
  // Pairs before boundaries, then by first id, then by second id or edge.
  const std::vector<CutKey> ascending = {
      CutKey::pair(1, 7),
      CutKey::pair(2, 3),
      CutKey::pair(2, 4),
      CutKey::pair(4000000000u, 4000000001u),
      CutKey::boundary(0, BoardEdge::BOTTOM),
      CutKey::boundary(5, BoardEdge::LEFT),
      CutKey::boundary(5, BoardEdge::TOP),
  };
  for (std::size_t i = 0; i + 1 < ascending.size(); ++i) EXPECT_LT(ascending[i], ascending[i + 1]) << i;
  EXPECT_NE(CutKey::pair(5, 0), CutKey::boundary(5, BoardEdge::LEFT));
}

TEST(Connectivity, StoreReplacesAndLookupAnswers) {
  Connectivity c(18.0);
  EXPECT_EQ(c.board_size(), 18.0);
  EXPECT_FALSE(c.lookup(CutKey::pair(1, 2)));
  c.store(CutKey::pair(2, 1), {{1, 1}, {3, 1}, CutKind::CUTTABLE});
  c.store(CutKey::pair(1, 2), {{1, 1}, {3, 1}, CutKind::CONNECTED});
  EXPECT_EQ(c.cache().size(), 1u);
  EXPECT_EQ(c.lookup(CutKey::pair(2, 1)), CutKind::CONNECTED);
  EXPECT_FALSE(c.lookup(CutKey::boundary(1, BoardEdge::LEFT)));
}

TEST(Connectivity, InvalidateNearIsInclusiveAtTheReach) {
  Connectivity c(18.0);
  c.invalidate_near({9, 9});
  EXPECT_TRUE(c.cache().empty());

  // Midpoints (0, 0) and (0, 10); an edge question's midpoint lies halfway
  // between the stone and the edge.
  c.store(CutKey::pair(1, 2), {{-1, 0}, {1, 0}, CutKind::CONNECTED});
  c.store(CutKey::pair(3, 4), {{-1, 10}, {1, 10}, CutKind::CUTTABLE});
  c.store(CutKey::boundary(5, BoardEdge::LEFT), {{2, 0.5}, {0, 0.5}, CutKind::CONNECTED});
  c.store(CutKey::boundary(6, BoardEdge::TOP), {{30, 30}, {30, 31}, CutKind::CONNECTED});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  c.store(CutKey::pair(7, 8), {{nan, 0}, {1, 0}, CutKind::CONNECTED});

  c.invalidate_near({4.02, 0});  // exactly 4.02 from (0, 0)
  EXPECT_FALSE(c.lookup(CutKey::pair(1, 2)));
  EXPECT_FALSE(c.lookup(CutKey::boundary(5, BoardEdge::LEFT)));  // (1, 0.5) is near
  EXPECT_FALSE(c.lookup(CutKey::pair(7, 8)));                    // a NaN distance drops it
  c.invalidate_near({std::nextafter(4.02, 5.0), 10});  // a hair beyond 4.02 from (0, 10)
  EXPECT_EQ(c.lookup(CutKey::pair(3, 4)), CutKind::CUTTABLE);
  EXPECT_EQ(c.lookup(CutKey::boundary(6, BoardEdge::TOP)), CutKind::CONNECTED);
  EXPECT_EQ(c.cache().size(), 2u);
}
