// The Game class: construction, replay, copies, the counters as
// properties, len, repr and the member table.

#include "game.hpp"

#include <string>

#include "game_docs.hpp"
#include "game_object.hpp"
#include "geometry/number_text.hpp"
#include "type_support.hpp"
#include "types.hpp"

namespace quelmar::py {

namespace {

PyObject* game_class = nullptr;

constexpr std::array<const char*, 1> NEW_PARAMS = {"board_size"};
constexpr std::array<const char*, 2> REPLAY_PARAMS = {"board_size", "deltas"};
constexpr std::array<const char*, 1> DEEPCOPY_PARAMS = {"_memo"};
constexpr Signature NEW_SIGNATURE = {"Game.__new__()", NEW_PARAMS, 1};
constexpr Signature REPLAY_SIGNATURE = {"Game.replay()", REPLAY_PARAMS, 2};
constexpr Signature DEEPCOPY_SIGNATURE = {"Game.__deepcopy__()", DEEPCOPY_PARAMS, 0};

PyObject* game_from_bound(PyObject* type, std::span<Ref> bound) {
  const std::optional<double> size = float_argument(bound[0].get(), "board_size");
  if (!size) return nullptr;
  return new_game_object(type, Game(*size)).release();
}

PyObject* game_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    std::array<Ref, 1> bound;
    if (!bind_tuple_dict(NEW_SIGNATURE, args, kwargs, bound)) return nullptr;
    return game_from_bound(reinterpret_cast<PyObject*>(type), bound);
  });
}

PyObject* game_vectorcall(PyObject* type, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    std::array<Ref, 1> bound;
    if (!bind_fastcall(NEW_SIGNATURE, args, PyVectorcall_NARGS(nargsf), kwnames, bound)) return nullptr;
    return game_from_bound(type, bound);
  });
}

// Every argument, each delta included, is converted before a game exists.
PyObject* game_replay(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    std::array<Ref, 2> bound;
    if (!bind_fastcall(REPLAY_SIGNATURE, args, nargs, kwnames, bound)) return nullptr;
    const std::optional<double> size = float_argument(bound[0].get(), "board_size");
    if (!size) return nullptr;
    std::vector<GameDelta> deltas;
    const bool converted = for_each_in_sequence(bound[1].get(), "deltas", [&deltas](PyObject* item) {
      const GameDelta* delta = game_delta_value(item);
      if (!delta) raise_cast_error(item, "GameDelta");
      else deltas.push_back(*delta);
      return delta != nullptr;
    });
    if (!converted) return nullptr;
    // Game::replay's loop, with Ctrl-C heard between deltas: the game being
    // built is dropped however the replay ends early.
    Game game(*size);
    for (std::size_t i = 0; i < deltas.size(); ++i) {
      if (signal_raised(i, 16)) return nullptr;
      if (Status<DeltaError> applied = game.apply_delta(std::move(deltas[i]), false); !applied) {
        raise_delta_error(applied.error());
        return nullptr;
      }
    }
    return new_game_object(game_class, std::move(game)).release();
  });
}

void game_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  std::destroy_at(&game_object(self)->game);
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* game_copy(PyObject* self, PyObject*) {
  return run_member(self, Mode::Shared, [&](const Game& game) {
    return new_game_object(reinterpret_cast<PyObject*>(Py_TYPE(self)), game).release();
  });
}

PyObject* game_deepcopy(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  // The memo is accepted and ignored: a game holds no Python objects.
  return run_member<1>(self, DEEPCOPY_SIGNATURE, args, nargs, kwnames, Mode::Shared,
                       [&](const Game& game, std::span<Ref>) {
                         return new_game_object(reinterpret_cast<PyObject*>(Py_TYPE(self)), game).release();
                       });
}

// A game travels as its log: (Game.replay, (board_size, deltas)). The
// replay builds the same position; only the revision and the cut cache,
// which no query can tell apart, start afresh.
PyObject* game_reduce(PyObject* self, PyObject*) {
  return run_member(self, Mode::Shared, [&](const Game& game) -> PyObject* {
    Ref replay = Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(self)), "replay"));
    if (!replay) return nullptr;
    Ref size = Ref::steal(PyFloat_FromDouble(game.board_size()));
    if (!size) return nullptr;
    Ref deltas = new_list(game.log(), [](const GameDelta& d) { return new_game_delta(d); });
    if (!deltas) return nullptr;
    return Py_BuildValue("O(OO)", replay.get(), size.get(), deltas.get());
  });
}

