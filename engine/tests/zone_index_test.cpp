// The shape index only prunes: every indexed answer of the alive zone must
// equal the plain scan bit for bit, on zones of real play (captures, forced
// eyes, undo), on rings of real Voronoi groups, on exact ties, and on board
// sizes and points where the index has to step aside.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "alive_zone/alive_zone.hpp"
#include "clipping/segment.hpp"
#include "game/game.hpp"
#include "zone_test_support.hpp"

using namespace quelmar;
using quelmar::testing_support::placeable_point;
using quelmar::testing_support::uniform;
using quelmar::testing_support::zone_is_valid;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();
using Rings = std::vector<std::vector<Point>>;

::testing::AssertionResult same_point(const std::optional<Point>& a, const std::optional<Point>& b) {
  if (a.has_value() != b.has_value()) return ::testing::AssertionFailure() << "one answer is empty";
  if (a && !same_bits(*a, *b))
    return ::testing::AssertionFailure() << "(" << a->x << ", " << a->y << ") vs (" << b->x << ", " << b->y << ")";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult same_value(double a, double b) {
  if (!same_bits(a, b)) return ::testing::AssertionFailure() << a << " vs " << b;
  return ::testing::AssertionSuccess();
}

// Every point question, indexed against the plain scan.
void expect_point_answers_agree(const AliveZone& z, Point p) {
  SCOPED_TRACE(::testing::Message() << "point (" << p.x << ", " << p.y << ")");
  EXPECT_TRUE(same_value(z.deepest(p), z.reference_deepest(p)));
  EXPECT_TRUE(same_point(z.closest_point(p), z.reference_closest_point(p)));
}

void expect_segment_answers_agree(const AliveZone& z, const LineSegment& q) {
  SCOPED_TRACE(::testing::Message() << "segment (" << q.a.x << ", " << q.a.y << ")-(" << q.b.x << ", " << q.b.y << ")");
  EXPECT_TRUE(same_value(z.closest_distance(q), z.reference_closest_distance(q)));
}

void expect_liveness_agrees(const AliveZone& z, const Rings& rings) {
  EXPECT_EQ(z.cell_is_alive(rings), z.reference_cell_is_alive(rings)) << "rings " << rings.size();
  for (const std::vector<Point>& ring : rings)
    for (std::size_t i = 0; i + 1 < ring.size(); ++i) expect_segment_answers_agree(z, {ring[i], ring[i + 1]});
}

// Points where answers change: segment starts, stone centres and the
// points exactly 2.0 beside them, eyes, and random points on and off the
// board.
std::vector<Point> probe_points(const AliveZone& z, std::mt19937_64& rng, int random_count) {
  const double s = z.board_size();
  std::vector<Point> points;
  for (int i = 0; i < random_count; ++i) points.push_back({uniform(rng, -3, s + 3), uniform(rng, -3, s + 3)});
  for (const auto& [stone, shape] : z.dead_zones()) {
    const Point c = as_circle(z.graph().shape(shape)->geometry)->centre;
    points.insert(points.end(), {c, {c.x + 2.0, c.y}, {c.x, c.y - 2.0}, {c.x + 1.3, c.y + 1.5}});
  }
  for (const auto& [key, eye] : z.forced_eyes()) points.insert(points.end(), {eye, {eye.x + 0.25, eye.y}});
  int starts = 0;
  for (const std::optional<Segment>& seg : z.graph().arena())
    if (seg && ++starts % 5 == 0) points.push_back(seg->start);
  return points;
}

// Random segments: long and short, across the board and along the inset
// edges, some degenerate.
std::vector<LineSegment> probe_segments(const AliveZone& z, std::mt19937_64& rng, int count) {
  const double s = z.board_size();
  std::vector<LineSegment> segs;
  for (int i = 0; i < count; ++i) {
    const Point a{uniform(rng, -2, s + 2), uniform(rng, -2, s + 2)};
    const double len = i % 3 == 0 ? uniform(rng, 0, s) : uniform(rng, 0, 3);
    const double angle = uniform(rng, 0, TWO_PI);
    segs.push_back({a, {a.x + len * std::cos(angle), a.y + len * std::sin(angle)}});
  }
  segs.push_back({{1.0, 2.0}, {1.0, s - 2.0}});
  segs.push_back({{0.5, 0.5}, {0.5, 0.5}});
  segs.push_back({{s / 2, s / 2}, {s / 2, s / 2}});
  return segs;
}

// Small rings round random points: triangles and hexagons, some with a hole.
std::vector<Rings> probe_rings(const AliveZone& z, std::mt19937_64& rng, int count) {
  const double s = z.board_size();
  std::vector<Rings> out;
  for (int i = 0; i < count; ++i) {
    const Point c{uniform(rng, 0, s), uniform(rng, 0, s)};
    const double r = uniform(rng, 0.2, 3.0);
    const int sides = i % 2 ? 3 : 6;
    std::vector<Point> ring;
    for (int k = 0; k < sides; ++k) ring.push_back({c.x + r * std::cos(k * TWO_PI / sides), c.y + r * std::sin(k * TWO_PI / sides)});
    ring.push_back(ring.front());
    Rings rings{ring};
    if (i % 5 == 0) rings.push_back({{c.x - r / 4, c.y - r / 4}, {c.x + r / 4, c.y - r / 4}, {c.x, c.y + r / 4}});
    out.push_back(rings);
  }
  return out;
}

void expect_zone_agrees(const AliveZone& z, std::mt19937_64& rng, int amount) {
  ASSERT_TRUE(z.index() == z.index_from_scratch());
  for (Point p : probe_points(z, rng, amount)) expect_point_answers_agree(z, p);
  for (const LineSegment& q : probe_segments(z, rng, amount)) expect_segment_answers_agree(z, q);
  for (const Rings& rings : probe_rings(z, rng, amount / 2)) expect_liveness_agrees(z, rings);
}

// Every group of the board with a probe stone at p, as a move sees them.
void expect_probe_groups_agree(Game& game, Point p) {
  const Stone stone{game.turn(), color_of_turn(game.turn()), p};
  if (!game.apply_delta(GameDelta{stone, {}}, true)) return;
  const AliveZone& z = game.alive_zone();
  ASSERT_TRUE(z.index() == z.index_from_scratch());
  for (const auto* groups : {&game.voronoi().black, &game.voronoi().white})
    for (const VoronoiGroup& g : *groups) expect_liveness_agrees(z, g.rings);
  (void)game.pop_delta();
}

}  // namespace

