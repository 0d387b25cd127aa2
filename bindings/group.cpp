// The read-only Group class: one copy of a territory group, handed out by
// Game.groups().

#include <array>
#include <string>

#include "args.hpp"
#include "errors.hpp"
#include "geometry/number_text.hpp"
#include "type_support.hpp"
#include "types.hpp"

namespace quelmar::py {

namespace {

struct GroupObject {
  PyObject_HEAD
  VoronoiGroup group;
};

PyObject* group_class = nullptr;

const VoronoiGroup& group_of(PyObject* self) { return reinterpret_cast<GroupObject*>(self)->group; }

Ref new_id(StoneId id) { return Ref::steal(PyLong_FromUnsignedLong(id)); }

template <class Make>
PyObject* answer(Make&& make) {
  return guarded<PyObject*>(nullptr, [&] { return make().release(); });
}

PyObject* group_get_color(PyObject* self, void*) {
  return answer([&] { return new_color(group_of(self).color); });
}

PyObject* group_get_stones(PyObject* self, void*) {
  return answer([&] { return new_list(group_of(self).stones, [](const Stone& s) { return new_stone(s); }); });
}

PyObject* group_get_stone_ids(PyObject* self, void*) {
  return answer([&] { return new_list(group_of(self).stones, [](const Stone& s) { return new_id(s.id); }); });
}

PyObject* group_get_rings(PyObject* self, void*) {
  return answer([&] {
    return new_list(group_of(self).rings,
                    [](const Ring& ring) { return new_list(ring, [](Point p) { return new_point_tuple(p); }); });
  });
}

PyObject* group_get_area(PyObject* self, void*) {
  return guarded<PyObject*>(nullptr, [&] { return PyFloat_FromDouble(group_of(self).area()); });
}

PyObject* group_get_color_seed(PyObject* self, void*) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    const std::optional<StoneId> seed = group_of(self).color_seed();
    if (!seed) Py_RETURN_NONE;
    return PyLong_FromUnsignedLong(*seed);
  });
}

constexpr std::array<const char*, 1> CONTAINS_PARAMS = {"point"};
constexpr Signature CONTAINS_SIGNATURE = {"Group.contains_point()", CONTAINS_PARAMS, 1};

PyObject* group_contains_point(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    std::array<Ref, 1> bound;
    if (!bind_fastcall(CONTAINS_SIGNATURE, args, nargs, kwnames, bound)) return nullptr;
    const std::optional<Point> point = position_argument(bound[0].get(), "point");
    if (!point) return nullptr;
    return PyBool_FromLong(group_of(self).contains_point(*point));
  });
}

PyObject* group_is_empty(PyObject* self, PyObject*) { return PyBool_FromLong(group_of(self).is_empty()); }

PyObject* group_repr(PyObject* self) {
  return guarded<PyObject*>(nullptr, [&] {
    const VoronoiGroup& group = group_of(self);
    std::string text = std::string("Group(color=Color.") + (group.color == Color::Black ? "BLACK" : "WHITE") +
                       ", stone_ids=[";
    for (std::size_t i = 0; i < group.stones.size(); ++i) {
      if (i != 0) text += ", ";
      text += std::to_string(group.stones[i].id);
    }
    text += "], area=" + repr_number_text(group.area()) + ")";
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

PyObject* group_richcompare(PyObject* self, PyObject* other, int op) {
  if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(other, reinterpret_cast<PyTypeObject*>(group_class)))
    Py_RETURN_NOTIMPLEMENTED;
  return comparison_result(group_of(self) == group_of(other), op);
}

PyGetSetDef GROUP_GETSET[] = {
    {"color", group_get_color, nullptr, "Whose group this is.", nullptr},
    {"stones", group_get_stones, nullptr, "The group's stones, ascending by id.", nullptr},
    {"stone_ids", group_get_stone_ids, nullptr, "The ids of the group's stones, ascending.", nullptr},
    {"rings", group_get_rings, nullptr,
     "The group's territory. Ring 0 is the outer boundary, later rings are\nholes, and every ring is closed.",
     nullptr},
    {"area", group_get_area, nullptr, "The board area this group controls, holes excluded.", nullptr},
    {"color_seed", group_get_color_seed, nullptr,
     "The group's stable name: its lowest stone id, which it keeps across a\nmove that merely extends it. `None` "
     "only for a group with no stones,\nwhich cannot happen on a board.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef GROUP_METHODS[] = {
    {"contains_point", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(group_contains_point)),
     METH_FASTCALL | METH_KEYWORDS,
     "contains_point($self, point)\n--\n\nWhether `point` lies in this group's territory: inside the outer "
     "ring\nand outside every hole."},
    {"is_empty", group_is_empty, METH_NOARGS,
     "is_empty($self)\n--\n\nWhether this group encloses nothing — no shape to draw and no area to\nmeasure."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot GROUP_SLOTS[] = {
    {Py_tp_doc, const_cast<char*>("One contiguous group of same-colour stones, and the territory it controls.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(destroy_instance<GroupObject, VoronoiGroup, &GroupObject::group>)},
    {Py_tp_repr, reinterpret_cast<void*>(group_repr)},
    {Py_tp_richcompare, reinterpret_cast<void*>(group_richcompare)},
    {Py_tp_getset, GROUP_GETSET},
    {Py_tp_methods, GROUP_METHODS},
    {0, nullptr},
};

PyType_Spec GROUP_SPEC = {"quelmar.Group", sizeof(GroupObject), 0, 0, GROUP_SLOTS};

}  // namespace

PyObject* group_type() {
  if (!group_class) group_class = build_type(GROUP_SPEC, false);
  return group_class;
}

Ref new_group(const VoronoiGroup& group) {
  // Copy first: once the instance exists nothing may throw.
  VoronoiGroup copy = group;
  auto* obj = allocate_instance<GroupObject>(group_class);
  if (!obj) return Ref();
  std::construct_at(&obj->group, std::move(copy));
  return Ref::steal(reinterpret_cast<PyObject*>(obj));
}

}  // namespace quelmar::py
