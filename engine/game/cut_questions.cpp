// The game's side of the cut questions: checking the stones named, the
// distance limits, and handing the search its stones and zone.

#include "connectivity/cut_question.hpp"
#include "game/game.hpp"

namespace quelmar {

Result<CutKind, CutError> Game::pair_cuttable(StoneId a, StoneId b) {
  auto first = stones_.find(a);
  if (first == stones_.end()) return Err{CutError{CutError::Kind::NoSuchStone, a}};
  auto second = stones_.find(b);
  if (second == stones_.end()) return Err{CutError{CutError::Kind::NoSuchStone, b}};
  const std::vector<Stone>& list = stone_list();
  if (a == b) return Err{CutError{CutError::Kind::SameStone, a}};
  if (first->second.color != second->second.color) return Err{CutError{CutError::Kind::ColorsDiffer, a, b}};
  if (distance(first->second.position, second->second.position) > MAX_PAIR_CUT_DISTANCE)
    return CutKind::TOO_FAR;
  return cut_kind(connectivity_, alive_zone_, list, CutQuestion::pair(first->second, second->second));
}

namespace {

// Foot of the perpendicular from p to the edge of a board of side s.
Point foot_on_edge(Point p, BoardEdge edge, double s) {
  switch (edge) {
    case BoardEdge::LEFT:
      return {0, p.y};
    case BoardEdge::RIGHT:
      return {s, p.y};
    case BoardEdge::TOP:
      return {p.x, 0};
    case BoardEdge::BOTTOM:
      break;
  }
  return {p.x, s};
}

}  // namespace

Result<CutKind, CutError> Game::boundary_cuttable(StoneId stone, BoardEdge edge) {
  auto found = stones_.find(stone);
  if (found == stones_.end()) return Err{CutError{CutError::Kind::NoSuchStone, stone}};
  const std::vector<Stone>& list = stone_list();
  const Point foot = foot_on_edge(found->second.position, edge, board_size_);
  if (distance(found->second.position, foot) > MAX_BOUNDARY_CUT_DISTANCE) return CutKind::TOO_FAR;
  return cut_kind(connectivity_, alive_zone_, list, CutQuestion::boundary(found->second, edge, foot));
}

}  // namespace quelmar
