#pragma once
// The Python Game class.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace quelmar::py {

// Builds the class on first use and answers it (borrowed; it lives for the
// process), or null with a Python error set.
PyObject* game_type();

}  // namespace quelmar::py
