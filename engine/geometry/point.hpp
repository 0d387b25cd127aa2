#pragma once
// Points on the continuous board, their exact keys, and the geometric
// constants every subsystem measures with.

#include <bit>
#include <compare>
#include <cstdint>

namespace quelmar {

// Radius of a stone disc; also the inset of the playable area from each edge.
inline constexpr double STONE_RADIUS = 1.0;
// Radius of the dead zone round every stone centre.
inline constexpr double STONE_DIAMETER = 2.0;
// The one tolerance of the playable-area code.
inline constexpr double EPSILON = 1e-07;

inline constexpr double TWO_PI = 6.283185307179586;
inline constexpr double PI = 3.141592653589793;

struct Point {
  double x = 0.0;
  double y = 0.0;
};

// Bit pattern of a coordinate with negative zero folded onto positive zero.
inline std::uint64_t coordinate_bits(double v) {
  std::uint64_t bits = std::bit_cast<std::uint64_t>(v);
  return bits == 0x8000000000000000ULL ? 0 : bits;
}

// The exact key of a point: bit patterns, no rounding. Orders by x bits,
// then y bits, as unsigned integers (a fixed total order, not numeric).
struct PointKey {
  std::uint64_t x = 0;
  std::uint64_t y = 0;

  static PointKey from(Point p) { return {coordinate_bits(p.x), coordinate_bits(p.y)}; }
  friend auto operator<=>(const PointKey&, const PointKey&) = default;
};

// Points compare by their keys: a NaN equals the same NaN bits, -0.0 equals 0.0.
inline bool operator==(Point a, Point b) { return PointKey::from(a) == PointKey::from(b); }

inline Point operator+(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
inline Point operator-(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
inline Point operator*(Point a, double k) { return {a.x * k, a.y * k}; }
inline double dot(Point a, Point b) { return a.x * b.x + a.y * b.y; }
inline double cross(Point a, Point b) { return a.x * b.y - a.y * b.x; }

}  // namespace quelmar

#include <cmath>

namespace quelmar {

// Euclidean length, computed as the square root of the sum of squares
// (never hypot: results must match that arithmetic bit for bit).
inline double norm(Point v) { return std::sqrt(v.x * v.x + v.y * v.y); }
inline double distance(Point a, Point b) { return norm(a - b); }

}  // namespace quelmar
