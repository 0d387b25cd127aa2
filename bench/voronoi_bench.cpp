// Territory benchmarks: the triangulator alone on uniform points, the
// whole Voronoi partition on stones placed pairwise at least 2.0 apart, and
// the partition against its own triangulation on positions reached by
// snapped play. Prints nanoseconds per point, best of several rounds.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <optional>
#include <vector>

#include "game/game.hpp"
#include "voronoi/build_points.hpp"
#include "voronoi/triangulation.hpp"
#include "voronoi/voronoi.hpp"

using namespace quelmar;

namespace {

using Clock = std::chrono::steady_clock;

// Best time per call, in nanoseconds, over rounds of `reps` calls.
template <class F>
double best_ns(int rounds, int reps, F f) {
  double best = 1e300;
  for (int r = 0; r < rounds; ++r) {
    const auto t0 = Clock::now();
    for (int i = 0; i < reps; ++i) f();
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / reps;
    best = std::min(best, ns);
  }
  return best;
}

int reps_for(std::size_t n) { return std::max(1, static_cast<int>(2000000 / (n + 1))); }

std::vector<Stone> play_like(std::size_t n, double board, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(1.0, board - 1.0);
  std::vector<Stone> stones;
  while (stones.size() < n) {
    const Point p{u(rng), u(rng)};
    bool ok = true;
    for (const Stone& s : stones) ok = ok && distance(p, s.position) >= 2.0;
    if (ok) {
      const auto id = static_cast<StoneId>(stones.size());
      stones.push_back({id, color_of_turn(id), p});
    }
  }
  return stones;
}

void bench_triangulation() {
  std::printf("triangulation of uniform points\n");
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> u(0.0, 1000.0);
  for (std::size_t n : {100, 1000, 10000, 100000, 1000000}) {
    std::vector<Point> pts(n);
    for (Point& p : pts) p = {u(rng), u(rng)};
    Triangulator t;
    const double ns = best_ns(n >= 1000000 ? 3 : 9, reps_for(n), [&] { (void)t.run(pts); });
    std::printf("  %8zu points  %8.1f ns/point  (%zu triangles)\n", n, ns / n,
                t.triangulation().triangle_count());
  }
}

void bench_voronoi() {
  std::printf("Voronoi::build, stones pairwise >= 2.0 apart\n");
  std::mt19937_64 rng(2);
  for (std::size_t n : {90, 1000, 3000}) {
    const double board = std::ceil(std::sqrt(8.0 * n));
    const std::vector<Stone> stones = play_like(n, board, rng);
    std::vector<Point> pts;
    for (const Stone& s : stones) pts.push_back(s.position);
    pts.insert(pts.end(), {{-7 * board, board / 2}, {8 * board, board / 2}, {board / 2, -7 * board},
                           {board / 2, 8 * board}});
    Triangulator t;
    const int reps = reps_for(n);
    const double tri = best_ns(9, reps, [&] { (void)t.run(pts); });
    std::size_t groups = 0;
    const double vor = best_ns(9, reps, [&] {
      const Voronoi v = Voronoi::build(stones, board);
      groups = v.black.size() + v.white.size();
    });
    std::printf("  %5zu stones on %4.0f: build %8.1f ns/stone, triangulation alone %7.1f ns/point, "
                "ratio %.2f (%zu groups)\n",
                n, board, vor / n, tri / pts.size(), vor / tri, groups);
  }
}

// A position of snapped play: each stone at the nearest living move of a
// uniform random point, refused moves skipped, until `target` stones stand.
Game snapped_play(double board, std::size_t target, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(0.0, board);
  Game game(board);
  for (std::size_t tries = 0; tries < 20 * target && game.stones().size() < target; ++tries) {
    const std::optional<Point> p = game.nearest_living_move({u(rng), u(rng)});
    if (!p) break;
    (void)game.try_move(*p);
  }
  return game;
}

std::vector<Point> build_points(const std::vector<Stone>& stones, double board) {
  std::vector<Point> pts;
  fill_build_points(pts, stones, board);
  return pts;
}

void bench_snapped() {
  std::printf("Voronoi::build against its triangulation, snapped play\n");
  struct Case {
    double board;
    std::size_t stones;
  };
  for (const Case c : {Case{18, 51}, Case{40, 210}, Case{80, 1100}}) {
    std::mt19937_64 rng(3);
    const Game game = snapped_play(c.board, c.stones, rng);
    const std::vector<Stone>& stones = game.stone_list();
    const std::vector<Point> pts = build_points(stones, c.board);
    Triangulator t;
    const int reps = reps_for(stones.size());
    // Alternate the two so both see the same machine load.
    double tri = 1e300, vor = 1e300;
    for (int round = 0; round < 9; ++round) {
      tri = std::min(tri, best_ns(1, reps, [&] { (void)t.run(pts); }));
      vor = std::min(vor, best_ns(1, reps, [&] { (void)Voronoi::build(stones, c.board); }));
    }
    std::printf("  board %3.0f, %4zu stones: build %8.0f ns, triangulation %8.0f ns, ratio %.2f\n",
                c.board, stones.size(), vor, tri, vor / tri);
  }
}

}  // namespace

int main() {
  bench_triangulation();
  bench_voronoi();
  bench_snapped();
  return 0;
}
