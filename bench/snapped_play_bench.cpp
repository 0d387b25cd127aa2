// Real-play costs on positions reached by snapped play (every stone at the
// nearest living move of a uniformly random point, refused moves skipped),
// all measured in one run so that the ratios hold on a busy machine:
// try_move + undo against one rebuild of the partition, copying the game
// against a move, nearest_living_move, and filling a board by play.
// Prints medians of many samples.
//
//     bench_snapped_play_bench [board:stones ...]   (18:51 40:210 80:1100)
//     bench_snapped_play_bench --fill               (100 to 6,400 stones)
//     bench_snapped_play_bench --moves-only|--nearest-only board:stones
//                                                   (for profilers)

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "game/game.hpp"

using namespace quelmar;

namespace {

using Clock = std::chrono::steady_clock;

double ns_since(Clock::time_point t0) { return std::chrono::duration<double, std::nano>(Clock::now() - t0).count(); }

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

Point random_point(double board, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(0.0, board);
  const double x = u(rng);
  return {x, u(rng)};
}

// Snapped play until `stones` stones are in play (or the board is full).
Game snapped_play(double board, std::size_t stones, std::mt19937_64& rng) {
  Game game(board);
  for (std::size_t tries = 0; game.stones().size() < stones && tries < stones * 20; ++tries) {
    const std::optional<Point> p = game.nearest_living_move(random_point(board, rng));
    if (!p) break;
    (void)game.try_move(*p);
  }
  return game;
}

struct Figures {
  double move_undo = 0, rebuild = 0, copy = 0, nearest = 0;
};

Figures measure(Game& game, std::mt19937_64& rng) {
  const double board = game.board_size();
  std::vector<Point> moves, asked;
  for (int i = 0; i < 4000 && moves.size() < 300; ++i) {
    const Point q = random_point(board, rng);
    asked.push_back(q);
    if (const std::optional<Point> p = game.nearest_living_move(q)) moves.push_back(*p);
  }
  std::vector<double> move_undo, rebuild, copy, nearest;
  std::size_t captures = 0;
  for (int round = 0; round < 5; ++round) {
    for (Point p : moves) {
      auto t0 = Clock::now();
      const auto moved = game.try_move(p);
      if (moved) (void)game.undo();
      if (moved) move_undo.push_back(ns_since(t0));
      if (moved && round == 0 && !moved.value().captured_stone_ids.empty()) ++captures;
    }
    for (int i = 0; i < 60; ++i) {
      auto t0 = Clock::now();
      const Voronoi v = Voronoi::build(game.stone_list(), board);
      rebuild.push_back(ns_since(t0));
      t0 = Clock::now();
      const Game copied = game;
      copy.push_back(ns_since(t0));
      (void)v;
      (void)copied;
    }
    auto t0 = Clock::now();
    for (Point q : asked) (void)game.nearest_living_move(q);
    nearest.push_back(ns_since(t0) / static_cast<double>(asked.size()));
  }
  std::printf("  (%zu probe points, %zu playable, %zu capture)\n", moves.size(), move_undo.size() / 5, captures);
  return {median(move_undo), median(rebuild), median(copy), median(nearest)};
}

void bench(double board, std::size_t stones) {
  std::mt19937_64 rng(7);
  Game game = snapped_play(board, stones, rng);
  const Figures f = measure(game, rng);
  std::printf("board %3.0f %5zu stones  try_move+undo %9.0f ns  rebuild %9.0f ns  ratio %5.2f  copy %9.0f ns  "
              "copy/move %5.2f  nearest %6.0f ns\n",
              board, game.stones().size(), f.move_undo, f.rebuild, f.move_undo / f.rebuild, f.copy,
              f.copy / f.move_undo, f.nearest);
}

// Filling boards by snapped play: the time of a snapped move (nearest
// living move and try_move, refused ones included) once the board holds
// `stones` stones, on a board sized to hold about twice that many.
void fill(std::size_t stones) {
  const double board = std::ceil(std::sqrt(static_cast<double>(stones) * 6.0));
  std::mt19937_64 rng(11);
  Game game(board);
  std::size_t tries = 0;
  auto attempt = [&] {
    ++tries;
    const std::optional<Point> p = game.nearest_living_move(random_point(board, rng));
    return p && game.try_move(*p).ok();
  };
  while (game.stones().size() < stones && tries < stones * 20) (void)attempt();
  // The next moves, at this size.
  const std::size_t window = std::max<std::size_t>(50, stones / 10);
  const auto t0 = Clock::now();
  for (std::size_t i = 0; i < window; ++i) (void)attempt();
  const double ms = ns_since(t0) / 1e6 / static_cast<double>(window);
  std::printf("fill board %4.0f: %6zu stones, %8.3f ms per snapped move (%.2f us per stone)\n", board,
              game.stones().size(), ms, ms * 1e3 / static_cast<double>(game.stones().size()));
}

}  // namespace

// Only the try_move + undo pairs of one position, for instruction counts
// under callgrind.
void moves_only(double board, std::size_t stones) {
  std::mt19937_64 rng(7);
  Game game = snapped_play(board, stones, rng);
  std::vector<Point> moves;
  for (int i = 0; i < 4000 && moves.size() < 300; ++i)
    if (const std::optional<Point> p = game.nearest_living_move(random_point(board, rng))) moves.push_back(*p);
  std::size_t pairs = 0;
  for (Point p : moves)
    if (game.try_move(p)) {
      (void)game.undo();
      ++pairs;
    }
  std::printf("board %.0f: %zu try_move + undo pairs\n", board, pairs);
}

// Only nearest_living_move on one position, for profiles.
void nearest_only(double board, std::size_t stones) {
  std::mt19937_64 rng(7);
  Game game = snapped_play(board, stones, rng);
  std::vector<Point> asked;
  for (int i = 0; i < 4000; ++i) asked.push_back(random_point(board, rng));
  double sum = 0;
  for (int round = 0; round < 100; ++round)
    for (Point q : asked)
      if (const std::optional<Point> p = game.nearest_living_move(q)) sum += p->x;
  std::printf("board %.0f: %zu questions (%g)\n", board, asked.size() * 100, sum);
}

int main(int argc, char** argv) {
  std::vector<std::pair<double, std::size_t>> cases;
  bool filling = false, only_moves = false, only_nearest = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--fill") {
      filling = true;
      continue;
    }
    if (arg == "--moves-only") {
      only_moves = true;
      continue;
    }
    if (arg == "--nearest-only") {
      only_nearest = true;
      continue;
    }
    const auto colon = arg.find(':');
    cases.emplace_back(std::strtod(arg.c_str(), nullptr),
                       colon == std::string::npos ? 0 : std::strtoul(arg.c_str() + colon + 1, nullptr, 10));
  }
  if (cases.empty() && !filling) cases = {{18.0, 51}, {40.0, 210}, {80.0, 1100}};
  for (const auto& [board, stones] : cases) {
    if (only_moves) moves_only(board, stones);
    else if (only_nearest) nearest_only(board, stones);
    else bench(board, stones);
  }
  if (filling)
    for (std::size_t stones : {100, 400, 1600, 6400}) fill(stones);
  return 0;
}
