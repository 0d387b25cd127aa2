#pragma once
// The Python Game object and its access rule, shared by the files that
// define the class's members.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <span>

#include "args.hpp"
#include "errors.hpp"
#include "game/game.hpp"
#include "ref.hpp"

namespace quelmar::py {

struct GameObject {
  PyObject_HEAD
  Game game;
  // 0: free; n > 0: n shared holders; -1: held exclusively.
  int access;
};

inline GameObject* game_object(PyObject* self) { return reinterpret_cast<GameObject*>(self); }

// Holds shared or exclusive access to one game for a scope. A refused
// request leaves the RuntimeError set and the guard false; only re-entry
// from Python code run by an argument's conversion can be refused.
class Access {
 public:
  enum class Mode { Shared, Exclusive };

  Access(GameObject* game, Mode mode) {
    if (mode == Mode::Exclusive) {
      if (game->access != 0) {
        PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
        return;
      }
      game->access = -1;
    } else {
      if (game->access < 0) {
        PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
        return;
      }
      ++game->access;
    }
    game_ = game;
  }
  ~Access() {
    if (!game_) return;
    if (game_->access < 0) game_->access = 0;
    else --game_->access;
  }
  Access(const Access&) = delete;
  Access& operator=(const Access&) = delete;

  explicit operator bool() const { return game_ != nullptr; }

 private:
  GameObject* game_ = nullptr;
};

using Mode = Access::Mode;

// Runs a member without arguments: takes access, then `body(game)`.
template <class Body>
PyObject* run_member(PyObject* self, Mode mode, Body&& body) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    Access access(game_object(self), mode);
    if (!access) return nullptr;
    return body(game_object(self)->game);
  });
}

// Runs a member with arguments: binds them to `sig`, takes access, then
// `body(game, bound)`, which converts them in order before it touches the
// game.
template <std::size_t N, class Body>
PyObject* run_member(PyObject* self, const Signature& sig, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, Mode mode, Body&& body) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    std::array<Ref, N> bound;
    if (!bind_fastcall(sig, args, nargs, kwnames, bound)) return nullptr;
    Access access(game_object(self), mode);
    if (!access) return nullptr;
    return body(game_object(self)->game, std::span<Ref>(bound));
  });
}

// A new Python Game owning `game`; empty with an error set on failure.
Ref new_game_object(PyObject* type, Game game);

// The members defined in game_members.cpp.
PyObject* game_stones(PyObject* self, PyObject*);
PyObject* game_stone(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* game_last_placed_stone(PyObject* self, PyObject*);
PyObject* game_deltas(PyObject* self, PyObject*);
PyObject* game_nearest_living_move(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* game_dead_stones(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* game_try_move(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* game_pass_turn(PyObject* self, PyObject*);
PyObject* game_undo_move(PyObject* self, PyObject*);
PyObject* game_groups(PyObject* self, PyObject*);
PyObject* game_territory(PyObject* self, PyObject*);
PyObject* game_validate(PyObject* self, PyObject*);
PyObject* game_pair_cuttable(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* game_boundary_cuttable(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* game_dump_svg(PyObject* self, PyObject*);

}  // namespace quelmar::py
