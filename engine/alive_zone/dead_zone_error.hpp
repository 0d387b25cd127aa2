#pragma once
// Why a stone's dead zone could not be carved or reclaimed.

#include <string>

#include "game/stone.hpp"

namespace quelmar {

struct DeadZoneError {
  enum class Kind : std::uint8_t { AlreadyCarved, NotCarved };
  Kind kind;
  StoneId stone;

  std::string message() const {
    if (kind == Kind::AlreadyCarved)
      return "stone " + std::to_string(stone) + "'s dead zone has already been carved out of the alive zone";
    return "stone " + std::to_string(stone) + " has no dead zone carved out of the alive zone";
  }
};

}  // namespace quelmar
