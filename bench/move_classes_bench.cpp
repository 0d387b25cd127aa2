// The cost of a move by what it does, on positions of snapped play: mean
// try_move + undo over a fixed set of snapped probe points, split into
// moves that capture nothing, moves that capture, and refused
// self-captures (try_move alone); and the cost of a snapped move as a
// board fills. Built against this tree and against an older one with the
// same source, so that bench/compare_moves.py can alternate the two
// binaries on the same positions and print ratios taken in one run.
//
//     bench_move_classes_bench --write FILE [board:stones ...]
//         plays the positions (18:51 40:210 80:1100 150:3870 by default)
//         and the fill positions (100 to 6,400 stones), writes their logs
//     bench_move_classes_bench --classes FILE [--rounds R]
//     bench_move_classes_bench --fill FILE
//     bench_move_classes_bench --moves-only FILE board [quiet|capture]
//         (for callgrind --toggle-collect='*measured_pairs*')
//
// Every engine answers the same moves bit for bit, so a log replays to the
// same position in either, and the probe points (nearest living moves of
// seeded random points) are the same points.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "game/game.hpp"

using namespace quelmar;

namespace {

using Clock = std::chrono::steady_clock;

double ns_since(Clock::time_point t0) { return std::chrono::duration<double, std::nano>(Clock::now() - t0).count(); }

Point random_point(double board, std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(0.0, board);
  const double x = u(rng);
  return {x, u(rng)};
}

// Snapped play until `stones` stones are in play (or the board is full).
Game snapped_play(double board, std::size_t stones, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  Game game(board);
  for (std::size_t tries = 0; game.stones().size() < stones && tries < stones * 20; ++tries) {
    const std::optional<Point> p = game.nearest_living_move(random_point(board, rng));
    if (!p) break;
    (void)game.try_move(*p);
  }
  return game;
}

// A position file: per position a line "position KIND BOARD DELTAS", then
// one line per delta: "pass", or "ID COLOUR X Y [CAPTURED...]" with the
// coordinates in hexadecimal floating point, exact both ways.
struct Position {
  std::string kind;  // "classes" or "fill"
  double board = 0;
  std::vector<GameDelta> log;
};

void write_position(std::FILE* f, const char* kind, const Game& game) {
  const std::vector<GameDelta> log = game.log();
  std::fprintf(f, "position %s %a %zu\n", kind, game.board_size(), log.size());
  for (const GameDelta& d : log) {
    if (!d.new_stone) {
      std::fprintf(f, "pass\n");
      continue;
    }
    const Stone& s = *d.new_stone;
    std::fprintf(f, "%u %d %a %a", s.id, static_cast<int>(s.color), s.position.x, s.position.y);
    for (StoneId id : d.captured_stone_ids) std::fprintf(f, " %u", id);
    std::fprintf(f, "\n");
  }
}

std::vector<Position> read_positions(const char* path) {
  std::vector<Position> out;
  std::FILE* f = std::fopen(path, "r");
  if (!f) {
    std::fprintf(stderr, "cannot read %s\n", path);
    std::exit(2);
  }
  char line[4096];
  while (std::fgets(line, sizeof line, f)) {
    char kind[32];
    double board = 0;
    std::size_t count = 0;
    if (std::sscanf(line, "position %31s %la %zu", kind, &board, &count) != 3) continue;
    Position p{kind, board, {}};
    for (std::size_t i = 0; i < count && std::fgets(line, sizeof line, f); ++i) {
      if (!std::strncmp(line, "pass", 4)) {
        p.log.push_back({});
        continue;
      }
      char* cur = line;
      const auto id = static_cast<StoneId>(std::strtoul(cur, &cur, 10));
      const auto colour = static_cast<Color>(std::strtol(cur, &cur, 10));
      const double x = std::strtod(cur, &cur);
      const double y = std::strtod(cur, &cur);
      GameDelta d{Stone{id, colour, {x, y}}, {}};
      for (char* next = cur;; cur = next) {
        const unsigned long c = std::strtoul(cur, &next, 10);
        if (next == cur) break;
        d.captured_stone_ids.push_back(static_cast<StoneId>(c));
      }
      p.log.push_back(std::move(d));
    }
    out.push_back(std::move(p));
  }
  std::fclose(f);
  return out;
}

Game replayed(const Position& p) {
  auto game = Game::replay(p.board, p.log);
  if (!game) {
    std::fprintf(stderr, "a position does not replay\n");
    std::exit(2);
  }
  return std::move(game.value());
}

// The probe points of a position: snapped points of seeded random points.
std::vector<Point> probe_points(const Game& game, std::size_t count) {
  std::mt19937_64 rng(7);
  std::vector<Point> moves;
  for (int i = 0; i < 40 * static_cast<int>(count) && moves.size() < count; ++i)
    if (const std::optional<Point> p = game.nearest_living_move(random_point(game.board_size(), rng)))
      moves.push_back(*p);
  return moves;
}

enum Class { QUIET, CAPTURE, REFUSED, CLASSES };
const char* const CLASS_NAMES[CLASSES] = {"quiet", "capture", "refused"};

double median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// Per class: the number of probe points and the mean over them of each
// point's median time over the rounds.
void classes(const Position& position, int rounds) {
  Game game = replayed(position);
  const std::vector<Point> moves = probe_points(game, 300);
  std::vector<int> kind(moves.size(), -1);
  std::vector<std::vector<double>> samples(moves.size());
  // A first pass outside the timing, so that whatever an engine builds on
  // its first move is built.
  for (std::size_t i = 0; i < moves.size(); ++i) {
    const auto moved = game.try_move(moves[i]);
    if (moved) {
      kind[i] = moved.value().captured_stone_ids.empty() ? QUIET : CAPTURE;
      (void)game.undo();
    } else if (moved.error().kind == MoveError::Kind::SelfCapture) {
      kind[i] = REFUSED;
    }
  }
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t i = 0; i < moves.size(); ++i) {
      if (kind[i] < 0) continue;
      const auto t0 = Clock::now();
      const auto moved = game.try_move(moves[i]);
      if (moved) (void)game.undo();
      samples[i].push_back(ns_since(t0));
    }
  }
  double sum[CLASSES] = {};
  int count[CLASSES] = {};
  for (std::size_t i = 0; i < moves.size(); ++i) {
    if (kind[i] < 0) continue;
    sum[kind[i]] += median(samples[i]);
    ++count[kind[i]];
  }
  for (int c = 0; c < CLASSES; ++c)
    std::printf("board %g stones %zu class %s moves %d mean_ns %.0f\n", position.board, game.stones().size(),
                CLASS_NAMES[c], count[c], count[c] ? sum[c] / count[c] : 0.0);
}

