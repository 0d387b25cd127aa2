// The bounds the local move path rests on, each against the computation it
// stands in for: the kept mesh's centres and spreads against the centres
// the partition computes from its own triangulation, the clipping with
// spreads against clip_ring_to_board run on points within them, and the
// margins of the liveness tests against cell_is_alive on rings moved
// within their spreads and on points exactly at a threshold.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>

#include "alive_zone/alive_zone.hpp"
#include "game/game.hpp"
#include "voronoi/build_points.hpp"
#include "voronoi/delaunay_mesh.hpp"
#include "voronoi/fuzzy_rings.hpp"
#include "voronoi/group_merge.hpp"
#include "voronoi/topology.hpp"
#include "voronoi/triangulation.hpp"

using namespace quelmar;

namespace {

// Stones of snapped play: many lie exactly 2 apart, on the inset lines and
// at the crossings of dead zones, the places ties and rounding come from.
std::vector<Stone> snapped_stones(double size, std::size_t count, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, size);
  Game game(size);
  for (int tries = 0; game.stones().size() < count && tries < 2000; ++tries)
    if (const std::optional<Point> p = game.nearest_living_move({u(rng), u(rng)})) (void)game.try_move(*p);
  return game.stone_list();
}

using Corners = std::array<std::uint32_t, 3>;

Corners sorted(Corners c) {
  std::sort(c.begin(), c.end());
  return c;
}

}  // namespace

// The partition computes each triangle's centre in the rotation its sweep
// left the triangle in; the mesh, built one insertion at a time, holds other
// rotations. Its spread must cover the difference, every time.
TEST(LocalMargins, StoredSpreadsCoverThePartitionsCentres) {
  std::size_t covered = 0, differing = 0, missing = 0;
  for (const auto& [size, count, seed] : {std::tuple{18.0, 51, 1}, std::tuple{40.0, 210, 2}, std::tuple{25.0, 120, 3}}) {
    const std::vector<Stone> stones = snapped_stones(size, count, seed);
    std::vector<Point> points;
    fill_build_points(points, stones, size);
    auto sweep = triangulate(points);
    ASSERT_TRUE(sweep);
    Topology topology;
    build_vertices(points, sweep.value(), size, topology);

    // The mesh: the sentinels, then the stones inserted in a shuffled order.
    std::vector<Point> sentinels(points.end() - 4, points.end());
    DelaunayMesh mesh;
    ASSERT_TRUE(mesh.build(sentinels, size));
    std::vector<std::uint32_t> vertex_of(points.size());
    for (std::uint32_t k = 0; k < 4; ++k) vertex_of[stones.size() + k] = k;
    std::vector<std::uint32_t> order(stones.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937_64(seed));
    DelaunayMesh::Change change;
    for (std::uint32_t i : order) vertex_of[i] = mesh.insert(points[i], change);

    std::map<Corners, std::uint32_t> mesh_triangles;
    for (std::uint32_t t = 0; t < mesh.half_edge_slots() / 3; ++t)
      if (mesh.live_triangle(t)) mesh_triangles[sorted({mesh.tri(3 * t), mesh.tri(3 * t + 1), mesh.tri(3 * t + 2)})] = t;
    const std::vector<std::uint32_t>& tri = sweep.value().triangles;
    for (std::size_t t = 0; t < tri.size() / 3; ++t) {
      const auto found = mesh_triangles.find(sorted({vertex_of[tri[3 * t]], vertex_of[tri[3 * t + 1]], vertex_of[tri[3 * t + 2]]}));
      if (found == mesh_triangles.end()) {
        // Only a cocircular quadruple may be triangulated the other way.
        ++missing;
        continue;
      }
      const std::uint32_t m = found->second;
      const Point full = topology.centres[t], kept = mesh.centre(m);
      EXPECT_LE(std::fabs(full.x - kept.x), mesh.spread(m)) << "triangle " << t;
      EXPECT_LE(std::fabs(full.y - kept.y), mesh.spread(m)) << "triangle " << t;
      ++covered;
      differing += !(full == kept);
    }
  }
  EXPECT_EQ(missing, 0U);
  EXPECT_GT(covered, 500U);
  EXPECT_GT(differing, 0U);  // the rotations do disagree in the last bits
}

