// Territory benchmarks: the triangulator alone on uniform points, and the
// whole Voronoi partition on stones placed as in play (pairwise at least
// 2.0 apart). Prints nanoseconds per point, best of several rounds.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

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

}  // namespace

int main() {
  bench_triangulation();
  bench_voronoi();
  return 0;
}
