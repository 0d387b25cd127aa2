#pragma once
// Stone ids, colours and stones: the plain values the game is made of.

#include <cstdint>

#include "geometry/point.hpp"

namespace quelmar {

using StoneId = std::uint32_t;

enum class Color : std::uint8_t { Black = 0, White = 1 };

inline Color opposite(Color c) { return c == Color::Black ? Color::White : Color::Black; }

// Black moves on even turns, White on odd ones.
inline Color color_of_turn(std::uint32_t turn) { return (turn & 1U) ? Color::White : Color::Black; }

// "Black" or "White", as messages name the players.
inline const char* color_name(Color c) { return c == Color::Black ? "Black" : "White"; }

struct Stone {
  StoneId id = 0;
  Color color = Color::Black;
  Point position;

  friend bool operator==(const Stone& a, const Stone& b) {
    return a.id == b.id && a.color == b.color && a.position == b.position;
  }
};

}  // namespace quelmar
