"""Time controls, shared by the match referee and the engine protocol.

- `none`: no clock (a referee still bounds each move, see quelmar-match).
- `move SECONDS`: every move has SECONDS; unused time is lost.
- `absolute MAIN`: MAIN seconds for the whole game.
- `fischer MAIN INCREMENT`: MAIN seconds, and INCREMENT added after each
  move played.

The text forms are the arguments of the protocol's `time_settings` and of
quelmar-match's `--time`. `move_budget` is how a player that keeps a clock
spreads it over the moves to come; the engine server and the in-process
players of a match use the same rule, so both spend the same.
"""

from __future__ import annotations

import math
from dataclasses import dataclass

from .bots.candidates import capacity

KINDS = ("none", "move", "absolute", "fischer")
# Far more than any game needs, small enough to stay exact and printable.
MAX_SECONDS = 1e7


class TimeControlError(ValueError):
    """A time control that does not parse; one line."""


@dataclass(frozen=True)
class TimeControl:
    kind: str = "none"
    main: float = 0.0        # seconds: per move for `move`, per game otherwise
    increment: float = 0.0   # seconds added after each move (`fischer`)

    @property
    def text(self) -> str:
        """The control as `parse` reads it (`fischer 60 0.5`)."""
        if self.kind == "none":
            return "none"
        if self.kind == "fischer":
            return f"fischer {self.main!r} {self.increment!r}"
        return f"{self.kind} {self.main!r}"

    @property
    def has_clock(self) -> bool:
        """Whether each player has a clock that carries over from move to move."""
        return self.kind in ("absolute", "fischer")


NO_CLOCK = TimeControl()


def _seconds(text: str, what: str, positive: bool) -> float:
    try:
        value = float(text)
    except ValueError:
        raise TimeControlError(f"the {what} must be a number of seconds, not {text!r}") from None
    if not math.isfinite(value) or value < 0.0 or value > MAX_SECONDS \
            or (positive and value == 0.0):
        low = "above 0" if positive else "at least 0"
        raise TimeControlError(f"the {what} must be {low} and at most {MAX_SECONDS:g} "
                               f"seconds, not {text}")
    return value


def parse(words: list[str] | str) -> TimeControl:
    """The control named by `none`, `move S`, `absolute MAIN` or
    `fischer MAIN INCREMENT`; TimeControlError otherwise."""
    parts = words.split() if isinstance(words, str) else list(words)
    if not parts or parts[0] not in KINDS:
        raise TimeControlError(f"a time control is one of {', '.join(KINDS)}, "
                               f"not {' '.join(parts)!r}")
    kind, args = parts[0], parts[1:]
    wanted = {"none": 0, "move": 1, "absolute": 1, "fischer": 2}[kind]
    if len(args) != wanted:
        raise TimeControlError(f"'{kind}' takes {wanted} number{'s' if wanted != 1 else ''} "
                               f"of seconds, not {len(args)}")
    if kind == "none":
        return NO_CLOCK
    if kind == "fischer":
        return TimeControl(kind, _seconds(args[0], "main time", True),
                           _seconds(args[1], "increment", False))
    return TimeControl(kind, _seconds(args[0], "time" if kind == "move" else "main time", True))


def move_budget(control: TimeControl, remaining: float | None, board_size: float,
                turn: int) -> float | None:
    """The seconds a player should spend on its next move: all of a `move`
    control, a share of the clock's `remaining` seconds for the others
    (the moves still to come are estimated from how full the board can
    get, at least ten), None without a clock."""
    if control.kind == "none":
        return None
    if control.kind == "move":
        return control.main
    left = max(remaining if remaining is not None else control.main, 0.0)
    moves_to_come = max(10.0, capacity(board_size) * 1.5 - turn / 2)
    share = left / moves_to_come + control.increment * 0.8
    # Never the whole clock: a reply has to travel back before it runs out.
    return max(min(share, left * 0.5), 1e-3)
