// The Stone and GameDelta classes and the tuple form of a point.

#include <array>
#include <string>

#include "args.hpp"
#include "errors.hpp"
#include "game/value_hash.hpp"
#include "geometry/number_text.hpp"
#include "type_support.hpp"
#include "types.hpp"

namespace quelmar::py {

namespace {

struct StoneObject {
  PyObject_HEAD
  Stone stone;
};

struct DeltaObject {
  PyObject_HEAD
  GameDelta delta;
};

PyObject* stone_class = nullptr;
PyObject* delta_class = nullptr;

Stone& stone_of(PyObject* self) { return reinterpret_cast<StoneObject*>(self)->stone; }
GameDelta& delta_of(PyObject* self) { return reinterpret_cast<DeltaObject*>(self)->delta; }

Ref make_stone(PyObject* type, const Stone& stone) {
  auto* obj = allocate_instance<StoneObject>(type);
  if (!obj) return Ref();
  std::construct_at(&obj->stone, stone);
  return Ref::steal(reinterpret_cast<PyObject*>(obj));
}

// Takes the delta by value so that every copy is made before the instance
// exists; the move into it cannot throw.
Ref make_delta(PyObject* type, GameDelta delta) {
  auto* obj = allocate_instance<DeltaObject>(type);
  if (!obj) return Ref();
  std::construct_at(&obj->delta, std::move(delta));
  return Ref::steal(reinterpret_cast<PyObject*>(obj));
}

// ---------------------------------------------------------------- Stone

constexpr std::array<const char*, 3> STONE_PARAMS = {"id", "color", "position"};
constexpr Signature STONE_SIGNATURE = {"Stone.__new__()", STONE_PARAMS, 3};

// Converts the bound arguments in parameter order and builds the stone.
PyObject* stone_from_bound(PyObject* type, std::span<Ref> bound) {
  const std::optional<StoneId> id = stone_id_argument(bound[0].get(), "id");
  if (!id) return nullptr;
  const std::optional<Color> color = color_argument(bound[1].get(), "color");
  if (!color) return nullptr;
  const std::optional<Point> position = position_argument(bound[2].get(), "position");
  if (!position) return nullptr;
  return make_stone(type, Stone{*id, *color, *position}).release();
}

PyObject* stone_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    std::array<Ref, 3> bound;
    if (!bind_tuple_dict(STONE_SIGNATURE, args, kwargs, bound)) return nullptr;
    return stone_from_bound(reinterpret_cast<PyObject*>(type), bound);
  });
}

// Calling the class takes the fast path; Stone.__new__ the tuple one.
PyObject* stone_vectorcall(PyObject* type, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    std::array<Ref, 3> bound;
    if (!bind_fastcall(STONE_SIGNATURE, args, PyVectorcall_NARGS(nargsf), kwnames, bound)) return nullptr;
    return stone_from_bound(type, bound);
  });
}

PyObject* stone_repr(PyObject* self) {
  return guarded<PyObject*>(nullptr, [&] {
    const std::string text = stone_repr_text(stone_of(self));
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

Py_hash_t stone_hash(PyObject* self) { return static_cast<Py_hash_t>(stone_value_hash(stone_of(self))); }

PyObject* stone_richcompare(PyObject* self, PyObject* other, int op) {
  if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(other, reinterpret_cast<PyTypeObject*>(stone_class)))
    Py_RETURN_NOTIMPLEMENTED;
  return comparison_result(stone_of(self) == stone_of(other), op);
}

PyObject* stone_get_id(PyObject* self, void*) { return PyLong_FromUnsignedLong(stone_of(self).id); }

PyObject* stone_get_color(PyObject* self, void*) {
  return guarded<PyObject*>(nullptr, [&] { return new_color(stone_of(self).color).release(); });
}

PyObject* stone_get_position(PyObject* self, void*) {
  return guarded<PyObject*>(nullptr, [&] { return new_point_tuple(stone_of(self).position).release(); });
}

// Pickled as the constructor call that builds an equal stone.
PyObject* stone_reduce(PyObject* self, PyObject*) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    const Stone& stone = stone_of(self);
    Ref color = new_color(stone.color);
    if (!color) return nullptr;
    Ref position = new_point_tuple(stone.position);
    if (!position) return nullptr;
    return Py_BuildValue("O(kOO)", reinterpret_cast<PyObject*>(Py_TYPE(self)), static_cast<unsigned long>(stone.id),
                         color.get(), position.get());
  });
}