// Real play with captures, eyes and undo: after every change the index is
// the one filing the graph afresh would give, and every answer matches.
TEST(ZoneIndex, RealPlayAnswersEqualThePlainScan) {
  for (double size : {9.0, 18.0, 27.0}) {
    SCOPED_TRACE(size);
    std::mt19937_64 rng(static_cast<std::uint64_t>(size));
    Game game(size);
    const int moves = static_cast<int>(size * size / 3);
    int captured = 0;
    for (int turn = 0, tries = 0; turn < moves && tries < moves * 3; ++tries) {
      std::optional<Point> p = game.nearest_living_move({uniform(rng, 0, size), uniform(rng, 0, size)});
      if (!p) break;
      if (tries % 4 == 0) expect_probe_groups_agree(game, *p);
      auto moved = game.try_move(*p);
      if (!moved) continue;
      ++turn;
      captured += static_cast<int>(moved.value().captured_stone_ids.size());
      ASSERT_TRUE(game.alive_zone().index() == game.alive_zone().index_from_scratch());
      // Undo now and then, so captured stones are carved afresh.
      if (turn % 7 == 0 && !moved.value().captured_stone_ids.empty()) {
        ASSERT_TRUE(game.undo());
        ASSERT_TRUE(game.alive_zone().index() == game.alive_zone().index_from_scratch());
        ASSERT_TRUE(game.try_move(*p));
      }
      if (turn % 15 == 0) expect_zone_agrees(game.alive_zone(), rng, 40);
    }
    EXPECT_GT(captured, 0) << "the games should capture, to leave eyes and reclaim circles";
    EXPECT_FALSE(game.alive_zone().forced_eyes().empty());
    expect_zone_agrees(game.alive_zone(), rng, 150);
    EXPECT_GT(game.alive_zone().index().gridded_count(), 0u);
  }
}

// Carving tries only the shapes near the new circle and uncarving uncovers
// only the shapes it crossed; the graph comes out exactly as when every
// shape is tried and every segment swept, free list included.
TEST(ZoneIndex, CarveAndUncarveBuildTheGraphOfThePlainScan) {
  for (double size : {7.0, 18.0, 40.0}) {
    SCOPED_TRACE(size);
    std::mt19937_64 rng(static_cast<std::uint64_t>(size) + 1);
    AliveZone indexed(size);
    AliveZone plain = indexed;
    (void)plain.debug_mutable_graph();  // drops its index
    ASSERT_FALSE(plain.index().enabled());
    std::vector<ShapeId> circles;
    for (int step = 0; step < 400; ++step) {
      if (circles.empty() || rng() % 3 != 0) {
        std::optional<Point> c = placeable_point(indexed, rng);
        // Now and then anywhere at all, dead space and off the board too.
        if (!c || step % 5 == 0) c = Point{uniform(rng, -3, size + 3), uniform(rng, -3, size + 3)};
        circles.push_back(indexed.carve(*c));
        ASSERT_EQ(plain.carve(*c), circles.back());
      } else {
        const std::size_t pick = rng() % circles.size();
        indexed.uncarve(circles[pick]);
        plain.uncarve(circles[pick]);
        circles.erase(circles.begin() + static_cast<std::ptrdiff_t>(pick));
      }
      ASSERT_TRUE(indexed.graph() == plain.graph()) << "step " << step;
      ASSERT_TRUE(indexed.index() == indexed.index_from_scratch()) << "step " << step;
    }
  }
}

