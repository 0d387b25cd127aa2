#include "game/delta_error.hpp"

#include "geometry/number_text.hpp"

namespace quelmar {

std::string DeltaError::message() const {
  const std::string id = std::to_string(stone);
  switch (kind) {
    case Kind::StoneExists:
      return "stone " + id + " is already on the board";
    case Kind::NoSuchStone:
      return "stone " + id + " is not on the board and cannot be captured";
    case Kind::CapturedTwice:
      return "stone " + id + " is captured twice by the same delta";
    case Kind::PassCaptures:
      return "a delta that places no stone cannot capture one";
    case Kind::OffBoard:
      return "stone " + id + "'s centre " + plain_position_text(position) + " is not on the board";
    case Kind::DeadZone:
      return DeadZoneError{dead_zone, stone}.message();
    case Kind::Crowded:
      return "stone " + id + "'s dead zone would overlap more than " + std::to_string(MAX_OVERLAPPING_DEAD_ZONES) +
             " others";
    case Kind::GameOver:
      break;
  }
  return "the game ended on two passes and takes no further turns";
}

}  // namespace quelmar