PyMethodDef STONE_METHODS[] = {
    {"__reduce__", stone_reduce, METH_NOARGS,
     "__reduce__($self)\n--\n\nPickles the stone as its constructor arguments."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef STONE_GETSET[] = {
    {"id", stone_get_id, nullptr, "Which stone this is. Ids are dense and never reused.", nullptr},
    {"color", stone_get_color, nullptr, "Whose stone it is.", nullptr},
    {"position", stone_get_position, nullptr, "Where its centre sits, as `(x, y)`.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot STONE_SLOTS[] = {
    {Py_tp_doc, const_cast<char*>("Stone(id, color, position)\n--\n\nA stone on the board.")},
    {Py_tp_new, reinterpret_cast<void*>(stone_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(destroy_instance<StoneObject, Stone, &StoneObject::stone>)},
    {Py_tp_repr, reinterpret_cast<void*>(stone_repr)},
    {Py_tp_hash, reinterpret_cast<void*>(stone_hash)},
    {Py_tp_richcompare, reinterpret_cast<void*>(stone_richcompare)},
    {Py_tp_getset, STONE_GETSET},
    {Py_tp_methods, STONE_METHODS},
    {0, nullptr},
};

PyType_Spec STONE_SPEC = {"quelmar.Stone", sizeof(StoneObject), 0, 0, STONE_SLOTS};

// ---------------------------------------------------------------- GameDelta

constexpr std::array<const char*, 2> DELTA_PARAMS = {"new_stone", "captured_stone_ids"};
constexpr Signature DELTA_SIGNATURE = {"GameDelta.__new__()", DELTA_PARAMS, 0};

PyObject* delta_from_bound(PyObject* type, std::span<Ref> bound) {
  GameDelta delta;
  PyObject* stone = bound[0].get();
  if (stone && stone != Py_None) {
    const Stone* value = stone_value(stone);
    if (!value) {
      raise_cast_error(stone, "Stone");
      wrap_argument_error("new_stone");
      return nullptr;
    }
    delta.new_stone = *value;
  }
  PyObject* ids = bound[1].get();
  if (ids && ids != Py_None) {
    std::optional<std::vector<StoneId>> converted = stone_ids_argument(ids, "captured_stone_ids");
    if (!converted) return nullptr;
    delta.captured_stone_ids = std::move(*converted);
  }
  return make_delta(type, std::move(delta)).release();
}

PyObject* delta_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    std::array<Ref, 2> bound;
    if (!bind_tuple_dict(DELTA_SIGNATURE, args, kwargs, bound)) return nullptr;
    return delta_from_bound(reinterpret_cast<PyObject*>(type), bound);
  });
}

PyObject* delta_vectorcall(PyObject* type, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    std::array<Ref, 2> bound;
    if (!bind_fastcall(DELTA_SIGNATURE, args, PyVectorcall_NARGS(nargsf), kwnames, bound)) return nullptr;
    return delta_from_bound(type, bound);
  });
}

std::string ids_text(const std::vector<StoneId>& ids) {
  std::string text = "[";
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i != 0) text += ", ";
    text += std::to_string(ids[i]);
  }
  return text + "]";
}

PyObject* delta_repr(PyObject* self) {
  return guarded<PyObject*>(nullptr, [&] {
    const GameDelta& delta = delta_of(self);
    // A pass shows no ids, whatever it holds.
    const std::string text = delta.new_stone ? "GameDelta(new_stone=" + stone_repr_text(*delta.new_stone) +
                                                   ", captured_stone_ids=" + ids_text(delta.captured_stone_ids) + ")"
                                             : std::string("GameDelta()");
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

Py_hash_t delta_hash(PyObject* self) { return static_cast<Py_hash_t>(delta_value_hash(delta_of(self))); }

PyObject* delta_richcompare(PyObject* self, PyObject* other, int op) {
  if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(other, reinterpret_cast<PyTypeObject*>(delta_class)))
    Py_RETURN_NOTIMPLEMENTED;
  return comparison_result(delta_of(self) == delta_of(other), op);
}

PyObject* delta_get_new_stone(PyObject* self, void*) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    const GameDelta& delta = delta_of(self);
    if (!delta.new_stone) Py_RETURN_NONE;
    return new_stone(*delta.new_stone).release();
  });
}

PyObject* delta_get_captured(PyObject* self, void*) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    const std::vector<StoneId>& ids = delta_of(self).captured_stone_ids;
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(ids.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < ids.size(); ++i) {
      PyObject* id = PyLong_FromUnsignedLong(ids[i]);
      if (!id) return nullptr;
      PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), id);
    }
    return list.release();
  });
}

