#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "alive_zone/alive_zone.hpp"
#include "alive_zone/zone_validation.hpp"
#include "geometry/angles.hpp"
#include "zone_test_support.hpp"

using namespace quelmar;
using quelmar::testing_support::placeable_point;
using quelmar::testing_support::uniform;
using quelmar::testing_support::zone_is_valid;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

// Offsets and corner flags of a shape's list, from its head.
std::vector<std::pair<double, bool>> outline(const AliveZone& z, ShapeId s) {
  std::vector<std::pair<double, bool>> out;
  for (SegId id : z.graph().node_ids(s)) out.push_back({z.graph().segment(id)->offset, z.graph().segment(id)->beyond_corner});
  return out;
}

std::vector<Point> starts(const AliveZone& z, ShapeId s) {
  std::vector<Point> out;
  for (SegId id : z.graph().node_ids(s)) out.push_back(z.graph().segment(id)->start);
  return out;
}

}  // namespace

TEST(AliveZone, InitialZoneIsTheInsetSquare) {
  AliveZone z(18.0);
  EXPECT_TRUE(zone_is_valid(z));
  ASSERT_EQ(z.graph().shapes().size(), 4u);
  for (ShapeId side = 0; side < 4; ++side) {
    EXPECT_EQ(outline(z, side), (std::vector<std::pair<double, bool>>{{-36, true}, {1, false}, {17, true}, {36, true}}))
        << "side " << side;
  }
  // Adjacent sides meet at shared corner keys.
  EXPECT_EQ(z.graph().shared_starts().at(PointKey::from({1, 1})).size(), 2u);
  EXPECT_EQ(z.graph().shared_starts().at(PointKey::from({17, 17})).size(), 2u);
  EXPECT_EQ(z.graph().next_shape_id(), 4u);
}

TEST(AliveZone, OneStoneCrossesTheLeftLineAtNineMinusAndPlusRootThree) {
  AliveZone z(18.0);
  ASSERT_TRUE(z.remove_circle(0, {2.0, 9.0}));
  const ShapeId c = z.dead_zones().at(0);
  EXPECT_EQ(c, 4u);
  const double s = std::sqrt(3.0);
  EXPECT_EQ(starts(z, c), (std::vector<Point>{{1.0, 9.0 - s}, {1.0, 9.0 + s}}));
  // The line's piece between the crossings lies under the circle; the
  // circle's arc from the upper crossing round to the lower one lies beyond
  // the line.
  std::vector<SegId> side0 = z.graph().node_ids(0);
  ASSERT_EQ(side0.size(), 6u);
  EXPECT_EQ(z.graph().segment(side0[2])->start, (Point{1.0, 9.0 - s}));
  EXPECT_TRUE(z.graph().segment(side0[2])->covered_by.contains(c));
  EXPECT_TRUE(z.graph().segment(side0[1])->exposed());
  EXPECT_TRUE(z.graph().segment(side0[3])->exposed());
  std::vector<SegId> arc = z.graph().node_ids(c);
  EXPECT_TRUE(z.graph().segment(arc[0])->exposed());
  EXPECT_TRUE(z.graph().segment(arc[1])->covered_by.contains(0));
  EXPECT_TRUE(zone_is_valid(z));
}

TEST(AliveZone, TouchingTangentAndConcentricCirclesCrossNothing) {
  AliveZone z(18.0);
  // Exactly 2 from the inset line x = 1 and y = 17.
  ShapeId touching_left = z.carve({3.0, 9.0});
  ShapeId touching_top = z.carve({9.0, 15.0});
  EXPECT_TRUE(z.graph().node_ids(touching_left).empty());
  EXPECT_TRUE(z.graph().node_ids(touching_top).empty());
  AliveZone t(18.0);
  ShapeId a = t.carve({6.0, 6.0});
  ShapeId b = t.carve({10.0, 6.0});  // exactly 4.0 away
  ShapeId c = t.carve({6.0, 6.0});   // the same centre
  for (ShapeId s : {a, b, c}) EXPECT_TRUE(t.graph().node_ids(s).empty());
  EXPECT_EQ(t.graph().live_count(), 16u);
}

