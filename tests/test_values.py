"""The value classes: enumerations, Stone and GameDelta. Equality and hashes
are checked against an independent SipHash-1-3 over the documented byte
streams, so hashes stay the same in every process."""

import inspect
import math
import struct
import subprocess
import sys

import pytest
from hypothesis import given
from hypothesis import strategies as st

import quelmar as qm

ENUMS = {
    qm.Color: (["BLACK", "WHITE"], ["black", "white"]),
    qm.BoardEdge: (["LEFT", "RIGHT", "TOP", "BOTTOM"], ["left", "right", "top", "bottom"]),
    qm.CutKind: (["CONNECTED", "CUTTABLE", "TOO_FAR"], ["connected", "cuttable", "tooFar"]),
    qm.GameStatus: (["PLAYING", "NEXT_PASS_ENDS", "ENDED"], None),
}
MEMBERS = [(cls, i, name) for cls, (names, _) in ENUMS.items() for i, name in enumerate(names)]


# ---------------------------------------------------------------- reference hash

M64 = (1 << 64) - 1


def _rotl(x, b):
    return ((x << b) | (x >> (64 - b))) & M64


def siphash13(data, k0=0, k1=0):
    """SipHash-1-3 written from the algorithm, independently of the module."""
    v = [k0 ^ 0x736F6D6570736575, k1 ^ 0x646F72616E646F6D, k0 ^ 0x6C7967656E657261, k1 ^ 0x7465646279746573]

    def sipround():
        v[0] = (v[0] + v[1]) & M64
        v[1] = _rotl(v[1], 13) ^ v[0]
        v[0] = _rotl(v[0], 32)
        v[2] = (v[2] + v[3]) & M64
        v[3] = _rotl(v[3], 16) ^ v[2]
        v[0] = (v[0] + v[3]) & M64
        v[3] = _rotl(v[3], 21) ^ v[0]
        v[2] = (v[2] + v[1]) & M64
        v[1] = _rotl(v[1], 17) ^ v[2]
        v[2] = _rotl(v[2], 32)

    full = len(data) // 8 * 8
    words = [int.from_bytes(data[i : i + 8], "little") for i in range(0, full, 8)]
    words.append(int.from_bytes(data[full:], "little") | ((len(data) & 0xFF) << 56))
    for m in words:
        v[3] ^= m
        sipround()
        v[0] ^= m
    v[2] ^= 0xFF
    for _ in range(3):
        sipround()
    return v[0] ^ v[1] ^ v[2] ^ v[3]


def value_hash(stream):
    h = siphash13(stream)
    h = h - (1 << 64) if h >= 1 << 63 else h
    return -2 if h == -1 else h


def coord_bits(x):
    return struct.pack("<d", 0.0 if x == 0.0 else x)


def stone_stream(id_, color, x, y):
    return struct.pack("<IQ", id_, color) + coord_bits(x) + coord_bits(y)


def delta_stream(stone, ids):
    head = struct.pack("<Q", 0) if stone is None else struct.pack("<Q", 1) + stone_stream(*stone)
    return head + struct.pack("<Q", len(ids)) + b"".join(struct.pack("<I", i) for i in ids)


@pytest.mark.skipif(sys.hash_info.algorithm != "siphash13", reason="runtime hashes bytes otherwise")
def test_reference_siphash_agrees_with_runtime_bytes_hash_under_zero_seed():
    samples = [bytes(range(n)) for n in (1, 7, 8, 9, 15, 16, 28, 40)]
    code = f"print([hash(b) for b in {samples!r}])"
    out = subprocess.run([sys.executable, "-c", code], env={"PYTHONHASHSEED": "0"}, capture_output=True, text=True)
    assert eval(out.stdout) == [value_hash(b) for b in samples]


# ---------------------------------------------------------------- enumerations


@pytest.mark.parametrize("cls,value,name", MEMBERS)
def test_member_value_repr_and_str(cls, value, name):
    member = getattr(cls, name)
    assert type(member) is cls
    assert int(member) == value
    assert repr(member) == str(member) == f"{cls.__name__}.{name}"


