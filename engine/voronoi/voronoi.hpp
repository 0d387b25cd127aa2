#pragma once
// The territory partition of a position: every stone's Voronoi cell among
// all stones, merged into same-colour groups with rings clipped to the board.

#include <span>
#include <vector>

#include "game/stone.hpp"
#include "voronoi/voronoi_group.hpp"

namespace quelmar {

struct Voronoi {
  std::vector<VoronoiGroup> black;  // by lowest stone id
  std::vector<VoronoiGroup> white;  // by lowest stone id

  // The partition of `stones` (ascending by id) on the board [0, s] x [0, s].
  // A board size whose (16 s)^2 is not a normal number, or stones that cannot
  // be triangulated, give one ringless group per stone. Never fails.
  static Voronoi build(std::span<const Stone> stones, double board_size);

  // Makes this thread's build buffers (empty) now, so that a later build
  // never has to make them where memory may have run out. Never allocates
  // on the heap; cheap after the first call.
  static void prepare_thread();
};

}  // namespace quelmar