TEST(AliveZone, CornerStoneCrossesTwoSidesAndEachCoversItsArc) {
  AliveZone z(18.0);
  ShapeId c = z.carve({2.0, 2.0});
  std::vector<SegId> arc = z.graph().node_ids(c);
  ASSERT_EQ(arc.size(), 4u);
  int covered_by_left = 0, covered_by_bottom = 0, exposed = 0;
  for (SegId id : arc) {
    const Segment& s = *z.graph().segment(id);
    covered_by_left += s.covered_by.contains(0);
    covered_by_bottom += s.covered_by.contains(3);
    exposed += s.exposed();
  }
  // The corner arc lies beyond both lines; one arc faces the board.
  EXPECT_EQ(covered_by_left, 2);
  EXPECT_EQ(covered_by_bottom, 2);
  EXPECT_EQ(exposed, 1);
}

TEST(AliveZone, StoneBoundCarvingRefusesTwiceAndReclaimsOnce) {
  AliveZone z(18.0);
  ASSERT_TRUE(z.remove_circle(3, {5, 5}));
  const ClippingGraph before = z.graph();
  Status<DeadZoneError> again = z.remove_circle(3, {9, 9});
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().message(), "stone 3's dead zone has already been carved out of the alive zone");
  EXPECT_TRUE(z.graph() == before);
  ASSERT_TRUE(z.reclaim_circle(3));
  Status<DeadZoneError> none = z.reclaim_circle(3);
  ASSERT_FALSE(none);
  EXPECT_EQ(none.error().message(), "stone 3 has no dead zone carved out of the alive zone");
  EXPECT_TRUE(z.dead_zones().empty());
  EXPECT_TRUE(same_live_structure(z.graph(), AliveZone(18.0).graph()));
}

TEST(ForcedEyes, NearbyStonesClearEyes) {
  AliveZone z(18.0);
  z.add_forced_eye({5, 5});
  z.add_forced_eye({7, 5});  // exactly 2.0 from (5, 5)
  z.add_forced_eye({std::nextafter(7.0, 8.0), 9});
  // A stone exactly on an eye takes only that eye.
  EXPECT_EQ(z.remove_forced_eyes_near_point({5, 5}), (std::vector<Point>{{5, 5}}));
  z.add_forced_eye({5, 5});
  EXPECT_EQ(z.remove_forced_eyes_near_point({5, 7}), (std::vector<Point>{{5, 5}}));
  EXPECT_EQ(z.remove_forced_eyes_near_point({5, 5}), (std::vector<Point>{{7, 5}}));
  // Slightly more than 2.0 away stays.
  EXPECT_TRUE(z.remove_forced_eyes_near_point({5, 9}).empty());
  EXPECT_EQ(z.forced_eyes().size(), 1u);
  z.add_forced_eye({-0.0, 5.0});
  EXPECT_TRUE(z.take_forced_eye({0.0, 5.0}));
}

TEST(AliveZone, TemporaryCirclesAreAStack) {
  AliveZone z(18.0);
  EXPECT_FALSE(z.pop_temporary_circle());
  ShapeId a = z.carve({5, 5});
  ShapeId b = z.carve({9, 5});
  z.push_temporary_circle(a);
  z.push_temporary_circle(b);
  EXPECT_TRUE(zone_is_valid(z));
  EXPECT_EQ(z.pop_temporary_circle(), b);
  z.uncarve(b);
  EXPECT_EQ(z.pop_temporary_circle(), a);
  z.uncarve(a);
  EXPECT_TRUE(zone_is_valid(z));
}

// A circle that splits several outlines at one bit-identical point leaves
// several vertices under that key when it goes. The rule "merge the vertex
// left alone under the key" keeps them all; every one that separates
// nothing must be merged as well.
TEST(AliveZone, SplitsAtOneSharedPointAreAllMergedBack) {
  AliveZone z(18.0);
  // Concentric circles: the third crosses both at the same computed points.
  ASSERT_TRUE(z.remove_circle(0, {9, 9}));
  ASSERT_TRUE(z.remove_circle(1, {9, 9}));
  ClippingGraph before = z.graph();
  ASSERT_TRUE(z.remove_circle(2, {11, 9}));
  EXPECT_EQ(z.graph().shared_starts().at(PointKey::from(z.graph().segment(z.graph().node_ids(4)[0])->start)).size(), 3u);
  ASSERT_TRUE(z.reclaim_circle(2));
  EXPECT_TRUE(zone_is_valid(z));
  EXPECT_TRUE(same_live_structure(before, z.graph()));
  // A circle touching the line y = 17 leaves a tangent point, (9, 17); the
  // circle about (7, 17) crosses both the line and the first circle exactly
  // there.
  AliveZone t(18.0);
  ASSERT_TRUE(t.remove_circle(0, {9, 15}));
  before = t.graph();
  ASSERT_TRUE(t.remove_circle(1, {7, 17}));
  EXPECT_EQ(t.graph().shared_starts().at(PointKey::from({9, 17})).size(), 3u);
  ASSERT_TRUE(t.reclaim_circle(1));
  EXPECT_TRUE(zone_is_valid(t));
  EXPECT_TRUE(same_live_structure(before, t.graph()));
}

