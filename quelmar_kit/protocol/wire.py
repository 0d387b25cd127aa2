"""The engine protocol's text: commands, answers, colours, numbers and moves.

Framing is GTP 2's. A command is one line, `[id] name [args...]`; before it
is read, control characters other than tab and newline are dropped, tabs
become spaces and everything from `#` on is a comment, so a line that is
then empty is no command at all. An answer is `=[id] text` on success or
`?[id] message` on failure, followed by one empty line; its text may span
lines but never holds an empty one.

Coordinates travel as the shortest decimal that reads back to the same
64-bit float (Python's `repr`: `4.0`, `3.4641016151377544`, `1e-05`), so
both ends agree on every bit. Both ends read any decimal number, without
infinities, NaN or digit separators.
"""

from __future__ import annotations

import math
import re
from dataclasses import dataclass

import quelmar as qm

from ..bots import PASS, RESIGN, Move

# The longest command line or answer either end accepts, in bytes: enough
# for a record of a long game on a large board (`quelmar-load`).
MAX_LINE_BYTES = 16 * 1024 * 1024

_CONTROL = re.compile(r"[\x00-\x08\x0b-\x1f\x7f]")
_NUMBER = re.compile(r"[+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?")
_ID = re.compile(r"\d{1,18}")
COLORS = {"black": qm.Color.BLACK, "b": qm.Color.BLACK,
          "white": qm.Color.WHITE, "w": qm.Color.WHITE}


class WireError(ValueError):
    """Text that is not what the protocol allows here; one line."""


@dataclass(frozen=True)
class Command:
    id: int | None
    name: str
    args: tuple[str, ...]
    rest: str = ""  # the text after the name as it stands, inner spaces kept


def clean(line: str) -> str:
    """A raw line as the protocol reads it: control characters dropped,
    tabs as spaces, the comment cut, surrounding space stripped."""
    line = _CONTROL.sub("", line.replace("\t", " "))
    return line.split("#", 1)[0].strip()


def parse_command(line: str) -> Command | None:
    """The command on `line`, or None for a line that holds none (empty,
    or only a comment). A line of only an id is a command with no name."""
    text = clean(line)
    words = text.split(None, 1)
    if not words:
        return None
    ident: int | None = None
    if _ID.fullmatch(words[0]):
        ident = int(words[0])
        words = words[1].split(None, 1) if len(words) > 1 else []
    if not words:
        return Command(ident, "", ())
    rest = words[1] if len(words) > 1 else ""
    return Command(ident, words[0], tuple(rest.split()), rest)


def _answer(mark: str, ident: int | None, text: str) -> str:
    head = mark + ("" if ident is None else str(ident))
    # An empty line ends an answer: none may appear inside one.
    lines = [line for line in text.replace("\r", "").split("\n") if line.strip()]
    body = "\n".join(lines)
    return f"{head} {body}\n\n" if body else f"{head}\n\n"


def success(ident: int | None, text: str = "") -> str:
    return _answer("=", ident, text)


def failure(ident: int | None, message: str) -> str:
    return _answer("?", ident, message)


def number_text(value: float) -> str:
    return repr(float(value))


def parse_number(text: str, what: str = "number") -> float:
    """A finite number written in decimal; WireError otherwise."""
    if not _NUMBER.fullmatch(text):
        raise WireError(f"the {what} must be a decimal number, not {text[:40]!r}")
    value = float(text)
    if not math.isfinite(value):
        raise WireError(f"the {what} {text[:40]} is out of range")
    return value


def parse_color(text: str) -> qm.Color:
    color = COLORS.get(text.lower())
    if color is None:
        raise WireError(f"a colour is black or white, not {text[:40]!r}")
    return color


def color_text(color: qm.Color) -> str:
    return color.label


def parse_move(args: tuple[str, ...] | list[str], resign: bool = False) -> Move:
    """`pass`, `x y` or (where `resign` allows it) `resign`; WireError otherwise."""
    if len(args) == 1 and args[0].lower() == "pass":
        return PASS
    if resign and len(args) == 1 and args[0].lower() == "resign":
        return RESIGN
    if len(args) != 2:
        shown = " ".join(args)[:60]
        raise WireError(f"a move is 'x y' or 'pass', not {shown!r}")
    return (parse_number(args[0], "x coordinate"), parse_number(args[1], "y coordinate"))


def move_text(move: Move) -> str:
    if isinstance(move, tuple):
        return f"{number_text(move[0])} {number_text(move[1])}"
    return move