// Cut questions carve circles anywhere a closest point lands, and a zone
// may be asked about circles off the board or far away: the index files
// what it can bound and scans the rest, and carve then uncarve leaves both
// the graph and the index as they were.
TEST(ZoneIndex, CarvesOffTheBoardAndFarAwayKeepTheIndexInStep) {
  std::mt19937_64 rng(3);
  AliveZone z(18.0);
  for (int i = 0; i < 30; ++i)
    if (std::optional<Point> c = placeable_point(z, rng)) {
      ASSERT_TRUE(z.remove_circle(i, *c));
    }
  const AliveZone before = z;
  for (Point c : {Point{-1.5, 9.0}, Point{19.0, 19.5}, Point{1e7, 3.0}, Point{-87.0, -87.0}, Point{88.0, 5.0},
                  Point{9.0, 9.0}, Point{Inf, 4.0}}) {
    SCOPED_TRACE(::testing::Message() << c.x << ", " << c.y);
    const ShapeId s = z.carve(c);
    ASSERT_TRUE(z.index() == z.index_from_scratch());
    expect_zone_agrees(z, rng, 30);
    z.uncarve(s);
    EXPECT_TRUE(same_live_structure(z.graph(), before.graph()));
    EXPECT_TRUE(z.index() == before.index());
  }
  EXPECT_TRUE(zone_is_valid(z));
}

// A NaN centre crosses every shape at NaN points; the answers still agree.
TEST(ZoneIndex, ANaNCentreStillAgrees) {
  std::mt19937_64 rng(5);
  AliveZone z(18.0);
  for (int i = 0; i < 12; ++i)
    if (std::optional<Point> c = placeable_point(z, rng)) {
      ASSERT_TRUE(z.remove_circle(i, *c));
    }
  const ShapeId s = z.carve({NaN, 4.0});
  ASSERT_TRUE(z.index() == z.index_from_scratch());
  expect_zone_agrees(z, rng, 30);
  z.uncarve(s);
  ASSERT_TRUE(z.index() == z.index_from_scratch());
  expect_zone_agrees(z, rng, 30);
}

// Where the index cannot bound its answers it steps aside: degenerate and
// huge board sizes, and points and segments far off the board.
TEST(ZoneIndex, UntameSizesAndQueriesFallBackToTheScan) {
  for (double size : {0.0, -5.0, 0.5, 1.0, 2.0, 3.0, 4.5, 1e6, 1e7, 1e300, NaN, Inf}) {
    SCOPED_TRACE(size);
    std::mt19937_64 rng(11);
    AliveZone z(size);
    EXPECT_EQ(z.index().enabled(), size >= 1.0 && size <= 1e6);
    const double span = std::isfinite(size) && std::fabs(size) < 1e3 ? std::fabs(size) + 4 : 20.0;
    for (int i = 0; i < 8; ++i) (void)z.remove_circle(i, {uniform(rng, -2, span), uniform(rng, -2, span)});
    ASSERT_TRUE(z.index() == z.index_from_scratch());
    for (int i = 0; i < 40; ++i) {
      const Point p{uniform(rng, -3, span + 3), uniform(rng, -3, span + 3)};
      expect_point_answers_agree(z, p);
      expect_segment_answers_agree(z, {p, {p.x + uniform(rng, -3, 3), p.y + uniform(rng, -3, 3)}});
    }
    expect_liveness_agrees(z, {{{0.5, 0.5}, {span, 0.5}, {span / 2, span}, {0.5, 0.5}}});
  }
  std::mt19937_64 rng(12);
  AliveZone z(18.0);
  for (int i = 0; i < 20; ++i)
    if (std::optional<Point> c = placeable_point(z, rng)) {
      ASSERT_TRUE(z.remove_circle(i, *c));
    }
  for (Point p : {Point{1e300, 5.0}, Point{5.0, -1e300}, Point{NaN, 5.0}, Point{-Inf, Inf}, Point{1e5, 1e5},
                  Point{-0.0, 9.0}}) {
    expect_point_answers_agree(z, p);
    expect_segment_answers_agree(z, {p, {9.0, 9.0}});
    expect_liveness_agrees(z, {{p, {9.0, 9.0}, {10.0, 12.0}}});
  }
}

