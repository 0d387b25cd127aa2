#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "voronoi/exact_predicates.hpp"
#include "voronoi/triangulation.hpp"

using namespace quelmar;

namespace {

constexpr std::uint32_t NONE = Triangulation::NONE;
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();
constexpr double TWO_M51 = 4.440892098500626e-16;

using LD = long double;

// Orientation in extended precision, positive counter-clockwise (y-up).
LD cross3(Point a, Point b, Point c) {
  return (LD(b.x) - a.x) * (LD(c.y) - a.y) - (LD(b.y) - a.y) * (LD(c.x) - a.x);
}

// In-circle determinant and its permanent, in extended precision: for a
// clockwise triangle, d inside gives a negative value.
std::pair<LD, LD> incircle_ld(Point a, Point b, Point c, Point d) {
  const LD adx = LD(a.x) - d.x, ady = LD(a.y) - d.y, bdx = LD(b.x) - d.x, bdy = LD(b.y) - d.y;
  const LD cdx = LD(c.x) - d.x, cdy = LD(c.y) - d.y;
  const LD al = adx * adx + ady * ady, bl = bdx * bdx + bdy * bdy, cl = cdx * cdx + cdy * cdy;
  const LD det = al * (bdx * cdy - cdx * bdy) + bl * (cdx * ady - adx * cdy) +
                 cl * (adx * bdy - bdx * ady);
  const LD perm = al * (std::fabs(bdx * cdy) + std::fabs(cdx * bdy)) +
                  bl * (std::fabs(cdx * ady) + std::fabs(adx * cdy)) +
                  cl * (std::fabs(adx * bdy) + std::fabs(bdx * ady));
  return {det, perm};
}

LD hull_area(std::vector<Point> p) {
  std::sort(p.begin(), p.end(), [](Point a, Point b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
  p.erase(std::unique(p.begin(), p.end()), p.end());
  if (p.size() < 3) return 0;
  std::vector<Point> h(2 * p.size());
  std::size_t k = 0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    while (k >= 2 && cross3(h[k - 2], h[k - 1], p[i]) <= 0) --k;
    h[k++] = p[i];
  }
  for (std::size_t i = p.size() - 1, t = k + 1; i-- > 0;) {
    while (k >= t && cross3(h[k - 2], h[k - 1], p[i]) <= 0) --k;
    h[k++] = p[i];
  }
  LD area = 0;
  for (std::size_t i = 0; i + 1 < k; ++i) area += LD(h[i].x) * h[i + 1].y - LD(h[i].y) * h[i + 1].x;
  return std::fabs(area) / 2;
}

bool near_duplicate(Point a, Point b) {
  return std::fabs(a.x - b.x) <= TWO_M51 && std::fabs(a.y - b.y) <= TWO_M51;
}

// Everything a triangulation of `pts` must satisfy, checked independently
// of the engine's own validation as well as through it.
void expect_valid(const std::vector<Point>& pts, const Triangulation& t) {
  ASSERT_EQ(validate_triangulation(pts, t), std::nullopt);
  const auto& tri = t.triangles;
  ASSERT_EQ(tri.size() % 3, 0u);
  for (std::uint32_t e = 0; e < t.halfedges.size(); ++e) {
    const std::uint32_t h = t.halfedges[e];
    if (h == NONE) continue;
    ASSERT_EQ(t.halfedges[h], e);
    ASSERT_EQ(tri[h], tri[next_halfedge(e)]);
  }
  std::vector<char> used(pts.size(), 0);
  for (std::uint32_t p : tri) used[p] = 1;
  LD area = 0;
  for (std::size_t s = 0; s < tri.size(); s += 3) {
    const Point a = pts[tri[s]], b = pts[tri[s + 1]], c = pts[tri[s + 2]];
    const LD o = cross3(a, b, c);
    const LD scale = std::fabs((LD(b.x) - a.x) * (LD(c.y) - a.y)) + std::fabs((LD(b.y) - a.y) * (LD(c.x) - a.x));
    ASSERT_LE(o, 1e-15L * scale) << "triangle " << s / 3 << " is counter-clockwise";
    area -= o / 2;
    for (std::size_t q = 0; q < pts.size(); ++q) {
      if (!used[q]) continue;
      const auto [det, perm] = incircle_ld(a, b, c, pts[q]);
      ASSERT_GE(det, -1e-12L * perm) << "point " << q << " inside circle of triangle " << s / 3;
    }
  }
  std::vector<Point> kept;
  for (std::size_t p = 0; p < pts.size(); ++p)
    if (used[p]) kept.push_back(pts[p]);
  const LD hull = hull_area(kept);
  EXPECT_NEAR(double(area), double(hull), 1e-9 * double(hull)) << "triangles do not tile the hull";
  // A point may be left out only as a duplicate of one that stayed in.
  for (std::size_t p = 0; p < pts.size(); ++p) {
    if (!std::isfinite(pts[p].x) || !std::isfinite(pts[p].y)) {
      EXPECT_EQ(t.inedges[p], NONE);
      continue;
    }
    if (t.inedges[p] != NONE) continue;
    bool twin = false;
    for (std::size_t q = 0; q < pts.size() && !twin; ++q) twin = used[q] && near_duplicate(pts[p], pts[q]);
    EXPECT_TRUE(twin) << "point " << p << " (" << pts[p].x << ", " << pts[p].y << ") left out";
  }
}

void expect_triangulates(const std::vector<Point>& pts) {
  Triangulator tr;
  ASSERT_TRUE(tr.run(pts).ok());
  expect_valid(pts, tr.triangulation());
}

std::vector<Point> uniform(std::size_t n, std::uint64_t seed, double lo = 0, double hi = 18) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(lo, hi);
  std::vector<Point> p(n);
  for (Point& q : p) q = {u(rng), u(rng)};
  return p;
}

std::vector<Point> lattice(int w, int h, double step = 1.0) {
  std::vector<Point> p;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p.push_back({x * step, y * step});
  return p;
}

// The four far points a board of side s adds round its stones.
void add_sentinels(std::vector<Point>& p, double s) {
  p.push_back({-7 * s, s / 2});
  p.push_back({8 * s, s / 2});
  p.push_back({s / 2, -7 * s});
  p.push_back({s / 2, 8 * s});
}

}  // namespace

