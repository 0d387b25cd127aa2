// Module initialisation: one module object per process, bound to the first
// interpreter that imports it, filled in a fixed order with `__all__` last.

#include <array>
#include <atomic>
#include <cstdint>

#include "connectivity/cut_types.hpp"
#include "errors.hpp"
#include "game.hpp"
#include "geometry/point.hpp"
#include "ref.hpp"
#include "types.hpp"

namespace quelmar::py {

namespace {

PyObject* version(PyObject*, PyObject*) { return PyUnicode_FromString("1.0.1"); }

PyMethodDef VERSION_DEF = {"version", version, METH_NOARGS,
                           "version()\n--\n\nVersion of the underlying rules engine."};

PyModuleDef MODULE_DEF = {PyModuleDef_HEAD_INIT, "quelmar", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr};

// The exported names in their final order.
constexpr std::array<const char*, 28> ALL_NAMES = {
    "Game", "Stone", "GameDelta", "Group", "Color", "BoardEdge", "CutKind", "GameStatus", "version",
    "STONE_RADIUS", "STONE_DIAMETER", "EPSILON", "MAX_PAIR_CUT_DISTANCE", "MAX_BOUNDARY_CUT_DISTANCE",
    "QuelmarError", "StonePlayError", "NotPlaceableError", "SelfCaptureError", "DeltaError",
    "StoneExistsError", "NoSuchStoneError", "CapturedTwiceError", "PassCapturesError", "OffBoardError",
    "DeadZoneError", "GameOverError", "CutError", "BoardError",
};

// The interpreter the module belongs to; -1 until the first import attempt.
std::atomic<std::int64_t> owner_interpreter{-1};
// The one module object, kept for the life of the process.
PyObject* the_module = nullptr;

// Sets a module attribute to a new reference of `value` (the runtimes
// before 3.10 lack PyModule_AddObjectRef).
bool set_attribute(PyObject* module, const char* name, PyObject* value) {
  return PyDict_SetItemString(PyModule_GetDict(module), name, value) == 0;
}

// Adds one attribute and appends its name to the provisional __all__.
bool add(PyObject* module, const char* name, PyObject* value) {
  if (!value) return false;
  if (!set_attribute(module, name, value)) return false;
  PyObject* all = PyDict_GetItemString(PyModule_GetDict(module), "__all__");
  Ref created;
  if (!all) {
    created = Ref::steal(PyList_New(0));
    if (!created || !set_attribute(module, "__all__", created.get())) return false;
    all = created.get();
  }
  Ref text = Ref::steal(PyUnicode_FromString(name));
  return text && PyList_Append(all, text.get()) == 0;
}

bool add_class(PyObject* module, const char* name, PyObject* type) { return add(module, name, type); }

bool add_float(PyObject* module, const char* name, double value) {
  Ref number = Ref::steal(PyFloat_FromDouble(value));
  return add(module, name, number.get());
}

bool add_version(PyObject* module) {
  Ref module_name = Ref::steal(PyUnicode_FromString("quelmar"));
  if (!module_name) return false;
  Ref function = Ref::steal(PyCFunction_NewEx(&VERSION_DEF, nullptr, module_name.get()));
  if (!function) return false;
  // The key is the name the function object reports.
  Ref name = Ref::steal(PyObject_GetAttrString(function.get(), "__name__"));
  if (!name) return false;
  const char* key = PyUnicode_AsUTF8(name.get());
  return key && add(module, key, function.get());
}

// The final __all__: the fixed order, of the names actually present.
bool set_all(PyObject* module) {
  Ref all = Ref::steal(PyList_New(0));
  if (!all) return false;
  for (const char* name : ALL_NAMES) {
    if (!PyObject_HasAttrString(module, name)) continue;
    Ref text = Ref::steal(PyUnicode_FromString(name));
    if (!text || PyList_Append(all.get(), text.get()) < 0) return false;
  }
  return set_attribute(module, "__all__", all.get());
}

bool fill(PyObject* module) {
  if (!add_version(module)) return false;
  if (!add_class(module, "Game", game_type())) return false;
  if (!add_class(module, "Stone", stone_type())) return false;
  if (!add_class(module, "GameDelta", game_delta_type())) return false;
  if (!add_class(module, "Group", group_type())) return false;
  if (!add_class(module, "Color", color_type())) return false;
  if (!add_class(module, "BoardEdge", board_edge_type())) return false;
  if (!add_class(module, "CutKind", cut_kind_type())) return false;
  if (!add_class(module, "GameStatus", game_status_type())) return false;
  if (!add_float(module, "STONE_RADIUS", STONE_RADIUS) || !add_float(module, "STONE_DIAMETER", STONE_DIAMETER) ||
      !add_float(module, "EPSILON", EPSILON) ||
      !add_float(module, "MAX_PAIR_CUT_DISTANCE", MAX_PAIR_CUT_DISTANCE) ||
      !add_float(module, "MAX_BOUNDARY_CUT_DISTANCE", MAX_BOUNDARY_CUT_DISTANCE))
    return false;
  if (!create_exception_classes()) return false;
  for (int i = 0; i < EXCEPTION_COUNT; ++i) {
    const Exc which = static_cast<Exc>(i);
    if (!add_class(module, exception_name(which), exception_class(which))) return false;
  }
  return set_all(module);
}

PyObject* init() {
  const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (id < 0) return nullptr;
  std::int64_t expected = -1;
  // The first attempt binds the module to its interpreter, even if it fails.
  if (!owner_interpreter.compare_exchange_strong(expected, id) && expected != id) {
    PyErr_SetString(PyExc_ImportError, "quelmar does not support subinterpreters");
    return nullptr;
  }
  if (the_module) return Ref::borrow(the_module).release();
  Ref module = Ref::steal(PyModule_Create(&MODULE_DEF));
  if (!module || !fill(module.get())) return nullptr;
  the_module = Ref(module).release();
  return module.release();
}

}  // namespace

}  // namespace quelmar::py

PyMODINIT_FUNC PyInit_quelmar(void) {
  return quelmar::py::guarded<PyObject*>(nullptr, [] { return quelmar::py::init(); });
}