// Rings whose points the partition may compute anywhere within their
// spreads, clipped by clip_ring_to_board from any start, either way round:
// the same number of points, each within the spread the fuzzy clipping
// gives it, whenever that clipping is sure.
TEST(LocalMargins, FuzzyClippingCoversEveryRingWithinTheSpreads) {
  const double s = 10.0;
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> coord(-3.0, 13.0), unit(0.0, 1.0);
  std::uniform_int_distribution<int> ulps(-200, 200);
  std::vector<FuzzyPoint> fuzzy, scratch;
  std::vector<Point> ring, clip_scratch;
  std::size_t kept = 0, checked = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    const std::size_t n = 3 + rng() % 6;
    // A star-shaped ring about a point near the board's edge.
    const Point c{coord(rng), coord(rng)};
    std::vector<FuzzyPoint> base;
    std::vector<std::array<Point, 3>> values;
    for (std::size_t i = 0; i < n; ++i) {
      const double a = 6.283185307179586 * (static_cast<double>(i) + 0.8 * unit(rng)) / static_cast<double>(n);
      const double r = 0.5 + 4.0 * unit(rng);
      const Point p{c.x + r * std::cos(a), c.y + r * std::sin(a)};
      std::array<Point, 3> v{p, p, p};
      double spread = 0.0;
      if (rng() % 2) {
        for (int k = 1; k < 3; ++k) {
          v[k] = {p.x + ulps(rng) * std::ldexp(1.0, -50), p.y + ulps(rng) * std::ldexp(1.0, -50)};
          spread = std::max({spread, std::fabs(v[k].x - p.x), std::fabs(v[k].y - p.y)});
        }
        spread = std::nextafter(spread, 1.0);
      }
      base.push_back({p, spread, static_cast<std::uint32_t>(i)});
      values.push_back(v);
    }
    fuzzy = base;
    const FuzzyClip clipped = clip_fuzzy_ring(fuzzy, s, scratch);
    if (clipped == FuzzyClip::Unsure) continue;
    ++kept;
    for (int variant = 0; variant < 4; ++variant) {
      ring.clear();
      const std::size_t start = rng() % n;
      const bool reverse = rng() % 2;
      for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = reverse ? (start + n - k) % n : (start + k) % n;
        ring.push_back(values[i][rng() % 3]);
      }
      const bool survives = clip_ring_to_board(ring, s, clip_scratch);
      ASSERT_EQ(survives, clipped == FuzzyClip::Kept) << "trial " << trial;
      if (!survives) continue;
      ASSERT_EQ(ring.size(), fuzzy.size()) << "trial " << trial;
      // The same cyclic sequence, in one of the two directions.
      const std::size_t m = ring.size();
      bool matched = false;
      for (int dir = 0; dir < 2 && !matched; ++dir)
        for (std::size_t off = 0; off < m && !matched; ++off) {
          matched = true;
          for (std::size_t i = 0; i < m && matched; ++i) {
            const Point q = ring[dir ? (off + m - i) % m : (off + i) % m];
            matched = std::fabs(q.x - fuzzy[i].at.x) <= fuzzy[i].spread && std::fabs(q.y - fuzzy[i].at.y) <= fuzzy[i].spread;
          }
        }
      EXPECT_TRUE(matched) << "trial " << trial << " variant " << variant;
      ++checked;
    }
  }
  EXPECT_GT(kept, 2000U);
  EXPECT_GT(checked, 8000U);
}

// A vertex exactly at depth 0, or an edge exactly one stone radius from
// the boundary, decides nothing: the full computation's bits settle it.
// Well inside or outside the margins, the answer is the full one's.
TEST(LocalMargins, ThresholdsExactlyMetAreUnsure) {
  Game game(18.0);
  // Two stones 4 apart and a third 2 from their midpoint: the circumcentre
  // (7, 5) lies exactly 2 from all three, at depth 0.
  for (Point p : {Point{5.0, 5.0}, Point{9.0, 5.0}, Point{7.0, 7.0}}) {
    ASSERT_TRUE(game.apply_delta(GameDelta{Stone{game.turn(), color_of_turn(game.turn()), p}, {}}, false));
  }
  const AliveZone& zone = game.alive_zone();
  EXPECT_EQ(zone.deepest({7.0, 5.0}), 0.0);
  EXPECT_EQ(zone.fuzzy_vertex_alive({{7.0, 5.0}, 0.0, 0}), Life::Unsure);
  EXPECT_EQ(zone.fuzzy_vertex_alive({{6.0, 5.0}, 0.0, 0}), Life::Dead);
  EXPECT_EQ(zone.fuzzy_vertex_alive({{14.0, 14.0}, 0.0, 0}), Life::Alive);
  // Within rounding of the threshold, however small the spread.
  EXPECT_EQ(zone.fuzzy_vertex_alive({{7.0, std::nextafter(5.0, 6.0)}, 0.0, 0}), Life::Unsure);
  EXPECT_EQ(zone.fuzzy_vertex_alive({{14.0, 14.0}, 20.0, 0}), Life::Unsure);  // a spread no margin covers
  // The board's edge lies exactly one stone radius from the inset line.
  const FuzzyPoint a{{0.0, 12.0}, 0.0, FuzzyPoint::NO_TAG}, b{{0.0, 14.0}, 0.0, FuzzyPoint::NO_TAG};
  EXPECT_EQ(zone.fuzzy_edge_alive(a, b), Life::Unsure);
  EXPECT_EQ(zone.fuzzy_edge_alive({{1.5, 12.0}, 0.0, 0}, {{1.5, 14.0}, 0.0, 0}), Life::Alive);
  EXPECT_GT(zone.rounding_slack(), 0.0);
  EXPECT_LT(zone.rounding_slack(), 1e-9);
}