PyObject* delta_get_is_pass(PyObject* self, void*) { return PyBool_FromLong(delta_of(self).is_pass()); }

// Pickled as the constructor call that builds an equal delta; the ids go
// in their held order, so even a pass that lists captures comes back whole.
PyObject* delta_reduce(PyObject* self, PyObject*) {
  Ref stone = Ref::steal(delta_get_new_stone(self, nullptr));
  if (!stone) return nullptr;
  Ref ids = Ref::steal(delta_get_captured(self, nullptr));
  if (!ids) return nullptr;
  return Py_BuildValue("O(OO)", reinterpret_cast<PyObject*>(Py_TYPE(self)), stone.get(), ids.get());
}

PyMethodDef DELTA_METHODS[] = {
    {"__reduce__", delta_reduce, METH_NOARGS,
     "__reduce__($self)\n--\n\nPickles the delta as its constructor arguments."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef DELTA_GETSET[] = {
    {"new_stone", delta_get_new_stone, nullptr, "The stone placed this turn, or `None` when the turn was a pass.",
     nullptr},
    {"captured_stone_ids", delta_get_captured, nullptr, "The stones this placement captured, ascending by id.",
     nullptr},
    {"is_pass", delta_get_is_pass, nullptr, "Whether this turn was a pass.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot DELTA_SLOTS[] = {
    {Py_tp_doc, const_cast<char*>(
                    "GameDelta(new_stone=None, captured_stone_ids=None)\n--\n\nOne turn's change to the board: a "
                    "stone placed (or not, for a pass) and the\nstones that placement captured.\n\nReplaying every "
                    "delta of a game into a fresh board of the same size\nreproduces the position exactly — "
                    "`Game.replay` is what does it.")},
    {Py_tp_new, reinterpret_cast<void*>(delta_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(destroy_instance<DeltaObject, GameDelta, &DeltaObject::delta>)},
    {Py_tp_repr, reinterpret_cast<void*>(delta_repr)},
    {Py_tp_hash, reinterpret_cast<void*>(delta_hash)},
    {Py_tp_richcompare, reinterpret_cast<void*>(delta_richcompare)},
    {Py_tp_getset, DELTA_GETSET},
    {Py_tp_methods, DELTA_METHODS},
    {0, nullptr},
};

PyType_Spec DELTA_SPEC = {"quelmar.GameDelta", sizeof(DeltaObject), 0, 0, DELTA_SLOTS};

// Builds a constructible class once and gives it the fast call path.
PyObject* build_constructible(PyObject*& slot, PyType_Spec& spec, vectorcallfunc fast) {
  if (slot) return slot;
  slot = build_type(spec, true);
  if (slot) reinterpret_cast<PyTypeObject*>(slot)->tp_vectorcall = fast;
  return slot;
}

}  // namespace

PyObject* stone_type() { return build_constructible(stone_class, STONE_SPEC, stone_vectorcall); }
PyObject* game_delta_type() { return build_constructible(delta_class, DELTA_SPEC, delta_vectorcall); }

Ref new_stone(const Stone& stone) { return make_stone(stone_class, stone); }
Ref new_game_delta(const GameDelta& delta) { return make_delta(delta_class, delta); }

Ref new_point_tuple(Point p) {
  Ref x = Ref::steal(PyFloat_FromDouble(p.x));
  if (!x) return Ref();
  Ref y = Ref::steal(PyFloat_FromDouble(p.y));
  if (!y) return Ref();
  return Ref::steal(PyTuple_Pack(2, x.get(), y.get()));
}

const Stone* stone_value(PyObject* obj) {
  if (!stone_class || !PyObject_TypeCheck(obj, reinterpret_cast<PyTypeObject*>(stone_class))) return nullptr;
  return &stone_of(obj);
}

const GameDelta* game_delta_value(PyObject* obj) {
  if (!delta_class || !PyObject_TypeCheck(obj, reinterpret_cast<PyTypeObject*>(delta_class))) return nullptr;
  return &delta_of(obj);
}

std::string stone_repr_text(const Stone& stone) {
  const char* color = stone.color == Color::Black ? "BLACK" : "WHITE";
  return "Stone(id=" + std::to_string(stone.id) + ", color=Color." + color + ", position=(" +
         repr_number_text(stone.position.x) + ", " + repr_number_text(stone.position.y) + "))";
}

}  // namespace quelmar::py
