// Per-move cost of the engine, broken down the way a move spends it: the
// probe's carve, the Voronoi build of the probed board, the liveness tests,
// the rollback and the commit; then whole try_move and undo, and the
// Voronoi build alone. Positions come from seeded random play: snapped
// random points, self-captures skipped. Prints nanoseconds per move.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <vector>

#include "game/game.hpp"

using namespace quelmar;

namespace {

using Clock = std::chrono::steady_clock;

double ns_since(Clock::time_point t0) { return std::chrono::duration<double, std::nano>(Clock::now() - t0).count(); }

std::optional<Point> snapped_point(const Game& game, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(0.0, game.board_size());
  const Point p{u(rng), u(rng)};
  return game.nearest_living_move(p);
}

// Plays up to `moves` committed moves (at most three times as many tries).
Game random_play(double board, std::size_t moves, std::mt19937_64& rng) {
  Game game(board);
  std::size_t committed = 0;
  for (std::size_t tries = 0; tries < moves * 3 && committed < moves; ++tries) {
    const std::optional<Point> p = snapped_point(game, rng);
    if (!p) break;
    if (game.try_move(*p)) ++committed;
  }
  return game;
}

// One sample per measured move and step; medians keep the figures steady
// on a machine shared with other work.
struct Breakdown {
  std::vector<double> carve, voronoi, liveness, rollback, commit, try_move, undo, build_alone;
};

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// Times each step of one move at `p` on `game` as try_move takes them,
// then the whole move, its undo and its commit alone; leaves the game as
// found.
void measure_move(Game& game, Point p, Breakdown& b) {
  const Stone stone{game.turn(), color_of_turn(game.turn()), p};

  // The probe: carve, eyes and the bookkeeping of a transient delta.
  auto t0 = Clock::now();
  if (!game.apply_delta(GameDelta{stone, {}}, true)) return;
  b.carve.push_back(ns_since(t0));

  t0 = Clock::now();
  (void)game.voronoi();
  b.voronoi.push_back(ns_since(t0));

  t0 = Clock::now();
  if (game.dead_stones(opposite(stone.color)).empty()) (void)game.dead_stones(stone.color);
  b.liveness.push_back(ns_since(t0));

  t0 = Clock::now();
  (void)game.pop_delta();
  b.rollback.push_back(ns_since(t0));

  t0 = Clock::now();
  const auto moved = game.try_move(p);
  const double whole = ns_since(t0);
  if (!moved) return;
  t0 = Clock::now();
  (void)game.undo();
  b.undo.push_back(ns_since(t0));
  t0 = Clock::now();
  (void)game.apply_delta(moved.value(), false);
  b.commit.push_back(ns_since(t0));
  (void)game.undo();
  b.try_move.push_back(whole);

  t0 = Clock::now();
  const Voronoi again = Voronoi::build(game.stone_list(), game.board_size());
  b.build_alone.push_back(ns_since(t0));
  (void)again;
}

void bench(double board, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  const auto moves = static_cast<std::size_t>(board * board / 3);
  const auto t0 = Clock::now();
  Game game = random_play(board, moves, rng);
  const double play_ns = ns_since(t0);

  std::vector<Point> probes;
  for (int i = 0; i < 400 && probes.size() < 200; ++i)
    if (const std::optional<Point> p = snapped_point(game, rng)) probes.push_back(*p);

  Breakdown b;
  for (int round = 0; round < 3; ++round)
    for (Point p : probes) measure_move(game, p, b);
  if (b.try_move.empty()) {
    std::printf("board %3.0f: no playable probe\n", board);
    return;
  }
  std::printf("board %3.0f, %4zu stones, %5u segments, play %.0f ms (%zu turns), %zu moves measured\n", board,
              game.stones().size(), game.alive_zone().graph().live_count(), play_ns / 1e6,
              static_cast<std::size_t>(game.turn()), b.try_move.size());
  std::printf("  probe (carve) %8.0f  voronoi %8.0f  liveness %8.0f  rollback %8.0f  commit %8.0f ns/move (medians)\n",
              median(b.carve), median(b.voronoi), median(b.liveness), median(b.rollback), median(b.commit));
  const double whole = median(b.try_move), undo = median(b.undo), alone = median(b.build_alone);
  std::printf("  try_move %8.0f  undo %8.0f  Voronoi::build alone %8.0f ns/move  (try_move/build %.2f, "
              "undo/try_move %.3f)\n",
              whole, undo, alone, whole / alone, undo / whole);
}

}  // namespace

// Boards to measure may be given as arguments; 18, 40 and 80 otherwise.
int main(int argc, char** argv) {
  std::vector<double> boards;
  for (int i = 1; i < argc; ++i) boards.push_back(std::strtod(argv[i], nullptr));
  if (boards.empty()) boards = {18.0, 40.0, 80.0};
  for (double board : boards) bench(board, 7);
  return 0;
}
