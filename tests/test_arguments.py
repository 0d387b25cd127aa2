"""Argument binding and conversion, through the constructors of Stone and
GameDelta: the interpreter-style call errors, the argument-error rule, and
bad input of every kind answered by the specified exception, never a crash."""

import math

import pytest
from hypothesis import given
from hypothesis import strategies as st

import quelmar as qm
from expect import raises

B = qm.Color.BLACK
ORIGIN = (0.0, 0.0)


# ---------------------------------------------------------------- binding


@pytest.mark.parametrize(
    "args,kwargs,text",
    [
        ((), {}, "Stone.__new__() missing 3 required positional arguments: 'id', 'color', and 'position'"),
        ((1,), {}, "Stone.__new__() missing 2 required positional arguments: 'color' and 'position'"),
        ((1, B), {}, "Stone.__new__() missing 1 required positional argument: 'position'"),
        ((), {"color": B}, "Stone.__new__() missing 2 required positional arguments: 'id' and 'position'"),
        ((1, B, ORIGIN, 4), {}, "Stone.__new__() takes 3 positional arguments but 4 were given"),
        ((1, B), {"id": 2}, "Stone.__new__() got multiple values for argument 'id'"),
        ((1, B, ORIGIN), {"colour": B}, "Stone.__new__() got an unexpected keyword argument 'colour'"),
    ],
)
def test_stone_call_errors(args, kwargs, text):
    raises(TypeError, text, qm.Stone, *args, **kwargs)
    # The tuple-and-dict path of __new__ gives the same texts.
    raises(TypeError, text, qm.Stone.__new__, qm.Stone, *args, **kwargs)


@pytest.mark.parametrize(
    "args,text",
    [
        ((None, None, None), "GameDelta.__new__() takes from 0 to 2 positional arguments but 3 were given"),
        ((None, None, None, None), "GameDelta.__new__() takes from 0 to 2 positional arguments but 4 were given"),
    ],
)
def test_delta_call_errors(args, text):
    raises(TypeError, text, qm.GameDelta, *args)


def test_keywords_bind_in_any_order():
    a = qm.Stone(position=(1.0, 2.0), id=4, color=B)
    assert a == qm.Stone(4, B, (1.0, 2.0)) == qm.Stone(4, position=(1.0, 2.0), color=B)
    assert qm.GameDelta(captured_stone_ids=[1], new_stone=a) == qm.GameDelta(a, [1])
    raises(TypeError, "GameDelta.__new__() got multiple values for argument 'new_stone'", qm.GameDelta, None, new_stone=None)


def test_call_errors_come_before_any_conversion():
    class Loud:
        def __float__(self):
            raise AssertionError("converted")

    raises(TypeError, "Stone.__new__() takes 3 positional arguments but 4 were given", qm.Stone, 1, B, (Loud(), 0), 4)


# ---------------------------------------------------------------- the argument-error rule


def test_type_errors_name_the_argument_and_keep_the_cause():
    err = raises(TypeError, "argument 'color': 'int' object cannot be cast as 'Color'", qm.Stone, 0, 1, ORIGIN)
    assert type(err.__cause__) is TypeError and str(err.__cause__) == "'int' object cannot be cast as 'Color'"
    assert err.__context__ is err.__cause__
    assert err.args == ("argument 'color': 'int' object cannot be cast as 'Color'",)


def test_conversion_order_is_signature_order():
    # id is converted before color, color before position.
    raises(TypeError, "argument 'id': 'str' object cannot be interpreted as an integer", qm.Stone, "0", 1, None)
    raises(TypeError, "argument 'color': 'int' object cannot be cast as 'Color'", qm.Stone, 0, 1, None)


def test_other_exception_types_pass_through_unwrapped():
    class Boom(Exception):
        pass

    class RaisesValue:
        def __float__(self):
            raise ValueError("bad float")

    class RaisesCustom:
        def __index__(self):
            raise Boom("bad index")

    class RaisesTypeSubclass:
        def __float__(self):
            raise NotImplementedTypeError("mine")

    class NotImplementedTypeError(TypeError):
        pass

    raises(ValueError, "bad float", qm.Stone, 0, B, (RaisesValue(), 0.0))
    raises(Boom, "bad index", qm.Stone, RaisesCustom(), B, ORIGIN)
    # Only a TypeError itself is rewritten, not a subclass of it.
    raises(NotImplementedTypeError, "mine", qm.Stone, 0, B, (RaisesTypeSubclass(), 0.0))


# ---------------------------------------------------------------- floats and positions


class Floaty:
    def __init__(self, v):
        self.v = v

    def __float__(self):
        return self.v


class Indexy:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v


class TupleSub(tuple):
    pass


@pytest.mark.parametrize(
    "position,expected",
    [
        ((1, 2), (1.0, 2.0)),
        ((True, False), (1.0, 0.0)),
        ((Floaty(1.5), Indexy(3)), (1.5, 3.0)),
        (TupleSub((0.5, 0.25)), (0.5, 0.25)),
        ((math.inf, -math.inf), (math.inf, -math.inf)),
        ((2**60, -(2**60)), (float(2**60), float(-(2**60)))),
    ],
)
def test_positions_accept_the_float_protocol(position, expected):
    assert qm.Stone(0, B, position).position == expected


def test_nan_coordinates_are_values_like_any_other():
    x, y = qm.Stone(0, B, (math.nan, 1.0)).position
    assert math.isnan(x) and y == 1.0


