#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "voronoi/group_merge.hpp"
#include "voronoi/voronoi.hpp"

using namespace quelmar;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();
using LD = long double;

struct P {
  LD x, y;
};

std::vector<Stone> make_stones(const std::vector<Point>& at, const std::vector<Color>& colors) {
  std::vector<Stone> s;
  for (std::size_t i = 0; i < at.size(); ++i)
    s.push_back({static_cast<StoneId>(i), colors[i % colors.size()], at[i]});
  return s;
}

std::vector<const VoronoiGroup*> all_groups(const Voronoi& v) {
  std::vector<const VoronoiGroup*> g;
  for (const VoronoiGroup& x : v.black) g.push_back(&x);
  for (const VoronoiGroup& x : v.white) g.push_back(&x);
  return g;
}

double total_area(const Voronoi& v) {
  double sum = 0;
  for (const VoronoiGroup* g : all_groups(v)) sum += g->area();
  return sum;
}

LD polygon_area(const std::vector<P>& poly) {
  LD a = 0;
  for (std::size_t i = 0; i < poly.size(); ++i) {
    const P p = poly[i], q = poly[(i + 1) % poly.size()];
    a += p.x * q.y - p.y * q.x;
  }
  return std::fabs(a) / 2;
}

// The board square cut down by the half-plane of every bisector: the cell
// of stone j computed without any triangulation.
std::vector<P> brute_cell(const std::vector<Stone>& stones, std::size_t j, double s) {
  std::vector<P> poly{{0, 0}, {s, 0}, {s, s}, {0, s}};
  const P a{stones[j].position.x, stones[j].position.y};
  for (std::size_t k = 0; k < stones.size() && !poly.empty(); ++k) {
    if (k == j) continue;
    const P b{stones[k].position.x, stones[k].position.y};
    const P n{b.x - a.x, b.y - a.y};
    const LD c = (b.x * b.x + b.y * b.y - a.x * a.x - a.y * a.y) / 2;  // inside: n.x <= c
    auto f = [&](P p) { return n.x * p.x + n.y * p.y - c; };
    std::vector<P> out;
    for (std::size_t i = 0; i < poly.size(); ++i) {
      const P p = poly[i], q = poly[(i + 1) % poly.size()];
      const LD fp = f(p), fq = f(q);
      if (fp <= 0) out.push_back(p);
      if ((fp < 0 && fq > 0) || (fp > 0 && fq < 0)) {
        const LD t = fp / (fp - fq);
        out.push_back({p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)});
      }
    }
    poly = out;
  }
  return poly;
}

// Stones k whose cell shares a boundary piece of positive length with j's.
std::set<std::size_t> brute_neighbours(const std::vector<Stone>& stones, std::size_t j, double s) {
  const std::vector<P> cell = brute_cell(stones, j, s);
  std::set<std::size_t> out;
  const LD tol = 1e-9L * s;
  auto dist = [&](P p, std::size_t k) {
    return std::sqrt((p.x - stones[k].position.x) * (p.x - stones[k].position.x) +
                     (p.y - stones[k].position.y) * (p.y - stones[k].position.y));
  };
  for (std::size_t i = 0; i < cell.size(); ++i) {
    const P p = cell[i], q = cell[(i + 1) % cell.size()];
    if (std::hypot(q.x - p.x, q.y - p.y) <= tol) continue;
    const P m{(p.x + q.x) / 2, (p.y + q.y) / 2};
    for (std::size_t k = 0; k < stones.size(); ++k)
      if (k != j && std::fabs(dist(m, k) - dist(m, j)) <= tol) out.insert(k);
  }
  return out;
}

// Same-colour components of the brute-force adjacency, as sets of ids.
std::set<std::set<StoneId>> brute_groups(const std::vector<Stone>& stones, double s) {
  const std::size_t n = stones.size();
  std::vector<std::set<std::size_t>> nb(n);
  for (std::size_t j = 0; j < n; ++j) nb[j] = brute_neighbours(stones, j, s);
  std::vector<int> comp(n, -1);
  std::set<std::set<StoneId>> out;
  for (std::size_t k = 0; k < n; ++k) {
    if (comp[k] >= 0) continue;
    std::set<StoneId> ids;
    std::vector<std::size_t> stack{k};
    comp[k] = int(k);
    while (!stack.empty()) {
      const std::size_t i = stack.back();
      stack.pop_back();
      ids.insert(stones[i].id);
      for (std::size_t q : nb[i])
        if (comp[q] < 0 && stones[q].color == stones[i].color) {
          comp[q] = int(k);
          stack.push_back(q);
        }
    }
    out.insert(ids);
  }
  return out;
}

