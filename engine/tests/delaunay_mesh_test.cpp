// The kept mesh: every insertion and removal leaves a Delaunay
// triangulation, the same one the sweep builds from scratch wherever that
// is unique, and rolling back to a mark restores the mesh bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <set>

#include "voronoi/build_points.hpp"
#include "voronoi/delaunay_mesh.hpp"
#include "voronoi/triangulation.hpp"

using namespace quelmar;

namespace {

using Triple = std::array<Point, 3>;

// A triangle as its three points, in a fixed order, so that two meshes
// with other numberings compare.
std::array<std::uint64_t, 6> key(Triple t) {
  std::array<std::array<std::uint64_t, 2>, 3> k;
  for (int i = 0; i < 3; ++i) k[i] = {std::bit_cast<std::uint64_t>(t[i].x), std::bit_cast<std::uint64_t>(t[i].y)};
  std::sort(k.begin(), k.end());
  return {k[0][0], k[0][1], k[1][0], k[1][1], k[2][0], k[2][1]};
}

std::set<std::array<std::uint64_t, 6>> triangles_of(const DelaunayMesh& m) {
  std::set<std::array<std::uint64_t, 6>> out;
  for (std::uint32_t t = 0; t < m.half_edge_slots() / 3; ++t)
    if (m.live_triangle(t)) out.insert(key({m.point(m.tri(3 * t)), m.point(m.tri(3 * t + 1)), m.point(m.tri(3 * t + 2))}));
  return out;
}

std::set<std::array<std::uint64_t, 6>> sweep_triangles(const std::vector<Point>& points) {
  auto t = triangulate(points);
  std::set<std::array<std::uint64_t, 6>> out;
  if (!t) return out;
  const auto& tri = t.value().triangles;
  for (std::size_t e = 0; e < tri.size(); e += 3) out.insert(key({points[tri[e]], points[tri[e + 1]], points[tri[e + 2]]}));
  return out;
}

// The sentinels of a board of side s, as the partition adds them.
std::vector<Point> sentinels(double s) {
  std::vector<Point> p;
  fill_build_points(p, {}, s);
  return p;
}

struct Played {
  DelaunayMesh mesh;
  std::vector<std::uint32_t> stones;  // live stone vertices
};

}  // namespace

TEST(DelaunayMesh, InsertionsAndRemovalsMatchTheSweepAndRollBackExactly) {
  const double s = 30.0;
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> u(0.0, s);
  Played g;
  ASSERT_TRUE(g.mesh.build(sentinels(s), s));
  std::vector<std::pair<DelaunayMesh::Mark, DelaunayMesh>> undo;
  DelaunayMesh::Change change;
  for (int step = 0; step < 400; ++step) {
    const bool removing = !g.stones.empty() && (rng() % 4 == 0);
    if (rng() % 5 == 0 && !undo.empty()) {
      g.mesh.rollback(undo.back().first);
      ASSERT_TRUE(g.mesh.same_as(undo.back().second)) << "step " << step;
      undo.pop_back();
      g.stones.clear();
      for (std::uint32_t v = 0; v < g.mesh.vertex_slots(); ++v)
        if (g.mesh.live(v) && v >= 4) g.stones.push_back(v);
      continue;
    }
    undo.emplace_back(g.mesh.mark(), g.mesh);
    if (removing) {
      const std::size_t i = rng() % g.stones.size();
      g.mesh.remove(g.stones[i], change);
      g.stones.erase(g.stones.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      const std::uint32_t v = g.mesh.insert({u(rng), u(rng)}, change);
      ASSERT_NE(v, DelaunayMesh::NONE);
      g.stones.push_back(v);
    }
    // The four sentinels are cocircular: only the first stone meets that.
    EXPECT_TRUE(!change.degenerate || g.stones.size() <= 1) << "step " << step << " stones " << g.stones.size();
    const auto fault = g.mesh.validate();
    ASSERT_FALSE(fault) << *fault << " at step " << step;
    std::vector<Point> points;
    for (std::uint32_t v = 0; v < g.mesh.vertex_slots(); ++v)
      if (g.mesh.live(v)) points.push_back(g.mesh.point(v));
    ASSERT_EQ(triangles_of(g.mesh), sweep_triangles(points)) << "step " << step;
  }
}

TEST(DelaunayMesh, CocircularLatticesStayDelaunayAndSayTheyAreDegenerate) {
  const double s = 12.0;
  DelaunayMesh mesh;
  ASSERT_TRUE(mesh.build(sentinels(s), s));
  DelaunayMesh::Change change;
  bool degenerate = false;
  std::vector<std::uint32_t> placed;
  for (int i = 1; i < 6; ++i)
    for (int j = 1; j < 6; ++j) {
      placed.push_back(mesh.insert({2.0 * i, 2.0 * j}, change));
      degenerate |= change.degenerate;
      ASSERT_FALSE(mesh.validate());
    }
  EXPECT_TRUE(degenerate);
  // A square's triangles are not unique; a duplicate point is refused.
  std::size_t unique = 0, live = 0;
  for (std::uint32_t t = 0; t < mesh.half_edge_slots() / 3; ++t)
    if (mesh.live_triangle(t)) {
      ++live;
      unique += mesh.unique(t);
    }
  EXPECT_LT(unique, live);
  EXPECT_EQ(mesh.insert({4.0, 4.0}, change), DelaunayMesh::NONE);
  for (std::size_t i = 0; i < placed.size(); i += 2) {
    mesh.remove(placed[i], change);
    ASSERT_FALSE(mesh.validate());
  }
}

TEST(DelaunayMesh, StoredCentresSpreadOverEveryRotation) {
  // Nearly collinear triples make the rotations disagree most.
  const double s = 20.0;
  DelaunayMesh mesh;
  ASSERT_TRUE(mesh.build(sentinels(s), s));
  DelaunayMesh::Change change;
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(0.0, s), tiny(-1e-9, 1e-9);
  for (int i = 0; i < 60; ++i) mesh.insert({u(rng), i % 2 ? 10.0 + tiny(rng) : u(rng)}, change);
  std::size_t spread = 0;
  for (std::uint32_t t = 0; t < mesh.half_edge_slots() / 3; ++t) {
    if (!mesh.live_triangle(t)) continue;
    const Point c = mesh.centre(t);
    for (const Point& r : mesh.rotated_centres(t)) {
      EXPECT_LE(std::fabs(r.x - c.x), mesh.spread(t));
      EXPECT_LE(std::fabs(r.y - c.y), mesh.spread(t));
    }
    spread += mesh.spread(t) > 0;
  }
  EXPECT_GT(spread, 0U);  // rotations do differ in the last bits
}
