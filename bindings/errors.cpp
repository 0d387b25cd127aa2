#include "errors.hpp"

#include <array>
#include <initializer_list>

#include "ref.hpp"
#include "types.hpp"

namespace quelmar::py {

namespace {

struct ExceptionInfo {
  const char* name;
  // Index of the base in this table; -1 for Exception itself.
  int base;
  const char* doc;
};

constexpr std::array<ExceptionInfo, EXCEPTION_COUNT> EXCEPTION_INFO = {{
    {"QuelmarError", -1, "Base class of every error this package raises."},
    {"StonePlayError", 0, "A move the rules refused. Base of NotPlaceableError and SelfCaptureError."},
    {"NotPlaceableError", 1, "No stone centre may sit at this position. Carries `position`."},
    {"SelfCaptureError", 1,
     "The move would take only the mover's own stones. Carries `position` and `color`."},
    {"DeltaError", 0, "A delta the board cannot account for. Base of the five below."},
    {"StoneExistsError", 4, "The delta places a stone whose id is already in play. Carries `stone`."},
    {"NoSuchStoneError", 4, "The delta captures a stone that is not on the board. Carries `stone`."},
    {"CapturedTwiceError", 4, "The delta captures the same stone twice. Carries `stone`."},
    {"PassCapturesError", 4, "A delta that places no stone cannot capture one."},
    {"OffBoardError", 4,
     "The delta places a stone whose centre is not on the board. Carries `stone` and `position`."},
    {"DeadZoneError", 4,
     "The playable area could not be carved or reclaimed for a stone. Carries `stone`."},
    {"GameOverError", 0,
     "The game ended on two passes and takes no further turns. Raised by Game.try_move, "
     "Game.pass_turn and Game.replay; Game.undo_move takes the last pass back, and every query "
     "still answers."},
    {"CutError", 0,
     "A cut question that is not a question about a connection: a stone that is not on the "
     "board, a stone against itself, or two stones of opposite colours. Carries `stones`, the ids "
     "the question named."},
    {"BoardError", 0,
     "An invariant the board guarantees, found not to hold. Raised only by Game.validate()."},
}};

// Created once per process and never released.
std::array<PyObject*, EXCEPTION_COUNT> classes{};

struct Attribute {
  const char* name;
  Ref value;  // empty when making the value failed
};

// Creates the exception with its one argument, sets the attributes in order
// (the first failure is discarded and ends the setting) and raises it.
void raise_with(Exc which, const std::string& message, std::initializer_list<Attribute> attributes) {
  // A failure to make an attribute value is discarded like a failure to set it.
  if (PyErr_Occurred()) PyErr_Clear();
  PyObject* cls = exception_class(which);
  Ref text = Ref::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (!text) return;
  Ref exc = Ref::steal(PyObject_CallOneArg(cls, text.get()));
  if (!exc) return;
  for (const Attribute& attribute : attributes) {
    if (!attribute.value || PyObject_SetAttrString(exc.get(), attribute.name, attribute.value.get()) < 0) {
      PyErr_Clear();
      break;
    }
  }
  PyErr_SetObject(cls, exc.get());
}

Ref stone_attribute(StoneId id) { return Ref::steal(PyLong_FromUnsignedLong(id)); }

Exc delta_exception(DeltaError::Kind kind) {
  switch (kind) {
    case DeltaError::Kind::StoneExists:
      return Exc::StoneExistsError;
    case DeltaError::Kind::NoSuchStone:
      return Exc::NoSuchStoneError;
    case DeltaError::Kind::CapturedTwice:
      return Exc::CapturedTwiceError;
    case DeltaError::Kind::PassCaptures:
      return Exc::PassCapturesError;
    case DeltaError::Kind::OffBoard:
      return Exc::OffBoardError;
    case DeltaError::Kind::DeadZone:
      return Exc::DeadZoneError;
    case DeltaError::Kind::Crowded:
      return Exc::DeltaError;
    case DeltaError::Kind::GameOver:
      break;
  }
  return Exc::GameOverError;
}

}  // namespace

bool create_exception_classes() {
  for (int i = 0; i < EXCEPTION_COUNT; ++i) {
    if (classes[i]) continue;
    const ExceptionInfo& info = EXCEPTION_INFO[i];
    const std::string qualified = std::string("quelmar.") + info.name;
    PyObject* base = info.base < 0 ? PyExc_Exception : classes[info.base];
    classes[i] = PyErr_NewExceptionWithDoc(qualified.c_str(), info.doc, base, nullptr);
    if (!classes[i]) return false;
  }
  return true;
}

PyObject* exception_class(Exc which) { return classes[static_cast<int>(which)]; }

const char* exception_name(Exc which) { return EXCEPTION_INFO[static_cast<int>(which)].name; }

void raise_delta_error(const DeltaError& error) {
  const Exc which = delta_exception(error.kind);
  const std::string message = error.message();
  switch (error.kind) {
    case DeltaError::Kind::PassCaptures:
    case DeltaError::Kind::GameOver:
      return raise_with(which, message, {});
    case DeltaError::Kind::OffBoard:
      return raise_with(which, message,
                        {{"stone", stone_attribute(error.stone)}, {"position", new_point_tuple(error.position)}});
    default:
      return raise_with(which, message, {{"stone", stone_attribute(error.stone)}});
  }
}

void raise_move_error(const MoveError& error) {
  switch (error.kind) {
    case MoveError::Kind::NotPlaceable:
      return raise_with(Exc::NotPlaceableError, error.message(),
                        {{"position", new_point_tuple(error.position)}});
    case MoveError::Kind::SelfCapture:
      return raise_with(Exc::SelfCaptureError, error.message(),
                        {{"position", new_point_tuple(error.position)}, {"color", new_color(error.color)}});
    case MoveError::Kind::GameOver:
      return raise_delta_error(DeltaError::game_over());
    case MoveError::Kind::Delta:
      break;
  }
  raise_delta_error(error.delta);
}

void raise_cut_error(const CutError& error) {
  const bool pair = error.kind == CutError::Kind::ColorsDiffer;
  Ref stones = Ref::steal(PyList_New(pair ? 2 : 1));
  bool filled = static_cast<bool>(stones);
  for (Py_ssize_t i = 0; filled && i < (pair ? 2 : 1); ++i) {
    PyObject* id = PyLong_FromUnsignedLong(i == 0 ? error.a : error.b);
    if (!id) filled = false;
    else PyList_SET_ITEM(stones.get(), i, id);
  }
  if (!filled) stones = Ref();
  raise_with(Exc::CutError, error.message(), {{"stones", stones}});
}

void raise_board_error(const std::string& message) { raise_with(Exc::BoardError, message, {}); }

}  // namespace quelmar::py
