#pragma once
// The value classes: the enumerations Color, BoardEdge, CutKind and
// GameStatus, Stone, GameDelta and the read-only Group. Their type objects are built once per
// process and kept; values cross the boundary as fresh copies both ways.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>
#include <string>

#include "connectivity/cut_types.hpp"
#include "game/delta.hpp"
#include "game/game_status.hpp"
#include "game/stone.hpp"
#include "ref.hpp"
#include "voronoi/voronoi_group.hpp"

namespace quelmar::py {

// Each builds its class on first use and answers it (borrowed; it lives for
// the process), or null with a Python error set.
PyObject* color_type();
PyObject* board_edge_type();
PyObject* cut_kind_type();
PyObject* game_status_type();
PyObject* stone_type();
PyObject* game_delta_type();
PyObject* group_type();

// Fresh Python objects holding engine values; empty with an error set when
// allocation fails. Precondition: the class has been built.
Ref new_color(Color c);
Ref new_board_edge(BoardEdge e);
Ref new_cut_kind(CutKind k);
Ref new_game_status(GameStatus s);
Ref new_stone(const Stone& stone);
Ref new_game_delta(const GameDelta& delta);
Ref new_group(const VoronoiGroup& group);
// A new tuple (x, y) of two floats.
Ref new_point_tuple(Point p);

// The engine value held by an instance of the class, or nothing when `obj`
// is not one. Never sets an error.
std::optional<Color> color_value(PyObject* obj);
std::optional<BoardEdge> board_edge_value(PyObject* obj);
const Stone* stone_value(PyObject* obj);
const GameDelta* game_delta_value(PyObject* obj);

// "Stone(id=6, color=Color.BLACK, position=(4.0, 4.5))".
std::string stone_repr_text(const Stone& stone);

}  // namespace quelmar::py