@pytest.mark.parametrize("cls", ENUMS)
def test_labels_by_value(cls):
    names, labels = ENUMS[cls]
    if labels is None:
        assert not hasattr(cls.PLAYING, "label")
    else:
        assert [getattr(cls, n).label for n in names] == labels


@pytest.mark.parametrize("cls,value,name", MEMBERS)
def test_enum_hash_is_siphash_of_value_not_int_hash(cls, value, name):
    member = getattr(cls, name)
    assert hash(member) == value_hash(struct.pack("<Q", value))
    assert hash(member) != hash(value)


def test_enum_equality_by_value_and_with_real_integers():
    class Idx:
        def __index__(self):
            return 1

    assert qm.Color.BLACK == qm.Color.BLACK and qm.Color.BLACK != qm.Color.WHITE
    assert qm.Color.WHITE == 1 and 1 == qm.Color.WHITE and qm.Color.BLACK != 5
    assert qm.Color.WHITE == True  # noqa: E712 - bool is an integer
    assert qm.Color.WHITE == Idx()
    assert qm.Color.BLACK != 0.0 and not (qm.Color.BLACK == 0.0)
    # Enumerations offer int() but not __index__: neither reads the other.
    assert qm.Color.BLACK != qm.CutKind.CONNECTED
    assert not (qm.GameStatus.PLAYING == qm.BoardEdge.LEFT)
    for big in (2**63, 2**64, -(2**70)):
        assert qm.Color.BLACK != big and not (qm.Color.BLACK == big)


def test_enum_comparison_never_raises():
    class Raising:
        def __index__(self):
            raise ValueError("no")

    class WrongIndex:
        def __index__(self):
            return 1.5

    for other in (Raising(), WrongIndex(), "x", None, object()):
        assert qm.Color.WHITE != other
        assert qm.Color.WHITE.__eq__(other) is NotImplemented
    assert qm.Color.BLACK.__lt__(qm.Color.WHITE) is NotImplemented
    with pytest.raises(TypeError):
        qm.Color.BLACK < qm.Color.WHITE  # noqa: B015
    with pytest.raises(TypeError):
        qm.CutKind.CUTTABLE >= 0  # noqa: B015


def test_enum_methods():
    assert qm.Color.BLACK.opposite() == qm.Color.WHITE
    assert qm.Color.WHITE.opposite().opposite() == qm.Color.WHITE
    assert type(qm.Color.BLACK.opposite()) is qm.Color
    assert [s.has_ended() for s in (qm.GameStatus.PLAYING, qm.GameStatus.NEXT_PASS_ENDS, qm.GameStatus.ENDED)] == [
        False,
        False,
        True,
    ]
    assert inspect.signature(qm.Color.opposite) == inspect.signature(lambda self, /: None)
    assert qm.Color.opposite.__doc__ == "The other player."
    assert qm.GameStatus.has_ended.__doc__ == "Whether the game has stopped taking turns."
    with pytest.raises(TypeError):
        qm.Color.BLACK.opposite(1)


def test_enum_index_protocol_is_absent():
    assert not hasattr(qm.Color.WHITE, "__index__")
    with pytest.raises(TypeError):
        [0, 1][qm.Color.WHITE]
    with pytest.raises(TypeError):
        range(qm.Color.WHITE)


def test_every_property_has_a_docstring():
    for cls in (qm.Color, qm.BoardEdge, qm.CutKind, qm.Stone, qm.GameDelta):
        for name, attr in vars(cls).items():
            if isinstance(attr, type(qm.Stone.id)):
                assert attr.__doc__, f"{cls.__name__}.{name}"


# ---------------------------------------------------------------- class rules

VALUE_CLASSES = [qm.Color, qm.BoardEdge, qm.CutKind, qm.GameStatus, qm.Stone, qm.GameDelta]


def sample(cls):
    if cls is qm.Stone:
        return qm.Stone(1, qm.Color.BLACK, (1.0, 2.0))
    if cls is qm.GameDelta:
        return qm.GameDelta()
    return getattr(cls, ENUMS[cls][0][0])