TEST(ExactPredicates, SignsOfDegenerateAndNearDegenerateInput) {
  EXPECT_GT(orient2d({0, 0}, {1, 0}, {0, 1}), 0.0);
  EXPECT_LT(orient2d({0, 0}, {0, 1}, {1, 0}), 0.0);
  EXPECT_EQ(orient2d({0, 0}, {1, 1}, {3, 3}), 0.0);
  // Collinear in exact arithmetic but not after rounding the differences.
  EXPECT_EQ(orient2d({0.1, 0.1}, {0.3, 0.3}, {0.7, 0.7}) == 0.0,
            (LD(0.3) - 0.1) * (LD(0.7) - 0.1) - (LD(0.3) - 0.1) * (LD(0.7) - 0.1) == 0);
  const double x = 0.5 + std::ldexp(1.0, -52);
  EXPECT_GT(orient2d({0.5, 0.5}, {12, 12}, {24, 24 + 1e-14}), 0.0);
  EXPECT_LT(orient2d({x, 0.5}, {12, 12}, {24, 24}), 0.0);
  // Cocircular lattice points, and points a hair inside and outside.
  EXPECT_EQ(incircle({0, 0}, {1, 0}, {1, 1}, {0, 1}), 0.0);
  EXPECT_GT(incircle({0, 0}, {1, 0}, {1, 1}, {std::nextafter(0.0, 1.0), std::nextafter(1.0, 0.0)}), 0.0);
  EXPECT_LT(incircle({0, 0}, {1, 0}, {1, 1}, {-std::ldexp(1.0, -60), 1}), 0.0);
  EXPECT_EQ(incircle({1e15, 1e15}, {1e15 + 1, 1e15}, {1e15 + 1, 1e15 + 1}, {1e15, 1e15 + 1}), 0.0);
  // Magnitudes whose fourth powers overflow or underflow keep exact signs.
  for (double k : {1e300, 1e200, 1e-200, 1e-300}) {
    EXPECT_EQ(incircle({0, 0}, {k, 0}, {k, k}, {0, k}), 0.0) << k;
    EXPECT_GT(incircle({0, 0}, {k, 0}, {k, k}, {0.5 * k, 0.5 * k}), 0.0) << k;
    EXPECT_LT(incircle({0, 0}, {k, 0}, {k, k}, {2 * k, 2 * k}), 0.0) << k;
    EXPECT_EQ(orient2d({k, k}, {2 * k, 2 * k}, {4 * k, 4 * k}), 0.0) << k;
    EXPECT_GT(orient2d({0, 0}, {k, 0}, {0, k}), 0.0) << k;
  }
}

