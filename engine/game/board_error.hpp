#pragma once
// An invariant of the game found not to hold. Nests the alive zone's error,
// which nests the clipping structure's.

#include <cstdint>
#include <optional>
#include <string>

#include "alive_zone/zone_validation.hpp"
#include "game/game_status.hpp"
#include "game/stone.hpp"

namespace quelmar {

struct BoardError {
  enum class Kind : std::uint8_t {
    Zone,
    MisfiledStone,
    NoDeadZone,
    CapturedWithDeadZone,
    InPlayAndCaptured,
    TurnMismatch,
    StatusMismatch,
    CaptureCountMismatch,
  };
  Kind kind;
  std::optional<ZoneError> zone;  // Zone
  StoneId stone = 0;              // the stone named first
  StoneId filed_under = 0;        // MisfiledStone
  std::uint64_t held = 0;         // TurnMismatch, CaptureCountMismatch: the game's counter
  std::uint64_t from_history = 0;  // ... and what the history implies
  GameStatus status = GameStatus::Playing;   // StatusMismatch
  GameStatus implied = GameStatus::Playing;  // StatusMismatch
  Color color = Color::Black;                // CaptureCountMismatch

  std::string message() const;
};

}  // namespace quelmar
