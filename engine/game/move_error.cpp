#include "game/move_error.hpp"

#include "geometry/number_text.hpp"

namespace quelmar {

std::string MoveError::message() const {
  switch (kind) {
    case Kind::NotPlaceable:
      return "no stone may be placed at " + plain_position_text(position);
    case Kind::SelfCapture: {
      std::string name = color_name(color);
      return "a " + name + " stone at " + plain_position_text(position) + " would capture only " +
             name + "'s own stones";
    }
    case Kind::GameOver:
      return DeltaError::game_over().message();
    case Kind::Delta:
      break;
  }
  return delta.message();
}

}  // namespace quelmar