std::set<std::set<StoneId>> engine_groups(const Voronoi& v) {
  std::set<std::set<StoneId>> out;
  for (const VoronoiGroup* g : all_groups(v)) {
    std::set<StoneId> ids;
    for (const Stone& s : g->stones) ids.insert(s.id);
    out.insert(ids);
  }
  return out;
}

// Structure every partition has: colours and order of the two lists,
// ascending stones, closed rings, every stone in exactly one group.
void expect_well_formed(const Voronoi& v, std::size_t stone_count) {
  std::set<StoneId> seen;
  for (const auto* list : {&v.black, &v.white}) {
    const Color c = list == &v.black ? Color::Black : Color::White;
    for (std::size_t i = 0; i < list->size(); ++i) {
      const VoronoiGroup& g = (*list)[i];
      EXPECT_EQ(g.color, c);
      ASSERT_FALSE(g.stones.empty());
      if (i > 0) {
        EXPECT_LT((*list)[i - 1].stones[0].id, g.stones[0].id);
      }
      for (std::size_t k = 0; k < g.stones.size(); ++k) {
        EXPECT_EQ(g.stones[k].color, c);
        if (k > 0) {
          EXPECT_LT(g.stones[k - 1].id, g.stones[k].id);
        }
        EXPECT_TRUE(seen.insert(g.stones[k].id).second);
      }
      for (const Ring& r : g.rings) {
        ASSERT_GE(r.size(), 4u);
        EXPECT_EQ(r.front(), r.back());
      }
    }
  }
  EXPECT_EQ(seen.size(), stone_count);
}

std::vector<Point> random_points(std::size_t n, double s, std::mt19937_64& rng, double spacing = 0) {
  std::uniform_real_distribution<double> u(0, s);
  std::vector<Point> p;
  for (std::size_t tries = 0; p.size() < n && tries < 100 * n; ++tries) {
    const Point q{u(rng), u(rng)};
    bool ok = true;
    for (Point r : p) ok = ok && distance(q, r) >= spacing;
    if (ok) p.push_back(q);
  }
  return p;
}

// Cells, group areas, totals, membership and sampled containment against
// the brute-force partition.
void expect_matches_brute_force(const std::vector<Stone>& stones, double s, std::mt19937_64& rng) {
  const Voronoi v = Voronoi::build(stones, s);
  expect_well_formed(v, stones.size());
  EXPECT_NEAR(total_area(v), s * s, 1e-9 * s * s);
  std::map<StoneId, std::size_t> index;
  for (std::size_t i = 0; i < stones.size(); ++i) index[stones[i].id] = i;
  for (const VoronoiGroup* g : all_groups(v)) {
    LD cells = 0;
    for (const Stone& st : g->stones) cells += polygon_area(brute_cell(stones, index[st.id], s));
    EXPECT_NEAR(g->area(), double(cells), 1e-9 * std::max<double>(double(cells), 1.0));
  }
  EXPECT_EQ(engine_groups(v), brute_groups(stones, s));

  std::uniform_real_distribution<double> u(0, s);
  const std::vector<const VoronoiGroup*> groups = all_groups(v);
  for (int k = 0; k < 200; ++k) {
    const Point q{u(rng), u(rng)};
    std::vector<std::pair<double, std::size_t>> d;
    for (std::size_t i = 0; i < stones.size(); ++i) d.push_back({distance(q, stones[i].position), i});
    std::sort(d.begin(), d.end());
    if (d.size() > 1 && d[1].first - d[0].first < 1e-7) continue;
    const StoneId owner = stones[d[0].second].id;
    for (const VoronoiGroup* g : groups) {
      const bool mine = std::any_of(g->stones.begin(), g->stones.end(),
                                    [&](const Stone& st) { return st.id == owner; });
      EXPECT_EQ(g->contains_point(q), mine) << "sample (" << q.x << ", " << q.y << ")";
    }
  }
}

}  // namespace

TEST(Voronoi, NoStonesNoGroups) {
  const Voronoi v = Voronoi::build({}, 18);
  EXPECT_TRUE(v.black.empty());
  EXPECT_TRUE(v.white.empty());
}

