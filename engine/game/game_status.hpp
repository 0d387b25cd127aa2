#pragma once

#include <cstdint>

namespace quelmar {

// How far along a game is; derived from the committed history.
enum class GameStatus : std::uint8_t { Playing = 0, NextPassEnds = 1, Ended = 2 };

// "Playing", "NextPassEnds" or "Ended", as diagnostics name them.
const char* status_name(GameStatus s);

}  // namespace quelmar
