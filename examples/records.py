"""Game records: one game per line of JSON (JSON Lines).

A record holds the board size, the log of committed turns and the outcome;
RECORDS.md beside this file describes every field. Loading replays the log
with `Game.replay`, so a record that loads is a game the engine accepts, and
checks the outcome against the replayed board. A bad record raises
`RecordError` naming its line and field, and a file with one bad line loads
nothing.

    import records
    line = records.encode(game)                  # one line of JSON, no newline
    record = records.decode(line)                # record.game, record.outcome
    games = records.read("games.jsonl")          # every record, or RecordError
"""

from __future__ import annotations

import json
import math
from dataclasses import dataclass, field
from typing import Any, Iterable

import quelmar as qm

FORMAT = "quelmar-game"
VERSION = 1
# How a game came to stop: two passes in a row ended it, the player that
# made it stopped at a move cap, or it was saved while still in play.
ENDS = ("two-passes", "move-cap", "unfinished")
COLORS = {"black": qm.Color.BLACK, "white": qm.Color.WHITE}
MAX_STONE_ID = 2**32 - 1
# Territory is derived from the log, and a build of the engine by another
# compiler may round its last bits differently: the record's split is held
# to the replayed one within this relative tolerance, not to the bit.
TERRITORY_TOLERANCE = 1e-9

_TOP_FIELDS = ("format", "version", "board_size", "log", "outcome")
_MOVE_FIELDS = ("stone", "color", "x", "y", "captured")
_OUTCOME_FIELDS = ("captures", "territory", "end")


class RecordError(ValueError):
    """A record that cannot be loaded: its line, the field at fault (None
    when the line is not JSON at all) and what is wrong with it."""

    def __init__(self, line: int, field: str | None, problem: str):
        self.line, self.field, self.problem = line, field, problem
        where = f"line {line}" if field is None else f"line {line}, field {field}"
        super().__init__(f"{where}: {problem}")


@dataclass(frozen=True)
class Outcome:
    captures: tuple[int, int]          # stones captured by (black, white)
    territory: tuple[float, float]     # (black, white), as Game.territory()
    end: str                           # one of ENDS


@dataclass
class Record:
    game: qm.Game
    outcome: Outcome
    # Free-form facts about where the game came from (a self-play seed, say).
    meta: dict = field(default_factory=dict)


# ---------------------------------------------------------------- writing

def outcome_of(game: qm.Game, end: str | None = None) -> Outcome:
    """The outcome of `game` as it stands; `end` defaults to what the game's
    status says ("two-passes" or "unfinished")."""
    ended = game.status.has_ended()
    if end is None:
        end = "two-passes" if ended else "unfinished"
    if end not in ENDS:
        raise ValueError(f"end must be one of {ENDS}, not {end!r}")
    if (end == "two-passes") != ended:
        raise ValueError(f"a game with status {game.status} cannot have ended by {end!r}")
    return Outcome(game.captures, game.territory(), end)


def _turn(delta: qm.GameDelta) -> dict:
    stone = delta.new_stone
    if stone is None:
        return {"pass": True}
    x, y = stone.position
    return {"stone": stone.id, "color": stone.color.label, "x": x, "y": y,
            "captured": delta.captured_stone_ids}


def encode(game: qm.Game, end: str | None = None, meta: dict | None = None) -> str:
    """`game` as one line of JSON, without the newline. Coordinates are
    written as Python's shortest round-trip decimals, so they read back to
    the same bits."""
    if not math.isfinite(game.board_size):
        raise ValueError(f"a board of size {game.board_size} cannot be recorded")
    outcome = outcome_of(game, end)
    record: dict[str, Any] = {"format": FORMAT, "version": VERSION,
                              "board_size": game.board_size}
    if meta:
        record["meta"] = meta
    record["log"] = [_turn(d) for d in game.deltas()]
    record["outcome"] = {"captures": list(outcome.captures),
                         "territory": list(outcome.territory), "end": outcome.end}
    return json.dumps(record, separators=(",", ":"), allow_nan=False)