// Equal offers go to the lower shape id: an edge line before a circle, an
// older circle before a newer one; the indexed search keeps that rule.
TEST(ZoneIndex, ClosestPointTiesGoToTheLowerShapeId) {
  AliveZone z(18.0);
  // A lone stone at (3, 9): from its centre, its whole circle offers
  // (5, 9) and the edge x = 1 offers (1, 9), both 2.0 away.
  ASSERT_TRUE(z.remove_circle(0, {3.0, 9.0}));
  EXPECT_EQ(z.reference_closest_point({3.0, 9.0}), (Point{1.0, 9.0}));
  EXPECT_TRUE(same_point(z.closest_point({3.0, 9.0}), z.reference_closest_point({3.0, 9.0})));
  // Two circles crossing nothing, 8.0 apart, and a third covering the
  // midpoint: from there each whole circle offers a point 2.0 away, and
  // the older circle wins.
  AliveZone w(18.0);
  ASSERT_TRUE(w.remove_circle(0, {5.0, 9.0}));
  ASSERT_TRUE(w.remove_circle(1, {13.0, 9.0}));
  ASSERT_TRUE(w.remove_circle(2, {9.0, 9.0}));
  for (Point p : {Point{9.0, 9.0}, Point{5.0, 9.0}, Point{9.0, 7.5}}) {
    EXPECT_TRUE(same_point(w.closest_point(p), w.reference_closest_point(p)));
    EXPECT_TRUE(same_value(w.deepest(p), w.reference_deepest(p)));
  }
  // Symmetric positions give bit-equal distances on lattices.
  AliveZone lattice(18.0);
  StoneId id = 0;
  for (double x = 3.0; x <= 15.0; x += 3.0)
    for (double y = 3.0; y <= 15.0; y += 3.0) {
      ASSERT_TRUE(lattice.remove_circle(id++, {x, y}));
    }
  std::mt19937_64 rng(9);
  for (double x = 2.25; x <= 16.0; x += 0.75)
    for (double y = 2.25; y <= 16.0; y += 0.75) expect_point_answers_agree(lattice, {x, y});
  expect_zone_agrees(lattice, rng, 60);
}

// A copy carries its own index; a zone whose graph is edited behind its
// back stops trusting the index and answers by plain scans.
TEST(ZoneIndex, CopiesAndDebugEditsStayExact) {
  std::mt19937_64 rng(21);
  AliveZone z(18.0);
  for (int i = 0; i < 25; ++i)
    if (std::optional<Point> c = placeable_point(z, rng)) {
      ASSERT_TRUE(z.remove_circle(i, *c));
    }
  AliveZone copy = z;
  ASSERT_TRUE(z.reclaim_circle(z.dead_zones().begin()->first));
  (void)z.carve({9.0, 9.0});
  EXPECT_TRUE(copy.index() == copy.index_from_scratch());
  EXPECT_FALSE(copy.index() == z.index());
  expect_zone_agrees(copy, rng, 40);

  std::vector<SegId> pieces;
  for (const auto& [stone, circle] : copy.dead_zones())
    if (pieces.empty()) pieces = copy.graph().node_ids(circle);
  ASSERT_FALSE(pieces.empty());
  copy.debug_mutable_graph().add_cover(pieces[0], 0);
  EXPECT_FALSE(copy.index().enabled());
  expect_zone_agrees(copy, rng, 20);
}

// Nearest points look only at the eyes whose x lies within reach, found by
// the key order; ties between equally near eyes still go to the first in
// key order, and eyes at x = -0.0 and 0.0 stand where their keys put them.
TEST(ZoneIndex, NearestAmongManyForcedEyesEqualsThePlainScan) {
  std::mt19937_64 rng(23);
  AliveZone z(18.0);
  for (const Point c : {Point{5, 5}, Point{9, 9}, Point{13, 6}, Point{6, 13}})
    ASSERT_TRUE(z.remove_circle(static_cast<StoneId>(c.x * 100 + c.y), c));
  for (int i = 0; i <= 18; i += 2)
    for (int j = 0; j <= 18; j += 3) z.add_forced_eye({i == 0 && j % 2 ? -0.0 : double(i), double(j)});
  for (int k = 0; k < 40; ++k) z.add_forced_eye({uniform(rng, 0, 18), uniform(rng, 0, 18)});
  std::vector<Point> asked;
  for (int k = 0; k < 400; ++k) asked.push_back({uniform(rng, -2, 20), uniform(rng, -2, 20)});
  for (int i = 0; i <= 18; ++i)
    for (int j = 0; j <= 18; ++j) asked.push_back({i + 0.0, j + 1.5});  // halfway between eyes
  for (Point p : asked) expect_point_answers_agree(z, p);
}
