#pragma once
// Turns bytes into the board sizes and positions the harness plays: the
// coordinates where rounding decides (NaN, infinities, signed zeros, board
// edges, inset lines, lattice points and one ulp off them), points exactly
// 2 and 4 from stones in play, lattice cells and ordinary positions.

#include <optional>

#include "byte_source.hpp"
#include "game/game.hpp"

namespace quelmar::fuzz {

// One of a fixed table of sizes: the usual boards, odd and fractional ones,
// sizes too small for an inset square, and non-finite or absurd ones.
double read_board_size(ByteSource& in);

// A coordinate of one of the special kinds, relative to the game's size.
double read_special_coordinate(ByteSource& in, double board_size);
// Both coordinates special.
Point read_special_point(ByteSource& in, double board_size);
// A uniformly spread position, slightly overhanging the board.
Point read_ordinary_point(ByteSource& in, double board_size);
// A point at a chosen distance (2.0, 4.0, one ulp either side, ...) from a
// stone in play, along an axis, a diagonal, an angle, towards a second
// stone, or where two such circles cross. The board centre stands in for
// a stone on an empty board.
Point read_point_near_stone(ByteSource& in, const Game& game);
// A cell of a square or hexagonal lattice anchored at the inset corner.
Point read_lattice_point(ByteSource& in);
// Any of the four kinds above, chosen by the next byte.
Point read_any_point(ByteSource& in, const Game& game);

// Mostly the id of a stone in play; sometimes a captured stone's, the next
// turn's, or a raw 32-bit id.
StoneId read_stone_id(ByteSource& in, const Game& game);

}  // namespace quelmar::fuzz
