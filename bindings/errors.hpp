#pragma once
// The module's exception classes, the conversion of engine error values into
// exceptions, and the boundary every entry point runs its body inside.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>
#include <string>

#include "connectivity/cut_types.hpp"
#include "game/delta_error.hpp"
#include "game/move_error.hpp"
#include "voronoi/voronoi.hpp"

namespace quelmar::py {

// In the order they are added to the module; every base precedes its
// subclasses.
enum class Exc {
  QuelmarError,
  StonePlayError,
  NotPlaceableError,
  SelfCaptureError,
  DeltaError,
  StoneExistsError,
  NoSuchStoneError,
  CapturedTwiceError,
  PassCapturesError,
  OffBoardError,
  DeadZoneError,
  GameOverError,
  CutError,
  BoardError,
};
inline constexpr int EXCEPTION_COUNT = 14;

// Builds every exception class once per process; later calls do nothing.
// False with a Python error set when a class could not be made.
bool create_exception_classes();

// The class (borrowed; lives for the process) and its unqualified name.
// Precondition: create_exception_classes() succeeded.
PyObject* exception_class(Exc which);
const char* exception_name(Exc which);

// Each sets the mapped exception, with the engine error's message as its
// only argument and then its attributes, in their fixed order.
void raise_delta_error(const DeltaError& error);
void raise_move_error(const MoveError& error);
void raise_cut_error(const CutError& error);
void raise_board_error(const std::string& message);

// Runs an entry point's body so that no C++ exception reaches the
// interpreter: std::bad_alloc becomes MemoryError and anything else a
// RuntimeError, and `failure` is answered.
template <class R, class Body>
R guarded(R failure, Body&& body) noexcept {
  // A thread's first C++ exception, and its first partition build, make
  // per-thread state, and a failed allocation there aborts the process:
  // make both now, on entry, rather than where memory may have run out.
  (void)std::uncaught_exceptions();
  Voronoi::prepare_thread();
  try {
    return body();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "unexpected internal failure");
  }
  return failure;
}

}  // namespace quelmar::py
