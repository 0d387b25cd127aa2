#pragma once
// Why a move was refused.

#include <string>

#include "game/delta_error.hpp"

namespace quelmar {

struct MoveError {
  enum class Kind : std::uint8_t { NotPlaceable, SelfCapture, GameOver, Delta };
  Kind kind;
  Point position;              // NotPlaceable, SelfCapture
  Color color = Color::Black;  // SelfCapture: the mover
  DeltaError delta{DeltaError::Kind::GameOver};  // Delta

  static MoveError not_placeable(Point p) { return {Kind::NotPlaceable, p}; }
  static MoveError self_capture(Color c, Point p) { return {Kind::SelfCapture, p, c}; }
  static MoveError game_over() { return {Kind::GameOver, {}}; }
  static MoveError from_delta(const DeltaError& e) { return {Kind::Delta, {}, Color::Black, e}; }

  std::string message() const;
};

}  // namespace quelmar