TEST(Voronoi, OneStoneOwnsTheWholeBoard) {
  for (Color c : {Color::Black, Color::White}) {
    const std::vector<Stone> stones{{7, c, {4, 13}}};
    const Voronoi v = Voronoi::build(stones, 18);
    const auto& mine = c == Color::Black ? v.black : v.white;
    const auto& theirs = c == Color::Black ? v.white : v.black;
    ASSERT_EQ(mine.size(), 1u);
    EXPECT_TRUE(theirs.empty());
    ASSERT_EQ(mine[0].rings.size(), 1u);
    EXPECT_EQ(mine[0].rings[0].size(), 5u);
    EXPECT_EQ(mine[0].area(), 324.0);
    EXPECT_TRUE(mine[0].contains_point({0.5, 17.5}));
    EXPECT_EQ(mine[0].color_seed(), 7u);
  }
}

TEST(Voronoi, TwoStonesSplitAlongTheBisector) {
  const std::vector<Stone> stones = make_stones({{6, 9}, {12, 9}}, {Color::Black, Color::White});
  const Voronoi v = Voronoi::build(stones, 18);
  ASSERT_EQ(v.black.size(), 1u);
  ASSERT_EQ(v.white.size(), 1u);
  EXPECT_NEAR(v.black[0].area(), 162.0, 1e-9);
  EXPECT_NEAR(v.white[0].area(), 162.0, 1e-9);
  EXPECT_TRUE(v.black[0].contains_point({8.9, 1}));
  EXPECT_TRUE(v.white[0].contains_point({9.1, 17}));
  EXPECT_FALSE(v.black[0].contains_point({9.1, 1}));

  const Voronoi same = Voronoi::build(make_stones({{6, 9}, {12, 9}}, {Color::White}), 18);
  ASSERT_EQ(same.white.size(), 1u);
  EXPECT_EQ(same.white[0].rings.size(), 1u);
  EXPECT_NEAR(same.white[0].area(), 324.0, 1e-9);
}

TEST(Voronoi, CollinearStonesGiveStrips) {
  const std::vector<Stone> stones =
      make_stones({{3, 9}, {9, 9}, {15, 9}}, {Color::Black, Color::White, Color::Black});
  const Voronoi v = Voronoi::build(stones, 18);
  ASSERT_EQ(v.black.size(), 2u);
  ASSERT_EQ(v.white.size(), 1u);
  EXPECT_NEAR(v.black[0].area(), 108.0, 1e-9);
  EXPECT_NEAR(v.white[0].area(), 108.0, 1e-9);
}

TEST(Voronoi, SurroundedEnemyCellIsAHole) {
  std::vector<Point> at{{9, 9}};
  for (int k = 0; k < 8; ++k) at.push_back({9 + 3 * std::cos(k * PI / 4), 9 + 3 * std::sin(k * PI / 4)});
  std::vector<Color> colors(9, Color::Black);
  colors[0] = Color::White;
  const Voronoi v = Voronoi::build(make_stones(at, colors), 18);
  ASSERT_EQ(v.black.size(), 1u);
  ASSERT_EQ(v.white.size(), 1u);
  const VoronoiGroup& black = v.black[0];
  ASSERT_EQ(black.rings.size(), 2u);
  EXPECT_NEAR(black.area() + v.white[0].area(), 324.0, 1e-9);
  EXPECT_NEAR(black.area(), 324.0 - ring_area(black.rings[1]), 1e-9);
  EXPECT_FALSE(black.contains_point({9, 9}));
  EXPECT_TRUE(v.white[0].contains_point({9, 9}));
  EXPECT_TRUE(black.contains_point({1, 1}));
}

// Four stones on a square meet in one Voronoi vertex. With side 2 both
// circumcentres come out exactly (9, 9), so the diagonal pairs share no
// edge; off the square one diagonal pair is joined.
TEST(Voronoi, DiagonalSameColourPairs) {
  const std::vector<Color> alternating{Color::Black, Color::White, Color::Black, Color::White};
  const Voronoi square = Voronoi::build(make_stones({{8, 8}, {10, 8}, {10, 10}, {8, 10}}, alternating), 18);
  EXPECT_EQ(square.black.size(), 2u);
  EXPECT_EQ(square.white.size(), 2u);
  for (const VoronoiGroup* g : all_groups(square)) EXPECT_EQ(g->area(), 81.0);

  const Voronoi skew = Voronoi::build(make_stones({{8, 8}, {10, 8}, {10.1, 10}, {8, 10}}, alternating), 18);
  EXPECT_EQ(skew.black.size() + skew.white.size(), 3u);
  EXPECT_NEAR(total_area(skew), 324.0, 1e-9);
}