PyObject* game_repr(PyObject* self) {
  return run_member(self, Mode::Shared, [](const Game& game) {
    const std::string text = "Game(board_size=" + repr_number_text(game.board_size()) +
                             ", turn=" + std::to_string(game.turn()) +
                             ", stones=" + std::to_string(game.stones().size()) + ")";
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

Py_ssize_t game_length(PyObject* self) {
  return guarded<Py_ssize_t>(-1, [&]() -> Py_ssize_t {
    Access access(game_object(self), Mode::Shared);
    if (!access) return -1;
    return static_cast<Py_ssize_t>(game_object(self)->game.stones().size());
  });
}

// ---------------------------------------------------------------- properties

template <class Read>
PyObject* property(PyObject* self, Read&& read) {
  return run_member(self, Mode::Shared, [&](const Game& game) { return read(game).release(); });
}

Ref new_int(std::uint64_t v) { return Ref::steal(PyLong_FromUnsignedLongLong(v)); }

PyObject* get_board_size(PyObject* self, void*) {
  return property(self, [](const Game& g) { return Ref::steal(PyFloat_FromDouble(g.board_size())); });
}
PyObject* get_turn(PyObject* self, void*) {
  return property(self, [](const Game& g) { return new_int(g.turn()); });
}
PyObject* get_pending_color(PyObject* self, void*) {
  return property(self, [](const Game& g) { return new_color(color_of_turn(g.turn())); });
}
PyObject* get_next_stone_id(PyObject* self, void*) {
  return property(self, [](const Game& g) { return new_int(g.turn()); });
}
PyObject* get_captures(PyObject* self, void*) {
  return property(self, [](const Game& g) {
    Ref black = new_int(g.captures()[0]);
    Ref white = new_int(g.captures()[1]);
    if (!black || !white) return Ref();
    return Ref::steal(PyTuple_Pack(2, black.get(), white.get()));
  });
}
PyObject* get_status(PyObject* self, void*) {
  return property(self, [](const Game& g) { return new_game_status(g.status()); });
}
PyObject* get_revision(PyObject* self, void*) {
  return property(self, [](const Game& g) { return new_int(g.revision()); });
}
PyObject* get_stone_count(PyObject* self, void*) {
  return property(self, [](const Game& g) { return new_int(g.stones().size()); });
}

PyGetSetDef GAME_GETSET[] = {
    {"board_size", get_board_size, nullptr, game_doc::BOARD_SIZE, nullptr},
    {"turn", get_turn, nullptr, game_doc::TURN, nullptr},
    {"pending_color", get_pending_color, nullptr, game_doc::PENDING_COLOR, nullptr},
    {"next_stone_id", get_next_stone_id, nullptr, game_doc::NEXT_STONE_ID, nullptr},
    {"captures", get_captures, nullptr, game_doc::CAPTURES, nullptr},
    {"status", get_status, nullptr, game_doc::STATUS, nullptr},
    {"revision", get_revision, nullptr, game_doc::REVISION, nullptr},
    {"stone_count", get_stone_count, nullptr, game_doc::STONE_COUNT, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// ---------------------------------------------------------------- members

constexpr int FAST = METH_FASTCALL | METH_KEYWORDS;

template <class F>
PyCFunction as_cfunction(F* f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

PyMethodDef GAME_METHODS[] = {
    {"replay", as_cfunction(game_replay), FAST | METH_STATIC, game_doc::REPLAY},
    {"stones", game_stones, METH_NOARGS, game_doc::STONES},
    {"stone", as_cfunction(game_stone), FAST, game_doc::STONE},
    {"last_placed_stone", game_last_placed_stone, METH_NOARGS, game_doc::LAST_PLACED_STONE},
    {"deltas", game_deltas, METH_NOARGS, game_doc::DELTAS},
    {"nearest_living_move", as_cfunction(game_nearest_living_move), FAST, game_doc::NEAREST_LIVING_MOVE},
    {"dead_stones", as_cfunction(game_dead_stones), FAST, game_doc::DEAD_STONES},
    {"try_move", as_cfunction(game_try_move), FAST, game_doc::TRY_MOVE},
    {"pass_turn", game_pass_turn, METH_NOARGS, game_doc::PASS_TURN},
    {"undo_move", game_undo_move, METH_NOARGS, game_doc::UNDO_MOVE},
    {"__copy__", game_copy, METH_NOARGS, game_doc::COPY},
    {"__deepcopy__", as_cfunction(game_deepcopy), FAST, game_doc::DEEPCOPY},
    {"groups", game_groups, METH_NOARGS, game_doc::GROUPS},
    {"territory", game_territory, METH_NOARGS, game_doc::TERRITORY},
    {"validate", game_validate, METH_NOARGS, game_doc::VALIDATE},
    {"pair_cuttable", as_cfunction(game_pair_cuttable), FAST, game_doc::PAIR_CUTTABLE},
    {"boundary_cuttable", as_cfunction(game_boundary_cuttable), FAST, game_doc::BOUNDARY_CUTTABLE},
    {"dump_svg", game_dump_svg, METH_NOARGS, game_doc::DUMP_SVG},
    {"_repr_svg_", game_dump_svg, METH_NOARGS, game_doc::REPR_SVG},
    {"__reduce__", game_reduce, METH_NOARGS, game_doc::REDUCE},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot GAME_SLOTS[] = {
    {Py_tp_doc, const_cast<char*>(game_doc::CLASS)},
    {Py_tp_new, reinterpret_cast<void*>(game_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(game_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(game_repr)},
    {Py_sq_length, reinterpret_cast<void*>(game_length)},
    {Py_tp_getset, GAME_GETSET},
    {Py_tp_methods, GAME_METHODS},
    {0, nullptr},
};

PyType_Spec GAME_SPEC = {"quelmar.Game", sizeof(GameObject), 0, 0, GAME_SLOTS};

}  // namespace

Ref new_game_object(PyObject* type, Game game) {
  auto* obj = allocate_instance<GameObject>(type);
  if (!obj) return Ref();
  std::construct_at(&obj->game, std::move(game));
  obj->access = 0;
  return Ref::steal(reinterpret_cast<PyObject*>(obj));
}

PyObject* game_type() {
  if (game_class) return game_class;
  game_class = build_type(GAME_SPEC, true);
  if (game_class) reinterpret_cast<PyTypeObject*>(game_class)->tp_vectorcall = game_vectorcall;
  return game_class;
}

}  // namespace quelmar::py
