#include "args.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "types.hpp"

namespace quelmar::py {

namespace {

// Finds the parameter a keyword names; -1 when none does.
Py_ssize_t parameter_index(const Signature& sig, PyObject* keyword) {
  for (std::size_t i = 0; i < sig.params.size(); ++i) {
    if (PyUnicode_CompareWithASCIIString(keyword, sig.params[i]) == 0) return static_cast<Py_ssize_t>(i);
  }
  return -1;
}

bool too_many_positional(const Signature& sig, Py_ssize_t given) {
  const char* verb = given == 1 ? "was" : "were";
  if (sig.required != sig.params.size()) {
    PyErr_Format(PyExc_TypeError, "%s takes from %zu to %zu positional arguments but %zd %s given",
                 sig.function, sig.required, sig.params.size(), given, verb);
  } else {
    PyErr_Format(PyExc_TypeError, "%s takes %zu positional arguments but %zd %s given", sig.function,
                 sig.params.size(), given, verb);
  }
  return false;
}

bool bind_positional(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, std::span<Ref> out) {
  if (nargs > static_cast<Py_ssize_t>(sig.params.size())) return too_many_positional(sig, nargs);
  for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = Ref::borrow(args[i]);
  return true;
}

bool bind_keyword(const Signature& sig, PyObject* keyword, PyObject* value, std::span<Ref> out) {
  if (!PyUnicode_Check(keyword)) {
    PyErr_Format(PyExc_TypeError, "%s keywords must be strings", sig.function);
    return false;
  }
  const Py_ssize_t i = parameter_index(sig, keyword);
  if (i < 0) {
    PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", sig.function, keyword);
    return false;
  }
  if (out[i]) {
    PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", sig.function, sig.params[i]);
    return false;
  }
  out[i] = Ref::borrow(value);
  return true;
}

// Names the missing required parameters the way the interpreter joins
// them: 'a', then 'a' and 'b', then 'a', 'b', and 'c'.
bool check_required(const Signature& sig, std::span<Ref> out) {
  std::vector<const char*> missing;
  for (std::size_t i = 0; i < sig.required; ++i) {
    if (!out[i]) missing.push_back(sig.params[i]);
  }
  if (missing.empty()) return true;
  std::string names;
  for (std::size_t i = 0; i < missing.size(); ++i) {
    if (i != 0) {
      if (missing.size() > 2) names += ",";
      names += i + 1 == missing.size() ? " and " : " ";
    }
    names += std::string("'") + missing[i] + "'";
  }
  PyErr_Format(PyExc_TypeError, "%s missing %zu required positional %s: %s", sig.function, missing.size(),
               missing.size() == 1 ? "argument" : "arguments", names.c_str());
  return false;
}

// The last dotted component of the type's name, as its __name__ reads.
const char* type_name(PyObject* obj) {
  const char* full = Py_TYPE(obj)->tp_name;
  const char* dot = std::strrchr(full, '.');
  return dot ? dot + 1 : full;
}

std::optional<double> to_float(PyObject* obj) {
  if (PyFloat_CheckExact(obj)) return PyFloat_AS_DOUBLE(obj);
  const double v = PyFloat_AsDouble(obj);
  if (v == -1.0 && PyErr_Occurred()) return std::nullopt;
  return v;
}

std::optional<StoneId> to_stone_id(PyObject* obj) {
  Ref index = PyLong_Check(obj) ? Ref::borrow(obj) : Ref::steal(PyNumber_Index(obj));
  if (!index) return std::nullopt;
  const long v = PyLong_AsLong(index.get());
  if (v == -1 && PyErr_Occurred()) return std::nullopt;
  if (v < 0 || static_cast<unsigned long>(v) > 0xFFFFFFFFUL) {
    PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
    return std::nullopt;
  }
  return static_cast<StoneId>(v);
}

std::optional<Point> to_position(PyObject* obj) {
  if (!PyTuple_Check(obj)) {
    raise_cast_error(obj, "tuple");
    return std::nullopt;
  }
  if (PyTuple_GET_SIZE(obj) != 2) {
    PyErr_Format(PyExc_TypeError, "expected tuple of length 2, but got tuple of length %zd",
                 PyTuple_GET_SIZE(obj));
    return std::nullopt;
  }
  Ref x_item = Ref::borrow(PyTuple_GET_ITEM(obj, 0));
  Ref y_item = Ref::borrow(PyTuple_GET_ITEM(obj, 1));
  const std::optional<double> x = to_float(x_item.get());
  if (!x) return std::nullopt;
  const std::optional<double> y = to_float(y_item.get());
  if (!y) return std::nullopt;
  return Point{*x, *y};
}

template <class T>
std::optional<T> wrapped(std::optional<T> value, const char* name) {
  if (!value) wrap_argument_error(name);
  return value;
}

}  // namespace

bool bind_fastcall(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   std::span<Ref> out) {
  if (!bind_positional(sig, args, nargs, out)) return false;
  const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    if (!bind_keyword(sig, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], out)) return false;
  }
  return check_required(sig, out);
}