TEST(Voronoi, SameColourEdgeOffTheBoardDoesNotJoin) {
  const std::vector<Stone> stones =
      make_stones({{2, 1}, {9, 1.5}, {16, 1}}, {Color::Black, Color::White, Color::Black});
  const Voronoi v = Voronoi::build(stones, 18);
  EXPECT_EQ(v.black.size(), 2u);
  EXPECT_EQ(v.white.size(), 1u);
}

TEST(Voronoi, MatchesBruteForceOnRandomPositions) {
  std::mt19937_64 rng(2024);
  for (std::size_t n : {2, 3, 7, 20, 60, 120}) {
    for (int trial = 0; trial < 3; ++trial) {
      std::vector<Color> colors;
      for (std::size_t i = 0; i < n; ++i) colors.push_back(rng() % 2 ? Color::Black : Color::White);
      expect_matches_brute_force(make_stones(random_points(n, 18, rng), colors), 18, rng);
    }
  }
  // Play-like spacing, and a board of another size.
  for (int trial = 0; trial < 3; ++trial) {
    std::vector<Color> colors{Color::Black, Color::White};
    expect_matches_brute_force(make_stones(random_points(60, 19, rng, 2.0), colors), 19, rng);
    expect_matches_brute_force(make_stones(random_points(40, 9.5, rng, 1.0), colors), 9.5, rng);
  }
}

TEST(Voronoi, LatticeStonesTileTheBoard) {
  std::mt19937_64 rng(5);
  for (double step : {1.0, 2.0, 0.5}) {
    std::vector<Point> at;
    for (double y = step; y < 18; y += step)
      for (double x = step; x < 18; x += step)
        if (rng() % 4) at.push_back({x, y});
    const std::vector<Stone> stones = make_stones(at, {Color::Black, Color::White, Color::White});
    const Voronoi v = Voronoi::build(stones, 18);
    expect_well_formed(v, stones.size());
    EXPECT_NEAR(total_area(v), 324.0, 1e-9 * 324);
    for (const VoronoiGroup* g : all_groups(v)) EXPECT_FALSE(g->is_empty());
  }
  // Stones on the board's rim and corners.
  std::vector<Point> rim;
  for (int i = 0; i <= 18; i += 3) rim.insert(rim.end(), {{double(i), 0}, {18, double(i)}, {0, double(i)}});
  const Voronoi v = Voronoi::build(make_stones(rim, {Color::Black, Color::White}), 18);
  EXPECT_NEAR(total_area(v), 324.0, 1e-9 * 324);
}

TEST(Voronoi, BadBoardSizesFallBackToRinglessGroups) {
  const std::vector<Stone> stones =
      make_stones({{1, 1}, {5, 5}, {9, 2}}, {Color::White, Color::Black});
  for (double s : {0.0, -0.0, NaN, Inf, 1e300, 1e-320}) {
    const Voronoi v = Voronoi::build(stones, s);
    ASSERT_EQ(v.black.size(), 1u) << s;
    ASSERT_EQ(v.white.size(), 2u) << s;
    EXPECT_EQ(v.white[0].stones[0].id, 0u);
    EXPECT_EQ(v.white[1].stones[0].id, 2u);
    for (const VoronoiGroup* g : all_groups(v)) {
      EXPECT_TRUE(g->rings.empty());
      EXPECT_TRUE(g->is_empty());
      EXPECT_EQ(g->area(), 0.0);
      EXPECT_FALSE(g->contains_point({1, 1}));
    }
  }
  // A negative side passes the guard but leaves no ring on the "board".
  const Voronoi negative = Voronoi::build(stones, -18);
  expect_well_formed(negative, 3);
  for (const VoronoiGroup* g : all_groups(negative)) EXPECT_TRUE(g->is_empty());
}

