#pragma once
// The one owning reference to a Python object. A Ref always owns what it
// holds (or holds nothing); borrowed pointers stay plain PyObject*.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace quelmar::py {

class Ref {
 public:
  Ref() = default;
  Ref(const Ref& other) : obj_(other.obj_) { Py_XINCREF(obj_); }
  Ref(Ref&& other) noexcept : obj_(other.obj_) { other.obj_ = nullptr; }
  Ref& operator=(Ref other) noexcept {
    std::swap(obj_, other.obj_);
    return *this;
  }
  ~Ref() { Py_XDECREF(obj_); }

  // Takes over a new reference (a null pointer gives an empty Ref).
  static Ref steal(PyObject* obj) { return Ref(obj); }
  // Takes a new reference to a borrowed object.
  static Ref borrow(PyObject* obj) {
    Py_XINCREF(obj);
    return Ref(obj);
  }

  PyObject* get() const { return obj_; }
  // Hands the reference to the caller; the Ref is left empty.
  PyObject* release() { return std::exchange(obj_, nullptr); }
  explicit operator bool() const { return obj_ != nullptr; }

 private:
  explicit Ref(PyObject* obj) : obj_(obj) {}
  PyObject* obj_ = nullptr;
};

}  // namespace quelmar::py
