"""Number texts against Python's own shortest digits.

Messages and the SVG print coordinates as the shortest digits that read
back to the same float, never in exponent form: a huge whole value is those
digits padded with zeros, not its exact binary expansion. Representations
print the same digits, in exponent form below 1e-4 and from 1e16."""

import math
import re
from decimal import Decimal

import pytest

import quelmar as qm

B = qm.Color.BLACK
W = qm.Color.WHITE
TWO53 = 2.0 ** 53

VALUES = sorted({
    TWO53 - 2, TWO53 - 1, TWO53, TWO53 + 2, TWO53 + 4, math.nextafter(TWO53, 0), math.nextafter(TWO53, math.inf),
    2.0 ** 54 + 4, 2.0 ** 60, 2.0 ** 64, 2.0 ** 70, 2.0 ** 1023,
    1e23, -1e23, 1e22, 9.999999999999999e22, 123456789012345678901234567890.0,
    5e-324, -5e-324, 2.2250738585072014e-308, 2.225073858507201e-308, 1.5e-7, 1e-4, 0.1, 0.3,
    -0.0, 0.0, 1.7976931348623157e308, -1.7976931348623157e308,
    *[10.0 ** k for k in range(0, 309)], *[-(10.0 ** k) for k in range(15, 25)],
}, key=lambda v: (v, math.copysign(1, v)))


def plain_text(v):
    """Python's shortest digits, written out in full; whole values bare."""
    if math.isnan(v):
        return "NaN"
    if math.isinf(v):
        return "inf" if v > 0 else "-inf"
    text = format(Decimal(repr(v)), "f")
    return text[:-2] if text.endswith(".0") else text


def repr_text(v):
    """Python's repr, with the exponent written without '+' or leading zeros."""
    if math.isnan(v):
        return "NaN"
    mantissa, _, exponent = repr(v).partition("e")
    return mantissa if not exponent else f"{mantissa}e{int(exponent)}"


def test_expected_texts_follow_python():
    assert plain_text(2.0 ** 60) == "1152921504606847000"
    assert plain_text(1e300) == "1" + "0" * 300
    assert plain_text(-0.0) == "-0"
    assert repr_text(1.5e16) == "1.5e16" and repr_text(1e-5) == "1e-5"


@pytest.mark.parametrize("v", VALUES, ids=repr)
def test_messages_print_shortest_digits(v):
    game = qm.Game(18.0)
    with pytest.raises(qm.NotPlaceableError) as refused:
        game.try_move((v, -1.0))
    assert str(refused.value) == f"no stone may be placed at ({plain_text(v)}, -1)"
    with pytest.raises(qm.NotPlaceableError) as refused:
        game.try_move((-2.0, v))
    assert str(refused.value) == f"no stone may be placed at (-2, {plain_text(v)})"
    with pytest.raises(qm.OffBoardError) as off:
        qm.Game.replay(18.0, [qm.GameDelta(qm.Stone(7, B, (v, -1.5)))])
    assert str(off.value) == f"stone 7's centre ({plain_text(v)}, -1.5) is not on the board"


@pytest.mark.parametrize("v", VALUES, ids=repr)
def test_representations_print_shortest_digits(v):
    stone = qm.Stone(3, W, (v, 5.0))
    assert repr(stone) == f"Stone(id=3, color=Color.WHITE, position=({repr_text(v)}, 5.0))"
    assert repr(qm.Game(v)).startswith(f"Game(board_size={repr_text(v)},")


@pytest.mark.parametrize("v", [v for v in VALUES if v > 0], ids=repr)
def test_svg_display_text_prints_shortest_digits(v):
    # A stone in the far corner, captured so that its forced eye is drawn
    # too, and a stone at (v, 0) that stays.
    log = [qm.GameDelta(qm.Stone(0, B, (v, v))), qm.GameDelta(qm.Stone(1, W, (v, 0.0)), [0])]
    doc = qm.Game.replay(v, log).dump_svg()
    s = plain_text(v)
    assert f'width="{s}" height="{s}" viewBox="0 0 {s} {s}"' in doc
    assert f'<rect width="{s}" height="{s}" fill="white"/>' in doc
    assert f'<circle cx="{s}" cy="{s}" r="1" stroke="none"/>' in doc
    stones = re.findall(r'<circle cx="([^"]*)" cy="([^"]*)" r="0.95"', doc)
    labels = re.findall(r'<text x="([^"]*)" y="([^"]*)"', doc)
    assert stones == labels and set(stones) <= {(s, "0")}


@pytest.mark.parametrize("size", [math.nan, -math.nan, math.inf, -math.inf])
def test_svg_of_a_non_finite_board_spells_numbers_as_the_texts_do(size):
    doc = qm.Game(size).dump_svg()
    assert "nan" not in doc and "INF" not in doc
    numbers = re.findall(r'(?<![#\w.-])-?(?:NaN|inf|\d+(?:\.\d+)?)', doc)
    assert numbers and all(n in ("NaN", "inf", "-inf") or re.fullmatch(r"-?\d+(\.\d)?|0\.\d+|\d+", n)
                           for n in numbers)