TEST(Voronoi, BadStonesGetNoTerritoryAndTheRestTilesTheBoard) {
  std::mt19937_64 rng(17);
  std::vector<Point> at = random_points(30, 18, rng, 1.0);
  at[4] = {NaN, 3};
  at[11] = {Inf, -Inf};
  at[20] = at[19];  // an exact duplicate
  const std::vector<Stone> stones = make_stones(at, {Color::Black, Color::White});
  const Voronoi v = Voronoi::build(stones, 18);
  expect_well_formed(v, stones.size());
  EXPECT_NEAR(total_area(v), 324.0, 1e-9 * 324);
  std::size_t ringless = 0;
  for (const VoronoiGroup* g : all_groups(v)) ringless += g->rings.empty();
  EXPECT_EQ(ringless, 3u);
}

TEST(Voronoi, HugeCoordinatesAndManyStonesReturn) {
  std::mt19937_64 rng(3);
  std::vector<Point> at = random_points(20, 18, rng);
  at.push_back({1e300, 1e300});
  at.push_back({-1e200, 5});
  at.push_back({1e20, 1e20});
  const std::vector<Stone> far = make_stones(at, {Color::Black, Color::White});
  expect_well_formed(Voronoi::build(far, 18), far.size());

  const std::vector<Stone> many = make_stones(random_points(10000, 18, rng), {Color::White, Color::Black});
  const Voronoi v = Voronoi::build(many, 18);
  expect_well_formed(v, many.size());
  EXPECT_NEAR(total_area(v), 324.0, 1e-9 * 324);
}

TEST(Voronoi, BuildIsDeterministic) {
  std::mt19937_64 rng(8);
  const std::vector<Stone> stones =
      make_stones(random_points(80, 18, rng, 1.5), {Color::Black, Color::White});
  const Voronoi a = Voronoi::build(stones, 18);
  // Buffers reused from an unrelated, larger build must leave no trace.
  (void)Voronoi::build(make_stones(random_points(500, 40, rng), {Color::White}), 40);
  const Voronoi b = Voronoi::build(stones, 18);
  EXPECT_EQ(a.black, b.black);
  EXPECT_EQ(a.white, b.white);
}

TEST(GroupMerge, AnEdgeJoinsOnlyWithPositiveLengthOnTheBoard) {
  EXPECT_TRUE(edge_enters_board({-5, 9}, {5, 9}, 18));
  EXPECT_TRUE(edge_enters_board({0, 0}, {18, 0}, 18));      // along the rim
  EXPECT_TRUE(edge_enters_board({18, 30}, {18, -4}, 18));   // along the right rim
  EXPECT_FALSE(edge_enters_board({-1, -1}, {0, 0}, 18));    // touches a corner only
  EXPECT_FALSE(edge_enters_board({-2, 2}, {2, -2}, 18));    // crosses the corner
  EXPECT_FALSE(edge_enters_board({-1, 5}, {-1, 9}, 18));    // parallel, outside
  EXPECT_FALSE(edge_enters_board({20, 20}, {30, 40}, 18));
  EXPECT_TRUE(edge_enters_board({NaN, 3}, {4, 4}, 18));    // a NaN axis imposes nothing
  EXPECT_FALSE(edge_enters_board({3, 3}, {4, 4}, -1));
  EXPECT_TRUE(edge_enters_board({3, 3}, {3, 3 + 1e-12}, 18));
}

TEST(GroupMerge, RingsClipToTheBoardOrDrop) {
  std::vector<Point> scratch;
  std::vector<Point> inside{{1, 1}, {2, 1}, {1.5, 0.5}};
  const std::vector<Point> before = inside;
  ASSERT_TRUE(clip_ring_to_board(inside, 18, scratch));
  EXPECT_EQ(inside, before);
  std::vector<Point> big{{-10, -10}, {30, -10}, {30, 30}, {-10, 30}};
  ASSERT_TRUE(clip_ring_to_board(big, 18, scratch));
  EXPECT_EQ(ring_area(big), 324.0);
  std::vector<Point> corner{{-1, -1}, {1, -1}, {-1, 1}};
  ASSERT_TRUE(clip_ring_to_board(corner, 18, scratch));
  EXPECT_EQ(corner, (std::vector<Point>{{0, 0}, {0, 0}, {0, 0}}));  // crossings meet at the corner
  std::vector<Point> outside{{20, 1}, {25, 1}, {22, 4}};
  EXPECT_FALSE(clip_ring_to_board(outside, 18, scratch));
  std::vector<Point> two{{1, 1}, {2, 2}};
  EXPECT_FALSE(clip_ring_to_board(two, 18, scratch));
}
