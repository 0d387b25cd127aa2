"""A record's log: its turns read into deltas and notes, its bookkeeping
checked in one pass, and one replay that names the turn the board refuses."""

from __future__ import annotations

import re
from typing import Any

import quelmar as qm

from .fields import Fields
from .model import Note

COLORS = {"black": qm.Color.BLACK, "white": qm.Color.WHITE}
MAX_STONE_ID = 2**32 - 1
_MOVE_FIELDS = ("stone", "color", "x", "y", "captured")
_NOTE = ("note",)
_STONE_IN_MESSAGE = re.compile(r"stone (\d+)")


def note(value: Any, field: str, fields: Fields) -> Note:
    """A turn's note: the known annotations checked, the others kept."""
    entries = fields.free_object(value, field)
    time = entries.get("time")
    if time is not None:
        time = fields.number(time, f"{field}.time")
        if time < 0.0:
            fields.fail(f"{field}.time", f"a time spent cannot be negative ({time})")
    comment = entries.get("comment")
    if comment is not None:
        comment = fields.expect(comment, str, f"{field}.comment", "a string")
    analysis = entries.get("analysis")
    if analysis is not None:
        analysis = fields.expect(analysis, dict, f"{field}.analysis", "an object")
    extra = {k: v for k, v in entries.items() if k not in ("time", "comment", "analysis")}
    return Note(time, comment, analysis, extra)


def turn(entry: Any, index: int, fields: Fields, notes: bool) -> tuple[qm.GameDelta, Note | None]:
    """One turn of the log. Besides what a replay checks, the stone must
    carry the id and colour a played turn gives it (the turn's number, and
    black on even turns) and capture only stones of the other colour."""
    at = f"log[{index}]"
    optional = _NOTE if notes else ()
    if isinstance(entry, dict) and "pass" in entry:
        fields.object(entry, at, ("pass",), optional)
        if entry["pass"] is not True:
            fields.fail(f"{at}.pass", "must be true")
        return qm.GameDelta(), _note_of(entry, at, fields)
    fields.object(entry, at, _MOVE_FIELDS, optional)
    stone = fields.integer(entry["stone"], f"{at}.stone", MAX_STONE_ID)
    if stone != index:
        fields.fail(f"{at}.stone", f"stone {stone} placed on turn {index}, which places stone {index}")
    color = fields.expect(entry["color"], str, f"{at}.color", "a string")
    if color not in COLORS:
        fields.fail(f"{at}.color", f"{color!r} is neither 'black' nor 'white'")
    if COLORS[color] != (qm.Color.BLACK if index % 2 == 0 else qm.Color.WHITE):
        fields.fail(f"{at}.color", f"{color} cannot move on turn {index}")
    x, y = fields.number(entry["x"], f"{at}.x"), fields.number(entry["y"], f"{at}.y")
    captured = fields.expect(entry["captured"], list, f"{at}.captured", "an array")
    ids = [fields.integer(c, f"{at}.captured[{i}]", MAX_STONE_ID) for i, c in enumerate(captured)]
    for i, c in enumerate(ids):
        # Stone c was placed on turn c, so its colour is that turn's.
        if c % 2 == index % 2:
            fields.fail(f"{at}.captured[{i}]", f"stone {c} is {color}, the mover's own colour")
    delta = qm.GameDelta(qm.Stone(stone, COLORS[color], (x, y)), ids)
    return delta, _note_of(entry, at, fields)


def _note_of(entry: dict[str, Any], at: str, fields: Fields) -> Note | None:
    return note(entry["note"], f"{at}.note", fields) if "note" in entry else None


def check_bookkeeping(deltas: list[qm.GameDelta], fields: Fields) -> None:
    """What the board would refuse about the log's bookkeeping alone, named
    at its turn: a capture of a stone not in play (never placed, captured
    already, or captured twice in one turn) and a turn after two passes."""
    in_play: set[int] = set()
    passes = 0
    for index, delta in enumerate(deltas):
        if passes >= 2:
            fields.fail(f"log[{index}]", f"the game ended on two passes at turn {index - 1}, "
                                         f"so no turn follows it")
        stone = delta.new_stone
        if stone is None:
            passes += 1
            continue
        passes = 0
        for i, c in enumerate(delta.captured_stone_ids):
            if c not in in_play:
                fields.fail(f"log[{index}].captured[{i}]",
                            f"stone {c} is not on the board and cannot be captured")
            in_play.remove(c)
        in_play.add(stone.id)


def replay(board_size: float, deltas: list[qm.GameDelta], fields: Fields) -> qm.Game:
    """The game the log plays; a refused turn is named by the stone the
    engine names, which a turn places (its id is the turn's number)."""
    try:
        return qm.Game.replay(board_size, deltas)
    except (qm.DeltaError, qm.GameOverError) as refusal:
        stone = getattr(refusal, "stone", None)
        if stone is None:
            named = _STONE_IN_MESSAGE.search(str(refusal))
            stone = int(named.group(1)) if named else None
        where = f"log[{stone}]" if stone is not None and stone < len(deltas) else "log"
        fields.fail(where, f"the board refuses this turn: {refusal}")
