// The traced partition against the general merge it replaces, and the
// run-by-run ring clipping against the whole-ring passes: answer for answer,
// bit for bit, on random, lattice, collinear, duplicated and played
// positions, and on rings built to hit every clipping case.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <vector>

#include "game/game.hpp"
#include "voronoi/build_points.hpp"
#include "voronoi/group_merge.hpp"
#include "voronoi/group_trace.hpp"
#include "voronoi/ring_clipper.hpp"
#include "voronoi/topology.hpp"
#include "voronoi/triangulation.hpp"
#include "voronoi/voronoi.hpp"

using namespace quelmar;

namespace {

struct Built {
  Triangulation triangulation;
  Topology topology;
};

// The points Voronoi::build triangulates.
std::optional<Built> triangulate_board(const std::vector<Stone>& stones, double s) {
  std::vector<Point> points;
  fill_build_points(points, stones, s);
  Result<Triangulation, TriangulationError> t = triangulate(points);
  if (!t) return std::nullopt;
  Built b{t.value(), {}};
  build_topology(points, stones.size(), b.triangulation, s, b.topology);
  return b;
}

Voronoi merged(const std::vector<Stone>& stones, const Topology& topology) {
  Voronoi v;
  for (VoronoiGroup& g : merge_groups(stones, topology))
    (g.color == Color::Black ? v.black : v.white).push_back(std::move(g));
  return v;
}

// Traced and merged agree, and the traced route takes every position here
// except where `may_decline`; Voronoi::build gives the same.
void expect_same_partition(const std::vector<Stone>& stones, double s, bool may_decline = false) {
  SCOPED_TRACE(testing::Message() << stones.size() << " stones on " << s);
  const std::optional<Built> b = triangulate_board(stones, s);
  ASSERT_TRUE(b.has_value());
  const Voronoi reference = merged(stones, b->topology);
  GroupTracer tracer;
  Voronoi traced;
  if (trace_groups(stones, b->triangulation, b->topology, tracer, traced)) {
    EXPECT_TRUE(traced.black == reference.black);
    EXPECT_TRUE(traced.white == reference.white);
  } else {
    EXPECT_TRUE(may_decline);
    EXPECT_TRUE(traced.black.empty() && traced.white.empty());
  }
  const Voronoi built = Voronoi::build(stones, s);
  EXPECT_TRUE(built.black == reference.black);
  EXPECT_TRUE(built.white == reference.white);
}

std::vector<Stone> stones_at(const std::vector<Point>& at, std::mt19937_64& rng) {
  std::vector<Stone> stones;
  for (const Point p : at) {
    const auto id = static_cast<StoneId>(stones.size());
    stones.push_back({id, (rng() & 1U) ? Color::White : Color::Black, p});
  }
  return stones;
}

double uniform(std::mt19937_64& rng, double lo, double hi) {
  return std::uniform_real_distribution<double>(lo, hi)(rng);
}

TEST(TracedPartition, MatchesTheMergeOnRandomStones) {
  std::mt19937_64 rng(11);
  for (int round = 0; round < 60; ++round) {
    const double s = 4.0 + static_cast<double>(rng() % 40);
    std::vector<Point> at(1 + rng() % 80);
    // Some positions reach past the board, so edges and rings cross it.
    const double reach = round % 3 == 0 ? 0.3 * s : 0.0;
    for (Point& p : at) p = {uniform(rng, -reach, s + reach), uniform(rng, -reach, s + reach)};
    expect_same_partition(stones_at(at, rng), s);
  }
}

// Lattices put four stones on every circle (zero-length Voronoi edges and
// equal-area holes); rows are collinear; duplicates are left out of the
// triangulation; one and two stones are the smallest positions.
TEST(TracedPartition, MatchesTheMergeOnDegeneratePositions) {
  std::mt19937_64 rng(12);
  for (const double step : {1.0, 2.0, 2.5, 3.0}) {
    std::vector<Point> at;
    for (double x = 0.5; x < 18; x += step)
      for (double y = 0.5; y < 18; y += step) at.push_back({x, y});
    for (int colours = 0; colours < 4; ++colours) expect_same_partition(stones_at(at, rng), 18);
  }
  std::vector<Point> row;
  for (double x = 1; x < 18; x += 2) row.push_back({x, 9});
  expect_same_partition(stones_at(row, rng), 18);
  std::vector<Point> rows = row;
  for (double x = 1; x < 18; x += 2) rows.push_back({x, 3});
  expect_same_partition(stones_at(rows, rng), 18);
  std::vector<Point> twice = rows;
  twice.insert(twice.end(), rows.begin(), rows.begin() + 5);
  twice.push_back({9, 9 + 1e-17});  // within 2^-51 of a stone
  expect_same_partition(stones_at(twice, rng), 18);
  expect_same_partition(stones_at({{9, 9}}, rng), 18);
  expect_same_partition(stones_at({{3, 9}, {15, 9}}, rng), 18);
  expect_same_partition(stones_at({{3, 3}, {15, 15}}, rng), 18);
  expect_same_partition(stones_at({{0, 0}, {18, 18}, {0, 18}, {18, 0}}, rng), 18);
}

// Positions of snapped play, the positions the game builds.
TEST(TracedPartition, MatchesTheMergeOnPlayedPositions) {
  for (const double s : {9.0, 18.0, 40.0}) {
    std::mt19937_64 rng(static_cast<std::uint64_t>(s));
    Game game(s);
    for (int tries = 0; tries < 600 && game.stones().size() < s * s / 8; ++tries) {
      if (const std::optional<Point> p = game.nearest_living_move({uniform(rng, 0, s), uniform(rng, 0, s)}))
        (void)game.try_move(*p);
      if (tries % 25 == 0) expect_same_partition(game.stone_list(), s);
    }
  }
}

// Ids out of order are not ordinary input: the tracer declines and the
// build answers as the merge does.
TEST(TracedPartition, DeclinesIdsOutOfOrder) {
  std::mt19937_64 rng(13);
  std::vector<Stone> stones = stones_at({{3, 3}, {9, 9}, {15, 4}, {5, 14}}, rng);
  std::swap(stones[1].id, stones[2].id);
  const std::optional<Built> b = triangulate_board(stones, 18);
  ASSERT_TRUE(b.has_value());
  GroupTracer tracer;
  Voronoi traced;
  EXPECT_FALSE(trace_groups(stones, b->triangulation, b->topology, tracer, traced));
  expect_same_partition(stones, 18, true);
}

// A ring of `n` points drawn around the board [0, 10]^2: mostly on it, with
// runs beyond one or two lines and round corners, points on the lines, and
// now and then an infinity or a NaN.
std::vector<Point> random_ring(std::mt19937_64& rng, std::size_t n) {
  const double NaN = std::numeric_limits<double>::quiet_NaN();
  const double Inf = std::numeric_limits<double>::infinity();
  const int mode = static_cast<int>(rng() % 4);
  const double lo = mode == 0 ? -6.0 : -1.0, hi = mode == 0 ? 16.0 : 11.0;
  std::vector<Point> ring;
  for (std::size_t i = 0; i < n; ++i) {
    Point p{uniform(rng, lo, hi), uniform(rng, lo, hi)};
    if (rng() % 8 == 0) p.x = rng() % 2 ? 0.0 : 10.0;
    if (rng() % 8 == 0) p.y = rng() % 2 ? -0.0 : 10.0;
    if (mode == 3 && rng() % 40 == 0) p.x = NaN;
    if (mode == 3 && rng() % 40 == 0) p.y = rng() % 2 ? Inf : -Inf;
    ring.push_back(p);
  }
  return ring;
}

TEST(RingClipper, ClipsAsTheWholeRingPassesDo) {
  std::mt19937_64 rng(14);
  RingClipper clipper;
  std::vector<Point> scratch;
  std::size_t kept = 0;
  for (int round = 0; round < 200000; ++round) {
    const std::vector<Point> ring = random_ring(rng, 1 + rng() % (round % 10 == 0 ? 60 : 12));
    std::vector<Point> expected = ring;
    if (!clip_ring_to_board(expected, 10.0, scratch)) expected.clear();
    const std::span<const Point> got = clipper.clip(ring, 10.0);
    ASSERT_TRUE(std::vector<Point>(got.begin(), got.end()) == expected) << "round " << round;
    kept += !expected.empty();
  }
  EXPECT_GT(kept, 100000U);  // the rings are mostly kept, so the runs are exercised
}

// A crossing can round a hair past a line whose pass the box test skips
// (here y = 10 + 2^-49 on the left line); it stays, as in the whole-ring
// passes.
TEST(RingClipper, KeepsACrossingRoundedPastASkippedLine) {
  const std::vector<Point> ring{{0.2369998746921862, 3.479584710202527},
                                {13.804452882068531, -0.090167742592339728},
                                {5.4890745645225376, 8.1998292253058498},
                                {0, 10},
                                {0.47919064156638491, 4.9363127260111952},
                                {6.6737986551943109, 4.197233451771023},
                                {8.0178502511900156, 3.8172796264630602},
                                {3.6632604137906437, -1.8183578024820819},
                                {-2.323433129465128, -3.8580623011694049},
                                {0, 10}};
  std::vector<Point> expected = ring, scratch;
  ASSERT_TRUE(clip_ring_to_board(expected, 10.0, scratch));
  EXPECT_GT(expected[expected.size() - 2].y, 10.0);
  RingClipper clipper;
  const std::span<const Point> got = clipper.clip(ring, 10.0);
  EXPECT_TRUE(std::vector<Point>(got.begin(), got.end()) == expected);
}

}  // namespace