def write(path, lines: Iterable[str]) -> None:
    """Writes encoded records to `path`, one a line."""
    with open(path, "w", encoding="utf-8") as out:
        for line in lines:
            out.write(line + "\n")


# ---------------------------------------------------------------- reading

def _json_kind(value) -> str:
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "a boolean"
    if isinstance(value, (int, float)):
        return "a number"
    if isinstance(value, str):
        return "a string"
    return "an array" if isinstance(value, list) else "an object"


class _Line:
    """Checks the fields of one line, each failure naming the line and the
    field's path within the record (`log[3].x`)."""

    def __init__(self, line_number: int):
        self.line_number = line_number

    def fail(self, field: str, problem: str):
        raise RecordError(self.line_number, field, problem)

    def expect(self, value, kind, field: str, wanted: str):
        # bool is an int to Python but never a number to JSON.
        if isinstance(value, bool) or not isinstance(value, kind):
            self.fail(field, f"expected {wanted}, got {_json_kind(value)}")
        return value

    def object(self, value, field: str, required, optional=()) -> dict:
        self.expect(value, dict, field, "an object")
        for key in required:
            if key not in value:
                self.fail(f"{field}.{key}" if field else key, "missing")
        for key in value:
            if key not in required and key not in optional:
                self.fail(f"{field}.{key}" if field else key, "unexpected field")
        return value

    def number(self, value, field: str) -> float:
        self.expect(value, (int, float), field, "a number")
        if isinstance(value, int) and abs(value) > 2**53:
            self.fail(field, f"the integer {value} is too large to be read exactly")
        if not math.isfinite(value):
            self.fail(field, f"expected a finite number, got {value}")
        return float(value)

    def integer(self, value, field: str, high: int) -> int:
        self.expect(value, int, field, "an integer")
        if not 0 <= value <= high:
            self.fail(field, f"{value} is not between 0 and {high}")
        return value

    def pair(self, value, field: str, read):
        self.expect(value, list, field, "an array of two")
        if len(value) != 2:
            self.fail(field, f"expected an array of two, got {len(value)} elements")
        return tuple(read(v, f"{field}[{i}]") for i, v in enumerate(value))


def _parse_json(text: str, line: _Line):
    def unique(pairs):
        keys = [k for k, _ in pairs]
        for k in keys:
            if keys.count(k) > 1:
                raise ValueError(f"the key {k!r} appears twice")
        return dict(pairs)

    def no_constants(name):
        raise ValueError(f"{name} is not a JSON number")

    try:
        return json.loads(text, object_pairs_hook=unique, parse_constant=no_constants)
    except json.JSONDecodeError as e:
        raise RecordError(line.line_number, None, f"not valid JSON: {e.msg} (column {e.colno})")
    except ValueError as e:
        raise RecordError(line.line_number, None, f"not valid JSON: {e}")


def _delta(entry, turn: int, line: _Line) -> qm.GameDelta:
    """One turn of the log. Besides what a replay checks, the stone must
    carry the id and colour a played turn gives it (the turn's number, and
    black on even turns) and capture only stones of the other colour."""
    at = f"log[{turn}]"
    if isinstance(entry, dict) and "pass" in entry:
        line.object(entry, at, ("pass",))
        if entry["pass"] is not True:
            line.fail(f"{at}.pass", "must be true")
        return qm.GameDelta()
    line.object(entry, at, _MOVE_FIELDS)
    stone = line.integer(entry["stone"], f"{at}.stone", MAX_STONE_ID)
    if stone != turn:
        line.fail(f"{at}.stone", f"stone {stone} placed on turn {turn}, which places stone {turn}")
    color = line.expect(entry["color"], str, f"{at}.color", "a string")
    if color not in COLORS:
        line.fail(f"{at}.color", f"{color!r} is neither 'black' nor 'white'")
    if COLORS[color] != (qm.Color.BLACK if turn % 2 == 0 else qm.Color.WHITE):
        line.fail(f"{at}.color", f"{color} cannot move on turn {turn}")
    x, y = line.number(entry["x"], f"{at}.x"), line.number(entry["y"], f"{at}.y")
    captured = line.expect(entry["captured"], list, f"{at}.captured", "an array")
    ids = [line.integer(c, f"{at}.captured[{i}]", MAX_STONE_ID) for i, c in enumerate(captured)]
    for i, c in enumerate(ids):
        # Stone c was placed on turn c, so its colour is that turn's.
        if c % 2 == turn % 2:
            line.fail(f"{at}.captured[{i}]", f"stone {c} is {color}, the mover's own colour")
    return qm.GameDelta(qm.Stone(stone, COLORS[color], (x, y)), ids)