TEST(Triangulation, FewerThanThreeOrCollinearPointsFail) {
  Triangulator tr;
  EXPECT_EQ(tr.run({}).error(), TriangulationError::TooFewPoints);
  std::vector<Point> two{{0, 0}, {1, 1}};
  EXPECT_EQ(tr.run(two).error(), TriangulationError::TooFewPoints);
  std::vector<Point> row{{0, 0}, {1, 1}, {2, 2}, {5, 5}};
  EXPECT_EQ(tr.run(row).error(), TriangulationError::Collinear);
  EXPECT_EQ(tr.triangulation().inedges, std::vector<std::uint32_t>(4, NONE));
  std::vector<Point> same(5, Point{3, 3});
  EXPECT_EQ(tr.run(same).error(), TriangulationError::Collinear);
  std::vector<Point> with_nan{{0, 0}, {NaN, 1}, {1, Inf}, {2, 0}};
  EXPECT_EQ(tr.run(with_nan).error(), TriangulationError::TooFewPoints);
}

TEST(Triangulation, ThreePointsMakeOneClockwiseTriangle) {
  for (const std::vector<Point>& pts : {std::vector<Point>{{0, 0}, {1, 0}, {0, 1}},
                                        std::vector<Point>{{0, 0}, {0, 1}, {1, 0}}}) {
    Triangulator tr;
    ASSERT_TRUE(tr.run(pts).ok());
    const Triangulation& t = tr.triangulation();
    ASSERT_EQ(t.triangle_count(), 1u);
    EXPECT_LT(cross3(pts[t.triangles[0]], pts[t.triangles[1]], pts[t.triangles[2]]), 0);
    EXPECT_EQ(t.halfedges, std::vector<std::uint32_t>(3, NONE));
    expect_valid(pts, t);
  }
}

TEST(Triangulation, UniformAndClusteredRandomPoints) {
  for (std::size_t n : {3, 4, 5, 10, 57, 300, 1500}) expect_triangulates(uniform(n, n));
  std::mt19937_64 rng(7);
  for (double sigma : {1.0, 1e-3, 1e-9}) {
    std::normal_distribution<double> g(0.0, sigma);
    std::vector<Point> p;
    for (int c = 0; c < 8; ++c)
      for (int k = 0; k < 40; ++k) p.push_back({2.0 * c + g(rng), 5.0 + g(rng)});
    expect_triangulates(p);
  }
}

TEST(Triangulation, LatticesFullPartialAndHalfInteger) {
  expect_triangulates(lattice(2, 2));
  expect_triangulates(lattice(19, 19));
  expect_triangulates(lattice(40, 3, 0.5));
  std::mt19937_64 rng(11);
  for (int trial = 0; trial < 6; ++trial) {
    std::vector<Point> p;
    for (Point q : lattice(25, 25, trial % 2 ? 0.5 : 1.0))
      if (rng() % 3) p.push_back(q);
    if (trial >= 3) add_sentinels(p, 18);
    expect_triangulates(p);
  }
}

