#include "positions.hpp"

#include <array>
#include <cmath>
#include <iterator>
#include <limits>

namespace quelmar::fuzz {

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

double up(double v) { return std::nextafter(v, INF); }
double down(double v) { return std::nextafter(v, -INF); }

// An integer coordinate on the board, capped so a huge or non-finite board
// still gives a bounded choice.
double lattice_coordinate(ByteSource& in, double board_size) {
  const double top = std::isfinite(board_size) && board_size > 0 ? std::min(board_size, 255.0) : 0.0;
  const auto count = static_cast<std::uint32_t>(std::floor(top)) + 1;
  return static_cast<double>(in.u8() % count);
}

// The n-th stone in play, by ascending id.
const Stone* nth_stone(const Game& game, std::uint32_t n) {
  if (game.stones().empty()) return nullptr;
  auto it = game.stones().begin();
  std::advance(it, n % game.stones().size());
  return &it->second;
}

Point stone_or_centre(ByteSource& in, const Game& game) {
  const Stone* s = nth_stone(game, in.u8());
  const double half = game.board_size() / 2;
  return s ? s->position : Point{half, half};
}

// Distances where dead zones touch, overlap by an ulp, or just miss.
double read_distance(ByteSource& in) {
  static const std::array<double, 16> table = {
      2.0, 4.0, down(2.0), up(2.0), down(4.0), up(4.0), 2.0 - 1e-8, 2.0 - 1e-6,
      2.0 + 1e-7, 4.0 - 1e-7, 4.0 + 1e-7, 2.8284271247461903, 3.4641016151377544,
      2.82842612474619, 0.0, 1.0,
  };
  return table[in.pick(table.size())];
}

// Where the circles of radius d about a and b cross, on the side `left`
// chooses; a itself shifted by d when they do not cross.
Point circles_crossing(Point a, Point b, double d, bool left) {
  const Point ab = b - a;
  const double len = norm(ab);
  if (!(len > 0) || !(len <= 2 * d)) return {a.x + d, a.y};
  const double h = std::sqrt(d * d - (len / 2) * (len / 2));
  const Point mid = a + ab * 0.5;
  const Point n{-ab.y / len, ab.x / len};
  return left ? mid + n * h : mid - n * h;
}

}  // namespace

double read_board_size(ByteSource& in) {
  static const std::array<double, 26> table = {
      18.0, 19.0, 9.0, 13.0, 7.0, 5.0, 4.0, 3.0, 2.0, 6.5, 18.5, 25.0, 37.0,
      11.3, 1.0, 0.5, 0.0, -18.0, NaN, INF, 1e6, 1e-300, 100.0, down(3.0), up(4.0), 21.0,
  };
  return table[in.pick(table.size())];
}

double read_special_coordinate(ByteSource& in, double s) {
  const double far = far_inset(s);
  switch (in.pick(24)) {
    case 0: return NaN;
    case 1: return INF;
    case 2: return -INF;
    case 3: return 0.0;
    case 4: return -0.0;
    case 5: return s;
    case 6: return 1.0;
    case 7: return far;
    case 8: return lattice_coordinate(in, s);
    case 9: return up(lattice_coordinate(in, s));
    case 10: return down(lattice_coordinate(in, s));
    case 11: return lattice_coordinate(in, s) + 0.5;
    case 12: return up(1.0);
    case 13: return down(1.0);
    case 14: return down(far);
    case 15: return up(far);
    case 16: return up(s);
    case 17: return down(0.0);
    case 18: return s / 2;
    case 19: return 3.0;
    case 20: return s - 3.0;
    case 21: return down(3.0);
    case 22: return in.fraction() * s;
    default: return in.raw_double();
  }
}

Point read_special_point(ByteSource& in, double board_size) {
  const double x = read_special_coordinate(in, board_size);
  return {x, read_special_coordinate(in, board_size)};
}

Point read_ordinary_point(ByteSource& in, double board_size) {
  const double x = in.fraction() * 1.1 - 0.05;
  const double y = in.fraction() * 1.1 - 0.05;
  return {x * board_size, y * board_size};
}

Point read_point_near_stone(ByteSource& in, const Game& game) {
  const Point a = stone_or_centre(in, game);
  const double d = read_distance(in);
  const double diag = d * 0.7071067811865476;
  switch (in.pick(11)) {
    case 0: return {a.x + d, a.y};
    case 1: return {a.x - d, a.y};
    case 2: return {a.x, a.y + d};
    case 3: return {a.x, a.y - d};
    case 4: return {a.x + diag, a.y + diag};
    case 5: return {a.x - diag, a.y + diag};
    case 6: return {a.x + diag, a.y - diag};
    case 7: return {a.x - diag, a.y - diag};
    case 8: {
      const double angle = in.u8() * (TWO_PI / 256);
      return {a.x + d * std::cos(angle), a.y + d * std::sin(angle)};
    }
    case 9: {
      const Point b = stone_or_centre(in, game);
      const double len = distance(a, b);
      if (!(len > 0)) return {a.x + d, a.y};
      return a + (b - a) * (d / len);
    }
    default: {
      const Point b = stone_or_centre(in, game);
      return circles_crossing(a, b, d, in.u8() & 1);
    }
  }
}

Point read_lattice_point(ByteSource& in) {
  static const std::array<double, 6> steps = {2.0, 4.0, 3.0, 3.4641016151377544, 1.0, 2.5};
  const std::uint8_t shape = in.u8();
  const double step = steps[shape % steps.size()];
  const bool hexagonal = (shape / steps.size()) & 1;
  const double i = in.pick(32), j = in.pick(32);
  const double row = hexagonal ? step * 0.8660254037844386 : step;
  const double shift = hexagonal && (static_cast<int>(j) & 1) ? step / 2 : 0.0;
  return {1.0 + i * step + shift, 1.0 + j * row};
}

Point read_any_point(ByteSource& in, const Game& game) {
  switch (in.pick(4)) {
    case 0: return read_special_point(in, game.board_size());
    case 1: return read_ordinary_point(in, game.board_size());
    case 2: return read_point_near_stone(in, game);
    default: return read_lattice_point(in);
  }
}

StoneId read_stone_id(ByteSource& in, const Game& game) {
  const std::uint8_t b = in.u8();
  if (b < 0xE0 && !game.stones().empty()) return nth_stone(game, b)->id;
  if (b < 0xF0 && !game.captured().empty()) {
    auto it = game.captured().begin();
    std::advance(it, b % game.captured().size());
    return it->first;
  }
  if (b < 0xF8) return game.turn();
  return in.u32();
}

}  // namespace quelmar::fuzz
