"""The module frame: what it exports and in which order, its constants bit
for bit, the exception hierarchy, one module per process, and the refusal of
a second interpreter."""

import importlib
import inspect
import math
import struct
import subprocess
import sys
import textwrap

import pytest

import quelmar as qm

ALL = [
    "Game", "Stone", "GameDelta", "Group", "Color", "BoardEdge", "CutKind", "GameStatus", "version",
    "STONE_RADIUS", "STONE_DIAMETER", "EPSILON", "MAX_PAIR_CUT_DISTANCE", "MAX_BOUNDARY_CUT_DISTANCE",
    "QuelmarError", "StonePlayError", "NotPlaceableError", "SelfCaptureError", "DeltaError",
    "StoneExistsError", "NoSuchStoneError", "CapturedTwiceError", "PassCapturesError", "OffBoardError",
    "DeadZoneError", "GameOverError", "CutError", "BoardError",
]  # fmt: skip

# Class and base, in the order they are added.
HIERARCHY = [
    ("QuelmarError", "Exception"), ("StonePlayError", "QuelmarError"), ("NotPlaceableError", "StonePlayError"),
    ("SelfCaptureError", "StonePlayError"), ("DeltaError", "QuelmarError"), ("StoneExistsError", "DeltaError"),
    ("NoSuchStoneError", "DeltaError"), ("CapturedTwiceError", "DeltaError"), ("PassCapturesError", "DeltaError"),
    ("OffBoardError", "DeltaError"), ("DeadZoneError", "DeltaError"), ("GameOverError", "QuelmarError"),
    ("CutError", "QuelmarError"), ("BoardError", "QuelmarError"),
]  # fmt: skip


def test_version_and_docstring():
    assert qm.version() == "1.0.1"
    assert qm.__doc__ == ""
    assert qm.version.__doc__ == "Version of the underlying rules engine."
    assert str(inspect.signature(qm.version)) == "()"
    assert qm.version.__module__ == "quelmar"
    with pytest.raises(TypeError):
        qm.version(1)


def test_all_lists_the_exports_in_order():
    assert qm.__all__ == ALL
    assert all(name in vars(qm) for name in ALL)


def test_attributes_were_added_in_order():
    names = [n for n in vars(qm) if not n.startswith("__")]
    order = ["version", "Game", "Stone", "GameDelta", "Group", "Color", "BoardEdge", "CutKind", "GameStatus"]
    order += ALL[9:14] + [h[0] for h in HIERARCHY]
    assert names == [n for n in order if n in names]


def test_constants_bit_for_bit():
    expected = {
        "STONE_RADIUS": 1.0,
        "STONE_DIAMETER": 2.0,
        "EPSILON": 1e-07,
        "MAX_PAIR_CUT_DISTANCE": 2 * math.sqrt(3),
        "MAX_BOUNDARY_CUT_DISTANCE": 1 + math.sqrt(3),
    }
    for name, value in expected.items():
        got = getattr(qm, name)
        assert type(got) is float
        assert struct.pack("<d", got) == struct.pack("<d", value), name
    assert qm.MAX_PAIR_CUT_DISTANCE == 3.4641016151377544
    assert qm.MAX_BOUNDARY_CUT_DISTANCE == 2.732050807568877


@pytest.mark.parametrize("name,base", HIERARCHY)
def test_exception_classes(name, base):
    cls = getattr(qm, name)
    assert cls.__bases__ == ((Exception,) if base == "Exception" else (getattr(qm, base),))
    assert cls.__doc__
    assert cls.__module__ == "quelmar" and cls.__qualname__ == name
    assert repr(cls) == f"<class 'quelmar.{name}'>"
    exc = cls("a message")
    assert str(exc) == "a message" and exc.args == ("a message",)
    assert issubclass(cls, qm.QuelmarError)


def test_hierarchy_relations():
    assert issubclass(qm.SelfCaptureError, qm.StonePlayError)
    assert issubclass(qm.OffBoardError, qm.DeltaError)
    assert issubclass(qm.CutError, qm.QuelmarError)
    assert issubclass(qm.QuelmarError, Exception)
    assert not issubclass(qm.GameOverError, qm.DeltaError)
    assert sum(issubclass(getattr(qm, h[0]), qm.DeltaError) for h in HIERARCHY) == 7


def test_one_module_object_per_process():
    classes = {n: getattr(qm, n) for n in qm.__all__}
    del sys.modules["quelmar"]
    try:
        again = importlib.import_module("quelmar")
    finally:
        sys.modules["quelmar"] = qm
    assert again is qm
    assert all(getattr(again, n) is c for n, c in classes.items())


def test_second_interpreter_is_refused():
    code = textwrap.dedent(
        """
        import quelmar
        try:
            import _xxsubinterpreters as interpreters
        except ImportError:
            print("SKIP")
            raise SystemExit
        interp = interpreters.create()
        try:
            interpreters.run_string(interp, "import quelmar")
        except Exception as e:
            print("REFUSED", e)
        else:
            print("IMPORTED")
        print(quelmar.version())
        """
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    if out.stdout.startswith("SKIP"):
        pytest.skip("no subinterpreter support in this runtime")
    assert out.returncode == 0, out.stderr
    first, version = out.stdout.strip().splitlines()
    assert first.startswith("REFUSED") and "ImportError" in first and "subinterpreters" in first
    assert version == "1.0.1"