TEST(Triangulation, CollinearRowsAndCocircularRings) {
  std::vector<Point> rows;
  for (int i = 0; i < 30; ++i) rows.push_back({double(i), 4.0});
  rows.push_back({7.5, 9.0});
  expect_triangulates(rows);
  for (int i = 0; i < 30; ++i) rows.push_back({double(i), 12.0});
  expect_triangulates(rows);
  std::vector<Point> diagonal;
  for (int i = 0; i < 40; ++i) diagonal.push_back({0.25 * i, 0.25 * i});
  add_sentinels(diagonal, 18);
  expect_triangulates(diagonal);
  // Points of one circle centred on a lattice point (3-4-5 triangles).
  std::vector<Point> ring;
  for (int sx : {-1, 1})
    for (int sy : {-1, 1})
      for (Point d : {Point{3, 4}, Point{4, 3}, Point{5, 0}, Point{0, 5}})
        ring.push_back({9 + sx * d.x, 9 + sy * d.y});
  ring.push_back({9, 9});
  expect_triangulates(ring);
}

TEST(Triangulation, ExactAndNearDuplicatesAreLeftOutOnce) {
  std::vector<Point> p = lattice(8, 8);
  const std::vector<Point> copy = p;
  p.insert(p.end(), copy.begin(), copy.end());
  p.insert(p.begin(), copy.rbegin(), copy.rend());
  expect_triangulates(p);

  std::vector<Point> near = uniform(200, 3, 0, 1.5);
  for (std::size_t i = 0; i < 200; i += 3) {
    near.push_back({near[i].x + TWO_M51, near[i].y});
    near.push_back({std::nextafter(near[i].x, 2.0), std::nextafter(near[i].y, -1.0)});
  }
  expect_triangulates(near);

  // Within a few ulps but far above 2^-51 apart: these must all stay in.
  std::vector<Point> tight;
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) tight.push_back({1000.0 + i * 1.2e-13, 1000.0 + j * 1.1e-13});
  tight.push_back({0, 0});
  tight.push_back({2000, 0});
  tight.push_back({1000, 2000});
  Triangulator tr;
  ASSERT_TRUE(tr.run(tight).ok());
  expect_valid(tight, tr.triangulation());
  for (std::uint32_t ie : tr.triangulation().inedges) EXPECT_NE(ie, NONE);
}

TEST(Triangulation, PointsOnTheBoardEdgesWithSentinels) {
  std::vector<Point> p;
  for (int i = 0; i <= 18; ++i) {
    p.push_back({double(i), 0});
    p.push_back({double(i), 18});
    p.push_back({0, double(i)});
    p.push_back({18, double(i)});
  }
  add_sentinels(p, 18);
  expect_triangulates(p);
}

