#pragma once
// The answer to whether a territory touches playable space, when the
// question may be asked of rings known only up to their last bits.

#include <cstdint>

namespace quelmar {

enum class Life : std::uint8_t {
  Dead,
  Alive,
  // The answer depends on bits the asker does not know.
  Unsure,
};

}  // namespace quelmar