namespace {

// Centres from real play and the awkward ones: tangent to a stone, touching
// an inset line, in a corner, on the board's edge, and (if allowed) on an
// existing centre.
Point draw_centre(const AliveZone& z, const std::vector<Point>& centres, std::mt19937_64& rng, bool coincident) {
  const double S = z.board_size();
  const int kind = static_cast<int>(uniform(rng, 0, 10));
  if (kind >= 5 || centres.empty()) {
    if (std::optional<Point> p = placeable_point(z, rng)) return *p;
  }
  const Point near = centres.empty() ? Point{S / 2, S / 2} : centres[static_cast<std::size_t>(uniform(rng, 0, centres.size()))];
  switch (kind) {
    case 0: {
      const double dir[4][2] = {{4, 0}, {-4, 0}, {0, 4}, {0, -4}};
      const int k = static_cast<int>(uniform(rng, 0, 4));
      return {near.x + dir[k][0], near.y + dir[k][1]};
    }
    case 1: {
      const double t = uniform(rng, 1, S - 1);
      const Point touch[4] = {{3, t}, {S - 3, t}, {t, 3}, {t, S - 3}};
      return touch[static_cast<int>(uniform(rng, 0, 4))];
    }
    case 2: {
      const double u = uniform(rng, 0, 1.5), v = uniform(rng, 0, 1.5);
      const Point corner[4] = {{1.5 + u, 1.5 + v}, {S - 1.5 - u, 1.5 + v}, {1.5 + u, S - 1.5 - v}, {S - 1.5 - u, S - 1.5 - v}};
      return corner[static_cast<int>(uniform(rng, 0, 4))];
    }
    case 3: {
      const double t = uniform(rng, 0, S);
      const Point edge[4] = {{0, t}, {S, t}, {t, 0}, {t, S}};
      return edge[static_cast<int>(uniform(rng, 0, 4))];
    }
    default:
      if (coincident) return near;
      return {uniform(rng, 0, S), uniform(rng, 0, S)};
  }
}

// Carves and reclaims hundreds of stones in random order, checking the zone
// after every step. Every carve is first undone once and compared with the
// graph before it, then carved again for good; the repeat must fit in the
// slots the first one freed.
void random_round_trips(double board, std::uint64_t seed, int steps, bool coincident) {
  std::mt19937_64 rng(seed);
  AliveZone z(board);
  std::vector<StoneId> live;
  std::vector<Point> centres;
  StoneId next = 0;
  for (int step = 0; step < steps; ++step) {
    if (live.empty() || uniform(rng, 0, 1) < 0.65) {
      const Point c = draw_centre(z, centres, rng, coincident);
      const ClippingGraph before = z.graph();
      ASSERT_TRUE(z.remove_circle(next, c));
      ASSERT_TRUE(zone_is_valid(z)) << "carve " << c.x << "," << c.y;
      ASSERT_TRUE(z.reclaim_circle(next));
      ASSERT_TRUE(zone_is_valid(z));
      ASSERT_TRUE(same_live_structure(before, z.graph())) << "round trip at " << c.x << "," << c.y;
      const std::size_t slots = z.graph().arena().size();
      ASSERT_TRUE(z.remove_circle(next, c));
      ASSERT_TRUE(zone_is_valid(z));
      EXPECT_EQ(z.graph().arena().size(), slots);
      live.push_back(next++);
      centres.push_back(c);
    } else {
      const std::size_t i = static_cast<std::size_t>(uniform(rng, 0, live.size()));
      ASSERT_TRUE(z.reclaim_circle(live[i]));
      ASSERT_TRUE(zone_is_valid(z));
      live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
      centres.erase(centres.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  // Reclaiming every stone, in random order, gives back the bare square.
  std::shuffle(live.begin(), live.end(), rng);
  for (StoneId s : live) {
    ASSERT_TRUE(z.reclaim_circle(s));
    ASSERT_TRUE(zone_is_valid(z));
  }
  EXPECT_TRUE(same_live_structure(z.graph(), AliveZone(board).graph()));
  EXPECT_EQ(z.graph().live_count(), 16u);
}

}  // namespace

TEST(AliveZoneRandom, CarveUncarveRoundTripsAndValidates) {
  for (std::uint64_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    random_round_trips(18.0, seed, 300, false);
  }
  random_round_trips(9.5, 4, 200, false);
}

TEST(AliveZoneRandom, ConcentricCirclesRoundTripToo) {
  random_round_trips(18.0, 11, 300, true);
}

// Degenerate sizes and centres: never a crash or a hang; with finite values
// the checks hold after every step.
TEST(AliveZoneRandom, DegenerateBoardsAndCentres) {
  const double sizes[] = {0.0, -5.0, 0.5, 3.0, 1e300, NaN, Inf, -Inf};
  const Point centres[] = {{0, 0}, {1, 1}, {2, 2}, {-3, 0.25}, {1e300, 1e300}, {1e300, 1e300 + 4e284},
                           {2, 1e10}, {NaN, 1}, {Inf, 2}, {-Inf, -Inf}, {1e-300, 0}};
  for (double s : sizes) {
    SCOPED_TRACE(s);
    AliveZone z(s);
    const bool finite_board = std::isfinite(s);
    if (finite_board) {
      EXPECT_TRUE(zone_is_valid(z));
    }
    StoneId id = 0;
    for (Point c : centres) {
      ASSERT_TRUE(z.remove_circle(id++, c));
      if (finite_board && std::isfinite(c.x) && std::isfinite(c.y)) {
        EXPECT_TRUE(zone_is_valid(z)) << c.x << "," << c.y;
      }
      for (Point q : centres) {
        (void)z.deepest(q);
        (void)z.closest_point(q);
        (void)z.closest_distance({q, {q.x + 1, q.y}});
      }
      (void)z.cell_is_alive({{{0, 0}, {s, 0}, {s, s}}, {c, {1, 1}}});
    }
    while (id > 0) ASSERT_TRUE(z.reclaim_circle(--id));
    if (finite_board) {
      EXPECT_TRUE(zone_is_valid(z));
    }
  }
}

TEST(ZoneError, EachBrokenNameIsReported) {
  auto text = [](const AliveZone& z) {
    std::optional<ZoneError> e = check_alive_zone(z);
    return e ? e->message() : std::string("ok");
  };
  AliveZone base(18.0);
  ASSERT_TRUE(base.remove_circle(7, {5, 5}));  // shape 4
  ASSERT_TRUE(base.remove_circle(8, {7, 5}));  // shape 5
  ASSERT_EQ(text(base), "ok");

  AliveZone z = base;
  z.debug_mutable_graph().add_cover(z.graph().node_ids(5)[0], 5);
  EXPECT_EQ(text(z), "the clipping structure is corrupt: shape ShapeId(5) covers part of its own outline");
  z = base;
  z.debug_mutable_dead_zones()[9] = 42;
  EXPECT_EQ(text(z), "stone 9's dead zone names shape ShapeId(42), which is not in the graph");
  z = base;
  z.debug_mutable_dead_zones()[9] = 2;
  EXPECT_EQ(text(z), "stone 9's dead zone names shape ShapeId(2), which is a board edge");
  z = base;
  z.debug_mutable_dead_zones()[9] = 4;
  EXPECT_EQ(text(z), "shape ShapeId(4) is named as the dead zone of more than one stone");
  z = base;
  z.push_temporary_circle(5);  // also named by stone 8
  EXPECT_EQ(text(z), "shape ShapeId(5) is named as the dead zone of more than one stone");
  z = base;
  z.debug_mutable_dead_zones().erase(8);
  EXPECT_EQ(text(z), "shape ShapeId(5) is a dead zone that no stone names");
  z = base;
  z.push_temporary_circle(1);
  EXPECT_EQ(text(z), "the temporary circle names shape ShapeId(1), which is not a dead zone in the graph");
  z = base;
  z.debug_mutable_forced_eyes().debug_mutable_entries()[PointKey::from({4, 2.5})] = {4.5, 2.5};
  EXPECT_EQ(text(z), "the forced eye at Point { x: 4.5, y: 2.5 } is filed under another point's key");
}
