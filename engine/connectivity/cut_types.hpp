#pragma once
// Verdicts, board edges and errors of the cut questions.

#include <cstdint>
#include <string>

#include "game/stone.hpp"

namespace quelmar {

// TOO_FAR is no verdict: the question is beyond what the search can judge.
enum class CutKind : std::uint8_t { CONNECTED = 0, CUTTABLE = 1, TOO_FAR = 2 };

// LEFT is x = 0, RIGHT x = board size, TOP y = 0, BOTTOM y = board size.
enum class BoardEdge : std::uint8_t { LEFT = 0, RIGHT = 1, TOP = 2, BOTTOM = 3 };

// A cut question that is not about a connection.
struct CutError {
  enum class Kind : std::uint8_t { NoSuchStone, SameStone, ColorsDiffer };
  Kind kind;
  StoneId a = 0;
  StoneId b = 0;  // ColorsDiffer only

  std::string message() const {
    switch (kind) {
      case Kind::NoSuchStone:
        return "no stone " + std::to_string(a) + " is on the board";
      case Kind::SameStone:
        return "stone " + std::to_string(a) + " cannot be cut from itself";
      case Kind::ColorsDiffer:
        break;
    }
    return "stones " + std::to_string(a) + " and " + std::to_string(b) + " are not the same colour";
  }
};

}  // namespace quelmar

namespace quelmar {

// Pair questions with the centres further apart than 2√3 are declined.
inline constexpr double MAX_PAIR_CUT_DISTANCE = 3.4641016151377544;
// Edge questions with the centre further than 1 + √3 from the edge are declined.
inline constexpr double MAX_BOUNDARY_CUT_DISTANCE = 2.732050807568877;

}  // namespace quelmar