def _replay(board_size: float, deltas: list, line: _Line) -> qm.Game:
    try:
        return qm.Game.replay(board_size, deltas)
    except (qm.DeltaError, qm.GameOverError) as e:
        # A replay stops at the first delta it refuses, so the shortest
        # failing prefix ends at that delta.
        low, high = 0, len(deltas)  # the prefix of `low` replays, `high` fails
        while high - low > 1:
            middle = (low + high) // 2
            try:
                qm.Game.replay(board_size, deltas[:middle])
                low = middle
            except (qm.DeltaError, qm.GameOverError):
                high = middle
        line.fail(f"log[{high - 1}]", f"the board refuses this turn: {e}")


def _check_outcome(value, game: qm.Game, line: _Line) -> Outcome:
    line.object(value, "outcome", _OUTCOME_FIELDS)
    count = lambda v, f: line.integer(v, f, MAX_STONE_ID)
    captures = line.pair(value["captures"], "outcome.captures", count)
    territory = line.pair(value["territory"], "outcome.territory", line.number)
    end = line.expect(value["end"], str, "outcome.end", "a string")
    if end not in ENDS:
        line.fail("outcome.end", f"{end!r} is not one of {', '.join(ENDS)}")
    if captures != game.captures:
        line.fail("outcome.captures", f"the log captures {list(game.captures)}, "
                                      f"not {list(captures)}")
    if (end == "two-passes") != game.status.has_ended():
        line.fail("outcome.end", f"{end!r} does not fit a log whose game is "
                                 f"{'over' if game.status.has_ended() else 'still in play'}")
    replayed = game.territory()
    if not all(math.isclose(a, b, rel_tol=TERRITORY_TOLERANCE) for a, b in zip(territory, replayed)):
        line.fail("outcome.territory", f"the log gives {list(replayed)}, not {list(territory)}")
    return Outcome(captures, territory, end)


def decode(text: str, line_number: int = 1) -> Record:
    """The record on one line of text; `line_number` only names the line in
    errors. Raises RecordError."""
    line = _Line(line_number)
    record = _parse_json(text, line)
    if not isinstance(record, dict):
        raise RecordError(line_number, None, f"expected a JSON object, got {_json_kind(record)}")
    line.object(record, "", _TOP_FIELDS, ("meta",))
    if record["format"] != FORMAT:
        line.fail("format", f"expected {FORMAT!r}, got {record['format']!r}")
    if line.expect(record["version"], int, "version", "an integer") != VERSION:
        line.fail("version", f"this reader knows version {VERSION}, not {record['version']}")
    board_size = line.number(record["board_size"], "board_size")
    meta = line.expect(record.get("meta", {}), dict, "meta", "an object")
    log = line.expect(record["log"], list, "log", "an array")
    deltas = [_delta(entry, turn, line) for turn, entry in enumerate(log)]
    game = _replay(board_size, deltas, line)
    return Record(game, _check_outcome(record["outcome"], game, line), meta)


def decode_lines(lines: Iterable[str]) -> list[Record]:
    """Every record in `lines` (blank lines skipped), or RecordError for the
    first bad one and no records at all."""
    return [decode(text, number) for number, text in enumerate(lines, start=1) if text.strip()]


def read(path) -> list[Record]:
    """Every record in the file at `path`; see `decode_lines`."""
    with open(path, encoding="utf-8") as lines:
        return decode_lines(lines)
