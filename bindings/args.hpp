#pragma once
// Binding a call's arguments to parameters, and converting each argument to
// its engine value. Every failure leaves a Python error set; a TypeError
// raised while converting an argument names that argument.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "connectivity/cut_types.hpp"
#include "game/stone.hpp"
#include "geometry/point.hpp"
#include "ref.hpp"
#include "signals.hpp"

namespace quelmar::py {

// What a Python-facing function accepts: every parameter by position or by
// keyword, the first `required` of them mandatory.
struct Signature {
  const char* function;  // as messages name it: "Game.try_move()"
  std::span<const char* const> params;
  std::size_t required;
};

// Binds a METH_FASTCALL | METH_KEYWORDS call: out[i] gets parameter i's
// argument, or stays empty when an optional one is omitted. False with the
// interpreter-style TypeError set when the call does not fit.
// Precondition: out.size() == sig.params.size().
bool bind_fastcall(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   std::span<Ref> out);

// The same for a call given as an argument tuple and a keyword dict (either
// may be null), as constructors receive it.
bool bind_tuple_dict(const Signature& sig, PyObject* args, PyObject* kwargs, std::span<Ref> out);

// Turns a pending exception that is exactly a TypeError into the TypeError
// "argument '{name}': {message}", with the original as cause and context.
// Any other pending exception is left as it is.
void wrap_argument_error(const char* name);

// Sets the TypeError "'{type name}' object cannot be cast as '{target}'".
void raise_cast_error(PyObject* obj, const char* target);

// The argument conversions. Each answers nothing with an error set (already
// wrapped for the argument `name`) when `obj` does not convert.

// Anything the float protocol accepts: float, int, __float__, __index__.
std::optional<double> float_argument(PyObject* obj, const char* name);
// A tuple (or tuple subclass) of exactly two float-convertible items.
std::optional<Point> position_argument(PyObject* obj, const char* name);
// An integer by the index protocol, 0 to 4294967295; outside that range an
// OverflowError (the interpreter's own when it does not fit a signed long).
std::optional<StoneId> stone_id_argument(PyObject* obj, const char* name);
// Instances of the module's Color and BoardEdge classes only.
std::optional<Color> color_argument(PyObject* obj, const char* name);
std::optional<BoardEdge> board_edge_argument(PyObject* obj, const char* name);

// Walks a sequence argument, calling `each(item)` (item borrowed for the
// call only) until it answers false. A str is refused with "Can't extract
// `str` to `Vec`" and a non-sequence with the cast error for "Sequence".
// False with an error set on any failure; `each` sets its own error and
// the TypeErrors are wrapped for `name`.
template <class Each>
bool for_each_in_sequence(PyObject* obj, const char* name, Each&& each) {
  if (PyUnicode_Check(obj)) {
    PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
    wrap_argument_error(name);
    return false;
  }
  if (!PySequence_Check(obj)) {
    raise_cast_error(obj, "Sequence");
    wrap_argument_error(name);
    return false;
  }
  Ref iter = Ref::steal(PyObject_GetIter(obj));
  if (!iter) {
    wrap_argument_error(name);
    return false;
  }
  // A sequence is finite by contract; an endless one ends when memory does,
  // or at Ctrl-C.
  for (std::size_t step = 0; Ref item = Ref::steal(PyIter_Next(iter.get())); ++step) {
    if (!each(item.get()) || signal_raised(step, 1024)) {
      wrap_argument_error(name);
      return false;
    }
  }
  if (PyErr_Occurred()) {
    wrap_argument_error(name);
    return false;
  }
  return true;
}

// Converts a sequence argument of stone ids, in the order given.
std::optional<std::vector<StoneId>> stone_ids_argument(PyObject* obj, const char* name);

}  // namespace quelmar::py