TEST(Triangulation, NonFiniteAndExtremeCoordinatesStayWellFormed) {
  std::vector<Point> p = uniform(50, 5);
  p[3] = {NaN, 2};
  p[9] = {4, Inf};
  p[17] = {-Inf, NaN};
  expect_triangulates(p);

  // Rescaled internally: the products of the in-circle test would overflow.
  for (double scale : {1e300, 1e150, 1e40}) {
    std::vector<Point> q = lattice(6, 6);
    for (Point& r : q) r = {r.x * scale, r.y * scale};
    Triangulator tr;
    ASSERT_TRUE(tr.run(q).ok());
    EXPECT_EQ(tr.triangulation().triangle_count(), 50u);
    for (std::uint32_t ie : tr.triangulation().inedges) EXPECT_NE(ie, NONE);
  }
  // A lattice of step 1e-300 lies within 2^-51 of itself: the seeds remain.
  std::vector<Point> tiny = lattice(6, 6);
  for (Point& r : tiny) r = {r.x * 1e-300, r.y * 1e-300};
  Triangulator small;
  ASSERT_TRUE(small.run(tiny).ok());
  EXPECT_EQ(small.triangulation().triangle_count(), 1u);
  // One point at 1e300 beside board-sized ones: the in-circle determinant
  // then spans more binary orders than a double holds, so signs near it may
  // be wrong, but the mesh stays sound and the call returns.
  std::vector<Point> mixed = uniform(40, 9);
  mixed.push_back({1e300, -1e300});
  Triangulator tr;
  for (int round = 0; round < 2; ++round) {
    if (tr.run(mixed).ok()) {
      const auto fault = validate_triangulation(mixed, tr.triangulation());
      EXPECT_TRUE(!fault || *fault == TriangulationFault::NotClockwise ||
                  *fault == TriangulationFault::NotDelaunay);
    }
    mixed.push_back({1e-300, 1e-300});
    mixed.push_back({2e-300, 1e-300});
  }
}

TEST(Triangulation, ReusedTriangulatorMatchesAFreshOne) {
  Triangulator reused;
  for (std::uint64_t seed = 1; seed < 6; ++seed) {
    std::vector<Point> p = uniform(40 * seed, seed);
    if (seed % 2) p = lattice(int(3 + seed), 7);
    ASSERT_TRUE(reused.run(p).ok());
    const Result<Triangulation, TriangulationError> fresh = triangulate(p);
    ASSERT_TRUE(fresh.ok());
    EXPECT_EQ(reused.triangulation().triangles, fresh.value().triangles);
    EXPECT_EQ(reused.triangulation().halfedges, fresh.value().halfedges);
    EXPECT_EQ(reused.triangulation().inedges, fresh.value().inedges);
  }
}

TEST(Triangulation, InedgesPreferTheHullEdge) {
  const std::vector<Point> p = uniform(100, 21);
  Triangulator tr;
  ASSERT_TRUE(tr.run(p).ok());
  const Triangulation& t = tr.triangulation();
  std::vector<std::uint32_t> expect(p.size(), NONE);
  for (std::uint32_t e = 0; e < t.triangles.size(); ++e) {
    const std::uint32_t q = t.triangles[next_halfedge(e)];
    if (t.halfedges[e] == NONE || expect[q] == NONE) expect[q] = e;
  }
  EXPECT_EQ(t.inedges, expect);
}

TEST(Triangulation, LargeInputsTerminate) {
  expect_triangulates(uniform(2000, 99, -1e6, 1e6));
  Triangulator tr;
  std::vector<Point> big = lattice(100, 100, 0.5);
  EXPECT_TRUE(tr.run(big).ok());
  EXPECT_EQ(validate_triangulation(big, tr.triangulation()), std::nullopt);
}

// Points a few ulps off one circle round the sweep centre, packed into a
// tiny arc: rounded distances sweep some of them after neighbours that
// already enclose them, so they land inside a triangle, on an inner edge or
// on a hull edge. (An inner-edge split once linked the far triangle wrongly.)
TEST(Triangulation, ArcClusterSweptOutOfOrder) {
  for (std::uint64_t seed = 0; seed < 40; ++seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> angle(-1e-7, 1e-7);
    std::uniform_int_distribution<int> jitter(-3, 3);
    std::vector<Point> p;
    for (int j = 0; j < 3; ++j)
      p.push_back({1e-3 * std::cos(2.0943951023931953 * j), 1e-3 * std::sin(2.0943951023931953 * j)});
    for (int j = 0; j < 60; ++j) {
      const double t = angle(rng);
      double x = std::cos(t);
      for (int k = jitter(rng); k != 0; k += k > 0 ? -1 : 1) x = std::nextafter(x, k > 0 ? 2.0 : 0.0);
      p.push_back({x, std::sin(t)});
    }
    expect_triangulates(p);
  }
}
