// Placeholder module initialisation; replaced by the real module frame.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

static PyModuleDef quelmar_module = {PyModuleDef_HEAD_INIT, "quelmar", "", -1, nullptr};

PyMODINIT_FUNC PyInit_quelmar(void) { return PyModule_Create(&quelmar_module); }
