#pragma once
// How many dead zones may lie over one another.

#include <cstddef>

namespace quelmar {

// The most dead zones a new one may overlap. Stones in play lie at least
// STONE_DIAMETER apart, so at most about fifteen centres fit within the
// reach of a new dead zone; only a crafted log heaps them deeper, and there
// every further stone would cross every one below it, splitting outlines
// into quadratically many pieces.
inline constexpr std::size_t MAX_OVERLAPPING_DEAD_ZONES = 32;

}  // namespace quelmar