// The next snapped moves from a fill position, committed one after the
// other (refused ones included): milliseconds per move.
void fill(const Position& position) {
  Game game = replayed(position);
  std::mt19937_64 rng(11 + game.stones().size());
  const std::size_t window = std::max<std::size_t>(50, game.stones().size() / 10);
  std::vector<Point> asked;
  for (std::size_t i = 0; i <= window; ++i) asked.push_back(random_point(position.board, rng));
  // One move outside the timing, taken back, for what an engine builds on
  // its first move.
  if (const std::optional<Point> p = game.nearest_living_move(asked.back()))
    if (game.try_move(*p)) (void)game.undo();
  const auto t0 = Clock::now();
  for (std::size_t i = 0; i < window; ++i)
    if (const std::optional<Point> p = game.nearest_living_move(asked[i])) (void)game.try_move(*p);
  std::printf("fill board %g stones %zu moves %zu mean_ns %.0f\n", position.board, game.stones().size(), window,
              ns_since(t0) / static_cast<double>(window));
}

// The measured pairs of moves_only, apart so that callgrind can count
// them alone (--toggle-collect='*measured_pairs*').
[[gnu::noinline]] std::size_t measured_pairs(Game& game, const std::vector<Point>& moves) {
  std::size_t pairs = 0;
  for (Point p : moves)
    if (game.try_move(p)) {
      (void)game.undo();
      ++pairs;
    }
  return pairs;
}

// Only the try_move + undo pairs of one position (of one class, if
// asked), for instruction counts.
void moves_only(const Position& position, const char* only) {
  Game game = replayed(position);
  std::vector<Point> moves;
  for (Point p : probe_points(game, 300)) {
    const auto moved = game.try_move(p);
    if (!moved) continue;
    const bool capture = !moved.value().captured_stone_ids.empty();
    (void)game.undo();
    if (!only || (capture ? CAPTURE : QUIET) == (std::string(only) == "capture" ? CAPTURE : QUIET)) moves.push_back(p);
  }
  const std::size_t pairs = measured_pairs(game, moves);
  std::printf("board %g: %zu try_move + undo pairs\n", position.board, pairs);
}

int usage() {
  std::fprintf(stderr,
               "usage: bench_move_classes_bench --write FILE [board:stones ...] | --classes FILE [--rounds R] | "
               "--fill FILE | --moves-only FILE BOARD [quiet|capture]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string mode = argv[1];
  const char* path = argv[2];
  if (mode == "--write") {
    std::vector<std::pair<double, std::size_t>> cases;
    for (int i = 3; i < argc; ++i) {
      char* colon = nullptr;
      const double board = std::strtod(argv[i], &colon);
      cases.emplace_back(board, *colon == ':' ? std::strtoul(colon + 1, nullptr, 10) : 0);
    }
    if (cases.empty()) cases = {{18.0, 51}, {40.0, 210}, {80.0, 1100}, {150.0, 3870}};
    std::FILE* f = std::fopen(path, "w");
    if (!f) return usage();
    for (const auto& [board, stones] : cases) write_position(f, "classes", snapped_play(board, stones, 7));
    // Boards sized to hold about twice the stones, as bench_snapped_play_bench --fill plays them.
    for (std::size_t stones : {100, 400, 1600, 6400})
      write_position(f, "fill", snapped_play(std::ceil(std::sqrt(static_cast<double>(stones) * 6.0)), stones, 11));
    std::fclose(f);
    return 0;
  }
  const std::vector<Position> positions = read_positions(path);
  if (mode == "--classes") {
    const int rounds = argc >= 5 && !std::strcmp(argv[3], "--rounds") ? std::atoi(argv[4]) : 5;
    for (const Position& p : positions)
      if (p.kind == "classes") classes(p, rounds);
  } else if (mode == "--fill") {
    for (const Position& p : positions)
      if (p.kind == "fill") fill(p);
  } else if (mode == "--moves-only" && argc >= 4) {
    const double board = std::strtod(argv[3], nullptr);
    for (const Position& p : positions)
      if (p.kind == "classes" && p.board == board) moves_only(p, argc >= 5 ? argv[4] : nullptr);
  } else {
    return usage();
  }
  return 0;
}