@pytest.mark.parametrize("cls", VALUE_CLASSES)
def test_classes_are_closed_immutable_values(cls):
    assert cls.__module__ == "quelmar" and cls.__qualname__ == cls.__name__
    assert repr(cls) == f"<class 'quelmar.{cls.__name__}'>"
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    obj = sample(cls)
    assert not hasattr(obj, "__dict__")
    with pytest.raises(AttributeError):
        obj.extra = 1
    for name, attr in vars(cls).items():
        if isinstance(attr, type(qm.Stone.id)):
            with pytest.raises(AttributeError):
                setattr(obj, name, None)


@pytest.mark.parametrize("cls", [qm.Color, qm.BoardEdge, qm.CutKind, qm.GameStatus])
def test_enumerations_refuse_instantiation(cls):
    with pytest.raises(TypeError, match=rf"^cannot create 'quelmar\.{cls.__name__}' instances$"):
        cls()
    with pytest.raises(TypeError):
        cls(0)


def test_text_signatures():
    assert str(inspect.signature(qm.Stone)) == "(id, color, position)"
    assert str(inspect.signature(qm.GameDelta)) == "(new_stone=None, captured_stone_ids=None)"


# ---------------------------------------------------------------- Stone

coords = st.floats(allow_nan=True, allow_infinity=True) | st.sampled_from([0.0, -0.0, math.nan, -math.nan])
ids = st.integers(0, 2**32 - 1)
colors = st.sampled_from([0, 1])


@given(ids, colors, coords, coords)
def test_stone_hash_is_siphash_of_its_stream(id_, color, x, y):
    stone = qm.Stone(id_, qm.Color.WHITE if color else qm.Color.BLACK, (x, y))
    assert hash(stone) == value_hash(stone_stream(id_, color, x, y))


@given(ids, colors, coords, coords)
def test_stone_fields_round_trip_bit_for_bit(id_, color, x, y):
    stone = qm.Stone(id_, qm.Color.WHITE if color else qm.Color.BLACK, (x, y))
    assert stone.id == id_ and stone.color == color
    px, py = stone.position
    assert struct.pack("<dd", px, py) == struct.pack("<dd", x, y)


@given(coords, coords, coords, coords)
def test_stone_equality_is_bit_equality_with_signed_zero_folded(x1, y1, x2, y2):
    a = qm.Stone(0, qm.Color.BLACK, (x1, y1))
    b = qm.Stone(0, qm.Color.BLACK, (x2, y2))
    same = coord_bits(x1) == coord_bits(x2) and coord_bits(y1) == coord_bits(y2)
    assert (a == b) is same and (a != b) is (not same)
    if same:
        assert hash(a) == hash(b)


def test_stone_equality_edge_cases():
    black, white = qm.Color.BLACK, qm.Color.WHITE
    assert qm.Stone(0, black, (0.0, 1.0)) == qm.Stone(0, black, (-0.0, 1.0))
    assert hash(qm.Stone(0, black, (0.0, 1.0))) == hash(qm.Stone(0, black, (-0.0, 1.0)))
    nan = float("nan")
    assert qm.Stone(0, black, (nan, 1.0)) == qm.Stone(0, black, (nan, 1.0))
    assert qm.Stone(0, black, (nan, 1.0)) != qm.Stone(0, black, (-nan, 1.0))
    assert qm.Stone(0, black, (1.0, 1.0)) != qm.Stone(1, black, (1.0, 1.0))
    assert qm.Stone(0, black, (1.0, 1.0)) != qm.Stone(0, white, (1.0, 1.0))
    stone = qm.Stone(0, black, (1.0, 1.0))
    for other in (0, (1.0, 1.0), qm.GameDelta(stone), None):
        assert stone.__eq__(other) is NotImplemented and stone != other
    assert stone.__lt__(stone) is NotImplemented
    with pytest.raises(TypeError):
        stone < stone  # noqa: B015


@pytest.mark.parametrize(
    "args,text",
    [
        ((3, qm.Color.WHITE, (1, 2)), "Stone(id=3, color=Color.WHITE, position=(1.0, 2.0))"),
        ((6, qm.Color.BLACK, (4.0, 4.5)), "Stone(id=6, color=Color.BLACK, position=(4.0, 4.5))"),
        ((0, qm.Color.BLACK, (-0.0, 1e-5)), "Stone(id=0, color=Color.BLACK, position=(-0.0, 1e-5))"),
        ((1, qm.Color.BLACK, (1.5e16, 1e15)), "Stone(id=1, color=Color.BLACK, position=(1.5e16, 1000000000000000.0))"),
        ((2**32 - 1, qm.Color.WHITE, (math.nan, -math.inf)), "Stone(id=4294967295, color=Color.WHITE, position=(NaN, -inf))"),
        ((2, qm.Color.BLACK, (0.0001, 0.1)), "Stone(id=2, color=Color.BLACK, position=(0.0001, 0.1))"),
    ],
)
def test_stone_repr(args, text):
    assert repr(qm.Stone(*args)) == text


