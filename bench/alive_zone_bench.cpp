// Times the playable-area operations on zones filled as in real play: each
// stone at a random board point, snapped to the nearest placeable point when
// that point is not placeable.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <vector>

#include "alive_zone/alive_zone.hpp"

using namespace quelmar;

namespace {

using Clock = std::chrono::steady_clock;

double uniform(std::mt19937_64& rng, double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }

std::optional<Point> placeable(const AliveZone& z, std::mt19937_64& rng) {
  const double s = z.board_size();
  const Point p{uniform(rng, 0, s), uniform(rng, 0, s)};
  if (z.deepest(p) <= EPSILON) return p;
  std::optional<Point> q = z.closest_point(p);
  if (q && z.deepest(*q) <= EPSILON) return q;
  return std::nullopt;
}

// Runs op(i) for up to `max_iters` iterations or about 0.3 s and answers the
// mean time per call in nanoseconds.
template <class Op>
double time_per_op(std::size_t max_iters, Op&& op) {
  const auto start = Clock::now();
  std::size_t n = 0;
  while (n < max_iters) {
    op(n++);
    if ((n & 15) == 0 && Clock::now() - start > std::chrono::milliseconds(300)) break;
  }
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / static_cast<double>(n);
}

std::vector<Point> hexagon(Point c, double r) {
  std::vector<Point> ring;
  for (int k = 0; k < 6; ++k) ring.push_back({c.x + r * std::cos(k * PI / 3), c.y + r * std::sin(k * PI / 3)});
  return ring;
}

void bench(int circles) {
  const double board = std::ceil(std::sqrt(circles * 7.0)) + 2.0;
  std::mt19937_64 rng(static_cast<std::uint64_t>(circles));
  AliveZone zone(board);
  std::vector<Point> centres;
  for (int tries = 0; static_cast<int>(centres.size()) < circles && tries < circles * 20; ++tries) {
    if (std::optional<Point> c = placeable(zone, rng)) {
      (void)zone.remove_circle(static_cast<StoneId>(centres.size()), *c);
      centres.push_back(*c);
    }
  }

  std::vector<Point> probes, queries;
  while (probes.size() < 512)
    if (std::optional<Point> c = placeable(zone, rng)) probes.push_back(*c);
  for (int i = 0; i < 4096; ++i) queries.push_back({uniform(rng, 0, board), uniform(rng, 0, board)});
  std::vector<std::vector<std::vector<Point>>> cells, dead_cells;
  for (int i = 0; i < 512; ++i) {
    cells.push_back({hexagon(queries[i], 1.2)});
    dead_cells.push_back({hexagon(centres[i % centres.size()], 0.5)});
  }

  double sink = 0;
  const double carve = time_per_op(200000, [&](std::size_t i) {
    const ShapeId s = zone.carve(probes[i % probes.size()]);
    zone.uncarve(s);
  });
  // Each question through the shape index, then as the plain scan.
  auto deepest = [&](bool plain) {
    return time_per_op(2000000, [&](std::size_t i) {
      const Point q = queries[i % queries.size()];
      sink += plain ? zone.reference_deepest(q) : zone.deepest(q);
    });
  };
  auto nearest = [&](bool plain) {
    return time_per_op(200000, [&](std::size_t i) {
      const Point q = queries[i % queries.size()];
      if (std::optional<Point> p = plain ? zone.reference_closest_point(q) : zone.closest_point(q)) sink += p->x;
    });
  };
  auto alive = [&](bool plain, const std::vector<std::vector<std::vector<Point>>>& rings) {
    return time_per_op(200000, [&](std::size_t i) {
      const auto& r = rings[i % rings.size()];
      sink += plain ? zone.reference_cell_is_alive(r) : zone.cell_is_alive(r);
    });
  };

  std::printf("%5zu circles, board %4.0f, %6u segments: carve+uncarve %9.0f ns/op\n", centres.size(), board,
              zone.graph().live_count(), carve);
  std::printf("    indexed: deepest %7.0f  closest_point %9.0f  cell_is_alive %9.0f (inside a dead zone %9.0f) ns/op\n",
              deepest(false), nearest(false), alive(false, cells), alive(false, dead_cells));
  std::printf("    plain:   deepest %7.0f  closest_point %9.0f  cell_is_alive %9.0f (inside a dead zone %9.0f) ns/op%s\n",
              deepest(true), nearest(true), alive(true, cells), alive(true, dead_cells), sink == 0.123 ? "!" : "");
}

}  // namespace

int main() {
  for (int n : {90, 1000, 3000}) bench(n);
  return 0;
}
