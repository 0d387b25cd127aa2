#pragma once
// Small helpers shared by the module's class definitions.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <iterator>
#include <memory>
#include <new>

#include "ref.hpp"
#include "signals.hpp"

namespace quelmar::py {

// Builds a heap type that cannot be subclassed or changed; one without a
// Py_tp_new slot cannot be instantiated either ("cannot create ..."). Null
// with an error set on failure.
inline PyObject* build_type(PyType_Spec& spec, bool instantiable) {
  spec.flags |= Py_TPFLAGS_DEFAULT;
#ifdef Py_TPFLAGS_IMMUTABLETYPE
  spec.flags |= Py_TPFLAGS_IMMUTABLETYPE;
#endif
#ifdef Py_TPFLAGS_DISALLOW_INSTANTIATION
  if (!instantiable) spec.flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
#endif
  PyObject* type = PyType_FromSpec(&spec);
  if (type && !instantiable) reinterpret_cast<PyTypeObject*>(type)->tp_new = nullptr;
  return type;
}

// Adds a class attribute to a type built immutable; false with an error set.
inline bool set_class_attribute(PyObject* type, const char* name, Ref value) {
  if (!value) return false;
  auto* t = reinterpret_cast<PyTypeObject*>(type);
  if (PyDict_SetItemString(t->tp_dict, name, value.get()) < 0) return false;
  PyType_Modified(t);
  return true;
}

// A fresh, uninitialised instance of `type`; the caller constructs its fields.
template <class Object>
Object* allocate_instance(PyObject* type) {
  auto* t = reinterpret_cast<PyTypeObject*>(type);
  return reinterpret_cast<Object*>(t->tp_alloc(t, 0));
}

// Deallocation of an instance: destroys its one C++ field, frees it and
// drops the reference that every heap-type instance holds on its type.
template <class Object, class Field, Field Object::*field>
void destroy_instance(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  std::destroy_at(&(reinterpret_cast<Object*>(self)->*field));
  type->tp_free(self);
  Py_DECREF(type);
}

// A new list of make(item) for each item, in order; empty with an error set
// when an element could not be made, or at Ctrl-C.
template <class Range, class Make>
Ref new_list(const Range& items, Make&& make) {
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(std::size(items))));
  if (!list) return Ref();
  Py_ssize_t i = 0;
  for (const auto& item : items) {
    Ref element = make(item);
    if (!element) return Ref();
    PyList_SET_ITEM(list.get(), i, element.release());
    if (signal_raised(static_cast<std::size_t>(i++), 4096)) return Ref();
  }
  return list;
}

// The comparison answer as a new reference to True or False.
inline PyObject* comparison_result(bool equal, int op) {
  return PyBool_FromLong(op == Py_EQ ? equal : !equal);
}

}  // namespace quelmar::py
