#pragma once
// Why a delta was refused.

#include <string>

#include "alive_zone/dead_zone_error.hpp"
#include "alive_zone/overlap_limit.hpp"
#include "game/stone.hpp"

namespace quelmar {

struct DeltaError {
  enum class Kind : std::uint8_t {
    StoneExists,
    NoSuchStone,
    CapturedTwice,
    PassCaptures,
    OffBoard,
    DeadZone,
    GameOver,
    // The stone's dead zone would overlap more dead zones than any board
    // can hold; only a crafted log heaps stones this densely.
    Crowded,
  };
  Kind kind;
  StoneId stone = 0;     // all kinds but PassCaptures and GameOver
  Point position;        // OffBoard
  DeadZoneError::Kind dead_zone = DeadZoneError::Kind::AlreadyCarved;  // DeadZone

  static DeltaError stone_exists(StoneId id) { return {Kind::StoneExists, id, {}}; }
  static DeltaError no_such_stone(StoneId id) { return {Kind::NoSuchStone, id, {}}; }
  static DeltaError captured_twice(StoneId id) { return {Kind::CapturedTwice, id, {}}; }
  static DeltaError pass_captures() { return {Kind::PassCaptures, 0, {}}; }
  static DeltaError off_board(StoneId id, Point p) { return {Kind::OffBoard, id, p}; }
  static DeltaError dead_zone_failed(const DeadZoneError& e) {
    return {Kind::DeadZone, e.stone, {}, e.kind};
  }
  static DeltaError game_over() { return {Kind::GameOver, 0, {}}; }
  static DeltaError crowded(StoneId id) { return {Kind::Crowded, id, {}}; }

  std::string message() const;
};

}  // namespace quelmar