@pytest.mark.parametrize(
    "position,reason",
    [
        ([1.0, 2.0], "'list' object cannot be cast as 'tuple'"),
        (None, "'NoneType' object cannot be cast as 'tuple'"),
        ("ab", "'str' object cannot be cast as 'tuple'"),
        ({1: 2}, "'dict' object cannot be cast as 'tuple'"),
        ((), "expected tuple of length 2, but got tuple of length 0"),
        ((1.0,), "expected tuple of length 2, but got tuple of length 1"),
        ((1.0, 2.0, 3.0), "expected tuple of length 2, but got tuple of length 3"),
        (TupleSub((1.0,)), "expected tuple of length 2, but got tuple of length 1"),
        (("1", 2.0), "must be real number, not str"),
        ((1.0, None), "must be real number, not NoneType"),
        ((1.0, 1j), "must be real number, not complex"),
        ((Floaty(1), 0.0), "Floaty.__float__ returned non-float (type int)"),
        ((Indexy(1.5), 0.0), "__index__ returned non-int (type float)"),
    ],
)
def test_bad_positions(position, reason):
    raises(TypeError, f"argument 'position': {reason}", qm.Stone, 0, B, position)


def test_position_too_large_for_a_float_overflows():
    raises(OverflowError, "int too large to convert to float", qm.Stone, 0, B, (10**400, 0.0))


# ---------------------------------------------------------------- ids


@pytest.mark.parametrize("value,expected", [(0, 0), (True, 1), (Indexy(7), 7), (2**32 - 1, 2**32 - 1)])
def test_ids_accept_the_index_protocol(value, expected):
    assert qm.Stone(value, B, ORIGIN).id == expected
    assert qm.GameDelta(None, [value]).captured_stone_ids == [expected]


@pytest.mark.parametrize("value", [-1, 2**32, 2**63 - 1, -(2**63), Indexy(-5), Indexy(2**40)])
def test_ids_outside_u32_overflow(value):
    raises(OverflowError, "out of range integral type conversion attempted", qm.Stone, value, B, ORIGIN)
    raises(OverflowError, "out of range integral type conversion attempted", qm.GameDelta, None, [1, value])


@pytest.mark.parametrize("value", [2**63, -(2**63) - 1, 10**30, Indexy(2**64)])
def test_ids_beyond_a_signed_long_get_the_interpreters_overflow(value):
    raises(OverflowError, "Python int too large to convert to C long", qm.Stone, value, B, ORIGIN)
    raises(OverflowError, "Python int too large to convert to C long", qm.GameDelta, None, [value])


@pytest.mark.parametrize(
    "value,reason",
    [
        (1.0, "'float' object cannot be interpreted as an integer"),
        ("1", "'str' object cannot be interpreted as an integer"),
        (None, "'NoneType' object cannot be interpreted as an integer"),
        (qm.Color.WHITE, "'quelmar.Color' object cannot be interpreted as an integer"),
        (Indexy("3"), "__index__ returned non-int (type str)"),
    ],
)
def test_non_integer_ids(value, reason):
    raises(TypeError, f"argument 'id': {reason}", qm.Stone, value, B, ORIGIN)
    raises(TypeError, f"argument 'captured_stone_ids': {reason}", qm.GameDelta, None, [0, value])


# ---------------------------------------------------------------- other kinds


@pytest.mark.parametrize("value,name", [(0, "int"), (1, "int"), (True, "bool"), ("black", "str"), (qm.CutKind.CONNECTED, "CutKind")])
def test_color_must_be_a_color(value, name):
    raises(TypeError, f"argument 'color': '{name}' object cannot be cast as 'Color'", qm.Stone, 0, value, ORIGIN)


@pytest.mark.parametrize(
    "value,reason",
    [
        ("12", "Can't extract `str` to `Vec`"),
        ("", "Can't extract `str` to `Vec`"),
        (5, "'int' object cannot be cast as 'Sequence'"),
        ({1, 2}, "'set' object cannot be cast as 'Sequence'"),
        ({1: 2}, "'dict' object cannot be cast as 'Sequence'"),
        (iter([1]), "'list_iterator' object cannot be cast as 'Sequence'"),
    ],
)
def test_captured_ids_must_be_a_sequence(value, reason):
    raises(TypeError, f"argument 'captured_stone_ids': {reason}", qm.GameDelta, None, value)


def test_new_stone_must_be_a_stone():
    raises(TypeError, "argument 'new_stone': 'tuple' object cannot be cast as 'Stone'", qm.GameDelta, (0, B, ORIGIN))
    raises(TypeError, "argument 'new_stone': 'GameDelta' object cannot be cast as 'Stone'", qm.GameDelta, qm.GameDelta())


def test_sequence_whose_iteration_fails_passes_its_error():
    class Broken:
        def __len__(self):
            return 10**18

        def __getitem__(self, i):
            if i == 2:
                raise KeyError("gone")
            return i

    raises(KeyError, "'gone'", qm.GameDelta, None, Broken())


# ---------------------------------------------------------------- never a crash

anything = st.one_of(
    st.none(),
    st.booleans(),
    st.integers(),
    st.floats(),
    st.text(max_size=3),
    st.binary(max_size=3),
    st.lists(st.integers(), max_size=3),
    st.tuples(st.floats(), st.floats()),
    st.tuples(st.integers(), st.integers(), st.integers()),
    st.sampled_from([qm.Color.BLACK, qm.BoardEdge.TOP, object(), 1j, Floaty(2.0), Indexy(3)]),
)


@given(anything, anything, anything)
def test_any_constructor_input_gives_a_stone_or_a_specified_exception(a, b, c):
    for build in (lambda: qm.Stone(a, b, c), lambda: qm.GameDelta(a, b), lambda: qm.GameDelta(new_stone=None, captured_stone_ids=c)):
        try:
            build()
        except (TypeError, OverflowError):
            pass
