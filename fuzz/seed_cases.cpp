#include "seed_cases.hpp"

#include <cmath>

#include "op_writer.hpp"

namespace quelmar::fuzz {

namespace {

std::vector<Point> ring_round(Point c, double r) {
  std::vector<Point> out;
  for (int k = 0; k < 6; ++k) out.push_back({c.x + r * std::cos(k * PI / 3), c.y + r * std::sin(k * PI / 3)});
  return out;
}

// Black surrounds a white stone at the centre, White passing meanwhile.
OpWriter& surround(OpWriter& w, Point centre) {
  const std::vector<Point> ring = ring_round(centre, 3.0);
  w.move(ring[0]).move(centre);
  for (std::size_t k = 1; k < ring.size(); ++k) {
    w.move(ring[k]);
    if (k + 1 < ring.size()) w.pass();
  }
  return w;
}

// The questions worth asking of any position.
OpWriter& ask_everything(OpWriter& w) {
  w.pair_cut(0, 1).pair_cut(0, 2).boundary_cut(0, 0).boundary_cut(1, 3);
  w.nearest({9.0, 9.0}).nearest({0.0, 0.0}).op(Op::DumpSvg).op(Op::DeadStones);
  return w.op(Op::ReplayPrefix).u8(1).op(Op::BrokenReplay).u8(0).u8(2);
}

SeedCase lattice_play(const char* name, std::uint8_t shape) {
  OpWriter w(Board::Size18);
  for (std::uint8_t i = 0; i < 8; ++i)
    for (std::uint8_t j = 0; j < 8; ++j) w.move_lattice(shape, i, j);
  ask_everything(w).undo_several(8);
  return {name, w.bytes()};
}

SeedCase capture_in_the_open() {
  OpWriter w(Board::Size18);
  surround(w, {9.0, 9.0});
  w.nearest({9.0, 9.0}).op(Op::DumpSvg).undo();
  w.move(ring_round({9.0, 9.0}, 3.0).back()).pass().move({9.0, 9.0}).undo();
  w.op(Op::SwitchToReplay).op(Op::SwitchToCopy).op(Op::ReplayPrefix).u8(3);
  return {"capture_in_the_open", w.bytes()};
}

SeedCase capture_in_a_corner() {
  OpWriter w(Board::Size9);
  w.move({3.0, 1.0}).move({1.0, 1.0}).move({1.0, 3.0}).pass().move({3.0, 3.0});
  w.nearest({1.0, 1.0}).boundary_cut(0, 0).boundary_cut(0, 2).undo_several(3);
  return {"capture_in_a_corner", w.bytes()};
}

SeedCase self_capture_refused() {
  OpWriter w(Board::Size18);
  for (Point p : ring_round({9.0, 9.0}, 3.0)) w.move(p).pass();
  w.undo().move({9.0, 9.0}).op(Op::DeadStones).pair_cut(0, 1);
  return {"self_capture_refused", w.bytes()};
}

SeedCase tangent_circles() {
  OpWriter w(Board::Size18);
  w.move({9.0, 9.0});
  // Exactly 4.0, an ulp under and an ulp over, along each axis.
  const std::uint8_t distances[] = {1, 4, 5, 9, 10};
  for (std::uint8_t d : distances)
    for (std::uint8_t dir = 0; dir < 4; ++dir) w.move_near(0, d, dir);
  w.move_near(1, 1, 10).move_near(2, 0, 11).pair_cut(0, 1).pair_cut(1, 2);
  return {"tangent_circles", w.bytes()};
}

SeedCase touching_dead_zones() {
  OpWriter w(Board::Size13);
  w.move({6.5, 6.5});
  // 2.0 from a stone is placeable; an ulp and 1e-8 inside still are.
  for (std::uint8_t d : {0, 2, 3, 6, 7})
    for (std::uint8_t dir : {0, 5, 8}) w.move_near(0, d, dir);
  w.nearest({6.5, 7.0}).undo_several(4);
  return {"touching_dead_zones", w.bytes()};
}

SeedCase corner_crossings() {
  OpWriter w(Board::Size7);
  w.move({2.0, 2.0}).move({5.0, 2.0}).move({2.0, 5.0}).move({5.0, 5.0});
  w.move({3.5, 3.5}).snapped({0.0, 0.0}).snapped({7.0, 7.0}).boundary_cut(0, 0).boundary_cut(3, 1);
  return {"corner_crossings", w.bytes()};
}

SeedCase special_coordinates() {
  OpWriter w(Board::Size18);
  const std::uint8_t kinds[] = {0, 1, 2, 3, 4, 5, 6, 7, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21};
  for (std::uint8_t kx : kinds)
    for (std::uint8_t ky : {4, 6, 7, 13, 15, 19}) w.move_special(kx, ky);
  return {"special_coordinates", w.bytes()};
}

SeedCase odd_board(const char* name, Board board) {
  OpWriter w(board);
  for (Point p : {Point{0.0, 0.0}, Point{1.0, 1.0}, Point{2.5, 1.5}, Point{100.0, -3.0}, Point{0.5, 0.5}})
    w.snapped(p).nearest(p);
  w.move({1.0, 1.0}).pass().op(Op::DumpSvg).pair_cut(0, 1).boundary_cut(0, 2).undo().pass().pass().undo();
  return {name, w.bytes()};
}

SeedCase reused_captured_id() {
  OpWriter w(Board::Size18);
  surround(w, {9.0, 9.0});
  // White stone 1 again, as a replayed log may hold it.
  w.op(Op::RawDelta).u8(5).u8(0xE0).u8(0).exact({2.0, 15.0});
  w.op(Op::SwitchToReplay).move({15.0, 15.0}).undo_several(3);
  return {"reused_captured_id", w.bytes()};
}

SeedCase ended_game() {
  OpWriter w(Board::Size19);
  w.move({4.0, 4.0}).pass().pass().move({10.0, 10.0}).pass().undo().pass().op(Op::BrokenReplay).u8(1).u8(1);
  return {"ended_game", w.bytes()};
}

}  // namespace

std::vector<SeedCase> seed_cases() {
  return {
      lattice_play("square_lattice_play", 0),
      lattice_play("hexagonal_lattice_play", 6),
      lattice_play("close_square_lattice", 4),
      capture_in_the_open(),
      capture_in_a_corner(),
      self_capture_refused(),
      tangent_circles(),
      touching_dead_zones(),
      corner_crossings(),
      special_coordinates(),
      odd_board("board_size_2", Board::Size2),
      odd_board("board_size_3", Board::Size3),
      odd_board("board_size_half", Board::SizeHalf),
      odd_board("board_size_zero", Board::Size0),
      odd_board("board_size_negative", Board::Negative),
      odd_board("board_size_nan", Board::NotANumber),
      odd_board("board_size_infinite", Board::Infinite),
      odd_board("board_size_million", Board::Million),
      odd_board("board_size_6_5", Board::Size6_5),
      reused_captured_id(),
      ended_game(),
  };
}

}  // namespace quelmar::fuzz