bool bind_tuple_dict(const Signature& sig, PyObject* args, PyObject* kwargs, std::span<Ref> out) {
  const Py_ssize_t nargs = args ? PyTuple_GET_SIZE(args) : 0;
  PyObject* const* items = args ? &PyTuple_GET_ITEM(args, 0) : nullptr;
  if (!bind_positional(sig, items, nargs, out)) return false;
  if (kwargs) {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      if (!bind_keyword(sig, key, value, out)) return false;
    }
  }
  return check_required(sig, out);
}

void wrap_argument_error(const char* name) {
  PyObject* pending = PyErr_Occurred();
  if (!pending || pending != PyExc_TypeError) return;
  PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  Ref type_ref = Ref::steal(type);
  Ref original = Ref::steal(value);
  Ref tb = Ref::steal(traceback);
  if (tb) PyException_SetTraceback(original.get(), tb.get());
  Ref reason = Ref::steal(PyObject_Str(original.get()));
  if (!reason) return;
  Ref message = Ref::steal(PyUnicode_FromFormat("argument '%s': %U", name, reason.get()));
  if (!message) return;
  Ref replacement = Ref::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
  if (!replacement) return;
  PyException_SetCause(replacement.get(), Ref(original).release());
  PyException_SetContext(replacement.get(), original.release());
  PyErr_SetObject(PyExc_TypeError, replacement.get());
}

void raise_cast_error(PyObject* obj, const char* target) {
  PyErr_Format(PyExc_TypeError, "'%s' object cannot be cast as '%s'", type_name(obj), target);
}

std::optional<double> float_argument(PyObject* obj, const char* name) { return wrapped(to_float(obj), name); }

std::optional<Point> position_argument(PyObject* obj, const char* name) {
  return wrapped(to_position(obj), name);
}

std::optional<StoneId> stone_id_argument(PyObject* obj, const char* name) {
  return wrapped(to_stone_id(obj), name);
}

std::optional<Color> color_argument(PyObject* obj, const char* name) {
  if (std::optional<Color> c = color_value(obj)) return c;
  raise_cast_error(obj, "Color");
  wrap_argument_error(name);
  return std::nullopt;
}

std::optional<BoardEdge> board_edge_argument(PyObject* obj, const char* name) {
  if (std::optional<BoardEdge> e = board_edge_value(obj)) return e;
  raise_cast_error(obj, "BoardEdge");
  wrap_argument_error(name);
  return std::nullopt;
}

std::optional<std::vector<StoneId>> stone_ids_argument(PyObject* obj, const char* name) {
  std::vector<StoneId> ids;
  const Py_ssize_t hint = PySequence_Check(obj) ? PySequence_Size(obj) : 0;
  // The length is only a hint: a sequence may claim any size it likes.
  if (hint < 0) PyErr_Clear();
  else ids.reserve(static_cast<std::size_t>(std::min<Py_ssize_t>(hint, 1 << 16)));
  const bool ok = for_each_in_sequence(obj, name, [&ids](PyObject* item) {
    const std::optional<StoneId> id = to_stone_id(item);
    if (id) ids.push_back(*id);
    return id.has_value();
  });
  if (!ok) return std::nullopt;
  return ids;
}

}  // namespace quelmar::py
