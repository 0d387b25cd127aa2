#pragma once
// Writes inputs for the harness operation by operation, so seed cases read
// as the games they play rather than as bytes.

#include <bit>
#include <cstdint>
#include <vector>

#include "geometry/point.hpp"
#include "ops.hpp"

namespace quelmar::fuzz {

// Board-size choices of read_board_size, by index.
enum class Board : std::uint8_t {
  Size18 = 0, Size19 = 1, Size9 = 2, Size13 = 3, Size7 = 4, Size5 = 5, Size4 = 6, Size3 = 7,
  Size2 = 8, Size6_5 = 9, Size18_5 = 10, Size25 = 11, Size37 = 12, Size11_3 = 13, Size1 = 14,
  SizeHalf = 15, Size0 = 16, Negative = 17, NotANumber = 18, Infinite = 19, Million = 20,
  Tiny = 21, Size100 = 22, JustBelow3 = 23, JustAbove4 = 24, Size21 = 25,
};

class OpWriter {
 public:
  explicit OpWriter(Board board) { bytes_.push_back(static_cast<std::uint8_t>(board)); }

  OpWriter& op(Op o) { return u8(byte_of_op(o)); }
  OpWriter& u8(std::uint8_t b) {
    bytes_.push_back(b);
    return *this;
  }
  OpWriter& raw(double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i) u8(static_cast<std::uint8_t>(bits >> (8 * i)));
    return *this;
  }
  // Both coordinates exactly, as special coordinates of the raw kind.
  OpWriter& exact(Point p) { return u8(23).raw(p.x).u8(23).raw(p.y); }

  OpWriter& move(Point p) { return op(Op::MoveSpecial).exact(p); }
  // Special coordinate kinds of read_special_coordinate, each without
  // further bytes (kinds 8 to 11, 22 and 23 read more).
  OpWriter& move_special(std::uint8_t kx, std::uint8_t ky) { return op(Op::MoveSpecial).u8(kx).u8(ky); }
  // `d` and `dir` index the distance and direction tables of
  // read_point_near_stone; `stone` the stones in play.
  OpWriter& move_near(std::uint8_t stone, std::uint8_t d, std::uint8_t dir) {
    return op(Op::MoveNearStone).u8(stone).u8(d).u8(dir);
  }
  OpWriter& move_lattice(std::uint8_t shape, std::uint8_t i, std::uint8_t j) {
    return op(Op::MoveLattice).u8(shape).u8(i).u8(j);
  }
  OpWriter& snapped(Point p) { return op(Op::MoveSnapped).u8(0).exact(p); }
  OpWriter& nearest(Point p) { return op(Op::Nearest).u8(0).exact(p); }
  OpWriter& pass() { return op(Op::Pass); }
  OpWriter& undo() { return op(Op::Undo); }
  OpWriter& undo_several(std::uint8_t n) { return op(Op::UndoSeveral).u8(static_cast<std::uint8_t>(n - 1)); }
  // Stones by their index among the stones in play.
  OpWriter& pair_cut(std::uint8_t a, std::uint8_t b) { return op(Op::PairCut).u8(a).u8(b); }
  OpWriter& boundary_cut(std::uint8_t stone, std::uint8_t edge) { return op(Op::BoundaryCut).u8(stone).u8(edge); }

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace quelmar::fuzz
