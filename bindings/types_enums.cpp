// The four enumeration classes. One implementation serves all four; each
// class differs only in its table entry and its extra method.

#include <array>
#include <cstdint>

#include "errors.hpp"
#include "game/value_hash.hpp"
#include "type_support.hpp"
#include "types.hpp"

namespace quelmar::py {

namespace {

enum EnumClass : int { COLOR, BOARD_EDGE, CUT_KIND, GAME_STATUS, ENUM_CLASS_COUNT };

struct EnumInfo {
  const char* qualified_name;
  const char* name;
  const char* doc;
  int count;
  std::array<const char*, 4> members;
  std::array<const char*, 4> labels;  // all null for a class without `label`
  const char* label_doc;
};

constexpr std::array<EnumInfo, ENUM_CLASS_COUNT> INFO = {{
    {"quelmar.Color", "Color", "A player.", 2, {"BLACK", "WHITE"}, {"black", "white"},
     "The lowercase name, as the engine's wire protocol and the fixtures spell\nit: `\"black\"` or "
     "`\"white\"`."},
    {"quelmar.BoardEdge", "BoardEdge", "Which board edge a stone-to-edge line runs to.", 4,
     {"LEFT", "RIGHT", "TOP", "BOTTOM"}, {"left", "right", "top", "bottom"},
     "The lowercase name, as the engine's wire protocol spells it."},
    {"quelmar.CutKind", "CutKind",
     "What the rules say about the line between two stones, or between a stone and\na board "
     "edge.\n\n`Game.pair_cuttable` and `Game.boundary_cuttable` answer with one of "
     "these.\n`TOO_FAR` is **not** a verdict in either direction — see its own note.",
     3, {"CONNECTED", "CUTTABLE", "TOO_FAR"}, {"connected", "cuttable", "tooFar"},
     "The name as the engine's wire protocol spells it."},
    {"quelmar.GameStatus", "GameStatus",
     "How far along a game is.\n\n`Game.status` answers with one of these. A game ends on two "
     "passes in a row\nand on nothing else; an ended game takes no further turns and answers "
     "every\nquestion it answered before.",
     3, {"PLAYING", "NEXT_PASS_ENDS", "ENDED"}, {}, nullptr},
}};

struct EnumObject {
  PyObject_HEAD
  std::uint8_t value;
};

std::array<PyObject*, ENUM_CLASS_COUNT> types{};

std::uint8_t value_of(PyObject* self) { return reinterpret_cast<EnumObject*>(self)->value; }

Ref new_member(EnumClass cls, std::uint8_t value) {
  auto* obj = allocate_instance<EnumObject>(types[cls]);
  if (!obj) return Ref();
  obj->value = value;
  return Ref::steal(reinterpret_cast<PyObject*>(obj));
}

void enum_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

template <EnumClass Cls>
PyObject* enum_repr(PyObject* self) {
  return PyUnicode_FromFormat("%s.%s", INFO[Cls].name, INFO[Cls].members[value_of(self)]);
}

PyObject* enum_int(PyObject* self) { return PyLong_FromLong(value_of(self)); }

Py_hash_t enum_hash(PyObject* self) { return static_cast<Py_hash_t>(enum_value_hash(value_of(self))); }

// Another member of the same class compares by value; anything that really
// is an integer (int, bool, __index__) compares with it. An enumeration has
// no __index__, so two enumerations of different classes never read each
// other as integers. Never raises.
PyObject* enum_richcompare(PyObject* self, PyObject* other, int op) {
  if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
  if (Py_TYPE(other) == Py_TYPE(self)) return comparison_result(value_of(self) == value_of(other), op);
  if (!PyIndex_Check(other)) Py_RETURN_NOTIMPLEMENTED;
  Ref index = Ref::steal(PyNumber_Index(other));
  if (!index) {
    PyErr_Clear();
    Py_RETURN_NOTIMPLEMENTED;
  }
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
  if (v == -1 && PyErr_Occurred()) {
    PyErr_Clear();
    Py_RETURN_NOTIMPLEMENTED;
  }
  // An integer beyond 64 bits equals no member.
  return comparison_result(overflow == 0 && v == value_of(self), op);
}

template <EnumClass Cls>
PyObject* enum_label(PyObject* self, void*) {
  return PyUnicode_FromString(INFO[Cls].labels[value_of(self)]);
}

PyObject* color_opposite(PyObject* self, PyObject*) {
  return guarded<PyObject*>(nullptr, [&] { return new_member(COLOR, value_of(self) ^ 1U).release(); });
}

PyObject* status_has_ended(PyObject* self, PyObject*) {
  return PyBool_FromLong(value_of(self) == static_cast<std::uint8_t>(GameStatus::Ended));
}

// Pickled by name, as `getattr(Color, "BLACK")`, so a member comes back as
// the class attribute rather than as a new object with the same value.
template <EnumClass Cls>
PyObject* enum_reduce(PyObject* self, PyObject*) {
  Ref builtins = Ref::steal(PyImport_ImportModule("builtins"));
  if (!builtins) return nullptr;
  Ref getattr = Ref::steal(PyObject_GetAttrString(builtins.get(), "getattr"));
  if (!getattr) return nullptr;
  return Py_BuildValue("O(Os)", getattr.get(), types[Cls], INFO[Cls].members[value_of(self)]);
}

constexpr PyMethodDef OPPOSITE_DEF = {"opposite", color_opposite, METH_NOARGS,
                                      "opposite($self)\n--\n\nThe other player."};
constexpr PyMethodDef HAS_ENDED_DEF = {"has_ended", status_has_ended, METH_NOARGS,
                                       "has_ended($self)\n--\n\nWhether the game has stopped taking turns."};
constexpr PyMethodDef METHODS_END = {nullptr, nullptr, 0, nullptr};

// Every class pickles its members; Color and GameStatus add one method each.
template <EnumClass Cls>
PyMethodDef* enum_methods() {
  static PyMethodDef methods[] = {
      {"__reduce__", enum_reduce<Cls>, METH_NOARGS,
       "__reduce__($self)\n--\n\nPickles the member by name, so it comes back as the class attribute."},
      Cls == COLOR ? OPPOSITE_DEF : Cls == GAME_STATUS ? HAS_ENDED_DEF : METHODS_END,
      METHODS_END,
  };
  return methods;
}

template <EnumClass Cls>
PyObject* build_enum() {
  if (types[Cls]) return types[Cls];
  const EnumInfo& info = INFO[Cls];
  static PyGetSetDef label_getset[] = {
      {"label", enum_label<Cls>, nullptr, info.label_doc, nullptr},
      {nullptr, nullptr, nullptr, nullptr, nullptr},
  };
  std::array<PyType_Slot, 9> slots{};
  int n = 0;
  slots[n++] = {Py_tp_doc, const_cast<char*>(info.doc)};
  slots[n++] = {Py_tp_dealloc, reinterpret_cast<void*>(enum_dealloc)};
  slots[n++] = {Py_tp_repr, reinterpret_cast<void*>(enum_repr<Cls>)};
  slots[n++] = {Py_tp_hash, reinterpret_cast<void*>(enum_hash)};
  slots[n++] = {Py_tp_richcompare, reinterpret_cast<void*>(enum_richcompare)};
  // int() reads the value; deliberately no nb_index, so an enumeration is
  // not an integer to comparisons or indexing.
  slots[n++] = {Py_nb_int, reinterpret_cast<void*>(enum_int)};
  if (info.label_doc) slots[n++] = {Py_tp_getset, label_getset};
  slots[n++] = {Py_tp_methods, enum_methods<Cls>()};
  slots[n] = {0, nullptr};
  PyType_Spec spec = {info.qualified_name, sizeof(EnumObject), 0, 0, slots.data()};
  PyObject* type = build_type(spec, false);
  if (!type) return nullptr;
  types[Cls] = type;
  for (int v = 0; v < info.count; ++v) {
    if (!set_class_attribute(type, info.members[v], new_member(Cls, static_cast<std::uint8_t>(v)))) {
      types[Cls] = nullptr;
      Py_DECREF(type);
      return nullptr;
    }
  }
  return type;
}

template <EnumClass Cls>
std::optional<std::uint8_t> member_value(PyObject* obj) {
  if (!types[Cls] || Py_TYPE(obj) != reinterpret_cast<PyTypeObject*>(types[Cls])) return std::nullopt;
  return value_of(obj);
}

}  // namespace

PyObject* color_type() { return build_enum<COLOR>(); }
PyObject* board_edge_type() { return build_enum<BOARD_EDGE>(); }
PyObject* cut_kind_type() { return build_enum<CUT_KIND>(); }
PyObject* game_status_type() { return build_enum<GAME_STATUS>(); }

Ref new_color(Color c) { return new_member(COLOR, static_cast<std::uint8_t>(c)); }
Ref new_board_edge(BoardEdge e) { return new_member(BOARD_EDGE, static_cast<std::uint8_t>(e)); }
Ref new_cut_kind(CutKind k) { return new_member(CUT_KIND, static_cast<std::uint8_t>(k)); }
Ref new_game_status(GameStatus s) { return new_member(GAME_STATUS, static_cast<std::uint8_t>(s)); }

std::optional<Color> color_value(PyObject* obj) {
  if (auto v = member_value<COLOR>(obj)) return static_cast<Color>(*v);
  return std::nullopt;
}

std::optional<BoardEdge> board_edge_value(PyObject* obj) {
  if (auto v = member_value<BOARD_EDGE>(obj)) return static_cast<BoardEdge>(*v);
  return std::nullopt;
}

}  // namespace quelmar::py