def test_stone_properties_are_fresh_objects():
    stone = qm.Stone(5, qm.Color.WHITE, (1.0, 2.0))
    assert stone.color == qm.Color.WHITE and stone.color is not stone.color
    assert type(stone.position) is tuple and stone.position is not stone.position
    assert all(type(c) is float for c in qm.Stone(5, qm.Color.WHITE, (1, True)).position)


# ---------------------------------------------------------------- GameDelta

S6 = qm.Stone(6, qm.Color.BLACK, (4.0, 4.0))


def test_pass_delta():
    delta = qm.GameDelta()
    assert delta.is_pass is True and delta.new_stone is None and delta.captured_stone_ids == []
    assert repr(delta) == "GameDelta()"
    held = qm.GameDelta(captured_stone_ids=[3])
    assert repr(held) == "GameDelta()" and held.captured_stone_ids == [3] and held.is_pass
    assert held != delta


def test_delta_repr_and_fields():
    delta = qm.GameDelta(S6, [1, 3])
    assert repr(delta) == "GameDelta(new_stone=Stone(id=6, color=Color.BLACK, position=(4.0, 4.0)), captured_stone_ids=[1, 3])"
    assert repr(qm.GameDelta(new_stone=S6)) == f"GameDelta(new_stone={S6!r}, captured_stone_ids=[])"
    assert delta.new_stone == S6 and delta.new_stone is not delta.new_stone
    ids = delta.captured_stone_ids
    ids.append(9)
    assert delta.captured_stone_ids == [1, 3]
    assert not delta.is_pass


def test_delta_keeps_ids_as_given():
    assert qm.GameDelta(S6, [5, 2, 5]).captured_stone_ids == [5, 2, 5]
    assert qm.GameDelta(S6, [5, 2, 5]) != qm.GameDelta(S6, [2, 5, 5])
    assert qm.GameDelta(S6, range(3)).captured_stone_ids == [0, 1, 2]
    assert qm.GameDelta(S6, b"\x01\x02").captured_stone_ids == [1, 2]


def test_delta_ids_accept_index_objects():
    class Idx:
        def __init__(self, v):
            self.v = v

        def __index__(self):
            return self.v

    delta = qm.GameDelta(S6, [Idx(4), True, 2**32 - 1])
    assert delta.captured_stone_ids == [4, 1, 2**32 - 1]


@given(st.none() | st.tuples(ids, colors, coords, coords), st.lists(ids, max_size=6))
def test_delta_hash_is_siphash_of_its_stream(stone, id_list):
    obj = None if stone is None else qm.Stone(stone[0], qm.Color.WHITE if stone[1] else qm.Color.BLACK, stone[2:])
    assert hash(qm.GameDelta(obj, id_list)) == value_hash(delta_stream(stone, id_list))


def test_delta_equality():
    neg = qm.Stone(6, qm.Color.BLACK, (-0.0, 4.0))
    pos = qm.Stone(6, qm.Color.BLACK, (0.0, 4.0))
    assert qm.GameDelta(neg, [1]) == qm.GameDelta(pos, [1]) and hash(qm.GameDelta(neg, [1])) == hash(qm.GameDelta(pos, [1]))
    assert qm.GameDelta() == qm.GameDelta(None, None) == qm.GameDelta(None, [])
    assert qm.GameDelta(S6) != qm.GameDelta()
    assert qm.GameDelta().__eq__(S6) is NotImplemented
    assert qm.GameDelta().__le__(qm.GameDelta()) is NotImplemented
    assert {qm.GameDelta(S6, [1]), qm.GameDelta(S6, [1])} == {qm.GameDelta(S6, [1])}
