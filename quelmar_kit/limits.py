"""The bounds every tool of the kit puts on a new game's settings.

Command lines, the play server and loaded records check board sizes and komi
here, so that a value one tool accepts is never refused by another.
"""

from __future__ import annotations

import math

# The smallest whole size on which a first stone can live: a stone is a disc
# of radius 1 kept one radius inside the edge, and its territory must still
# touch playable space farther than 2.0 from it.
MIN_BOARD_SIZE = 4.0
# Far past any board people play (18 is usual): a board of 1,000 holds about
# 250,000 stones, and a move's cost grows with the stones in play.
MAX_BOARD_SIZE = 1000.0


class SettingError(ValueError):
    """A board size or komi outside the kit's bounds; the message is one
    line naming the value and the bound."""


def _number(value: object, what: str) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise SettingError(f"the {what} must be a number, not {type(value).__name__}")
    try:
        number = float(value)
    except OverflowError:  # an integer past every float
        raise SettingError(f"the {what} {value} is out of range") from None
    if not math.isfinite(number):
        raise SettingError(f"the {what} must be a finite number, not {number}")
    return number


def check_board_size(value: object) -> float:
    """`value` as a board size, or SettingError."""
    size = _number(value, "board size")
    if not MIN_BOARD_SIZE <= size <= MAX_BOARD_SIZE:
        raise SettingError(f"the board size must be between {MIN_BOARD_SIZE:g} and "
                           f"{MAX_BOARD_SIZE:g}, not {size:g}")
    return size


def check_komi(value: object, board_size: float) -> float:
    """`value` as the komi of a board of `board_size`, or SettingError.
    A komi larger than the board's whole area would decide every game."""
    komi = _number(value, "komi")
    area = board_size * board_size
    if not -area <= komi <= area:
        raise SettingError(f"the komi must lie within the board's area ({area:g}) either "
                           f"way, not {komi:g}")
    return komi


def parse_number(text: str, what: str) -> float:
    """A number given as text (a command-line argument), or SettingError."""
    try:
        number = float(text)
    except ValueError:
        raise SettingError(f"the {what} must be a number, not {text!r}") from None
    return _number(number, what)