// The margins themselves: a territory's verdict from rings known within
// spreads holds for every rings within them. The partitions of played
// boards with their stones recoloured at random (so that many territories
// are small and some dead), each ring point given a spread far wider than
// rounding makes so that a margin too narrow shows, moved anywhere within
// it but for the board's edge lines, where clipping puts points exactly.
namespace {

struct Verdicts {
  std::size_t alive = 0, dead = 0, unsure = 0;
};

// The group's rings moved within `spread`: to the same corner of every
// point's square for variants 0 to 3, anywhere within each for the others.
std::vector<std::vector<Point>> moved_rings(const VoronoiGroup& g, double size, double spread, int variant,
                                            std::mt19937_64& rng) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const double cx = variant & 1 ? 1.0 : -1.0, cy = variant & 2 ? 1.0 : -1.0;
  auto on_edge = [size](double c) { return c == 0.0 || c == size; };
  std::vector<std::vector<Point>> moved = g.rings;
  for (std::vector<Point>& ring : moved) {
    for (std::size_t i = 0; i + 1 < ring.size(); ++i) {
      if (!on_edge(ring[i].x)) ring[i].x += spread * (variant < 4 ? cx : unit(rng));
      if (!on_edge(ring[i].y)) ring[i].y += spread * (variant < 4 ? cy : unit(rng));
    }
    ring.back() = ring.front();  // closed rings
  }
  return moved;
}

void check_verdicts_within_spreads(const AliveZone& zone, const VoronoiGroup& g, double size, std::mt19937_64& rng,
                                   Verdicts& verdicts) {
  std::vector<FuzzyPoint> points;
  std::vector<std::uint32_t> starts;
  std::vector<FuzzyWitness> witnesses;
  for (double spread : {0.0, 1e-9, 1e-3, 1e-2, 0.1, 0.3}) {
    points.clear();
    starts.assign(1, 0);
    for (const std::vector<Point>& ring : g.rings) {
      for (std::size_t i = 0; i + 1 < ring.size(); ++i)
        points.push_back({ring[i], spread, static_cast<std::uint32_t>(points.size())});
      starts.push_back(static_cast<std::uint32_t>(points.size()));
    }
    const Life life = zone.fuzzy_cell_is_alive(points, starts, 1, witnesses);
    if (life == Life::Unsure) {
      ++verdicts.unsure;
      continue;
    }
    ++(life == Life::Alive ? verdicts.alive : verdicts.dead);
    ASSERT_EQ(life == Life::Alive, zone.cell_is_alive(g.rings)) << "stone " << g.stones.front().id;
    for (int variant = 0; variant < 8; ++variant)
      ASSERT_EQ(life == Life::Alive, zone.cell_is_alive(moved_rings(g, size, spread, variant, rng)))
          << "stone " << g.stones.front().id << " spread " << spread << " variant " << variant;
  }
}

}  // namespace

TEST(LocalMargins, CellVerdictsHoldForEveryRingWithinTheSpreads) {
  std::mt19937_64 rng(5);
  Verdicts verdicts;
  for (const auto& [size, count, seed] :
       {std::tuple{12.0, 30, 7}, std::tuple{18.0, 30, 8}, std::tuple{18.0, 44, 9}, std::tuple{18.0, 50, 10},
        std::tuple{25.0, 100, 11}}) {
    std::vector<Stone> stones = snapped_stones(size, count, seed);
    Game game(size);
    for (const Stone& s : stones) ASSERT_TRUE(game.apply_delta(GameDelta{s, {}}, false));
    for (int recolouring = 0; recolouring < 3; ++recolouring) {
      // One stone in four White: many small territories.
      for (Stone& s : stones) s.color = rng() % 4 ? Color::Black : Color::White;
      const Voronoi partition = Voronoi::build(stones, size);
      for (const auto* groups : {&partition.black, &partition.white})
        for (const VoronoiGroup& g : *groups) check_verdicts_within_spreads(game.alive_zone(), g, size, rng, verdicts);
    }
  }
  EXPECT_GT(verdicts.alive, 100U);
  EXPECT_GT(verdicts.dead, 20U);
  EXPECT_GT(verdicts.unsure, 0U);
}
