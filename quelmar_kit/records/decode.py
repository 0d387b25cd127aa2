"""One line of text to one record: the JSON read strictly, every field
checked, the log replayed once and the outcome and result checked against
the replayed game. Versions 1 and 2 both load; version 1 records have no
headers of their own, so theirs are made from what the record holds."""

from __future__ import annotations

import math
from typing import Any

from .. import limits, scoring
from .errors import RecordError
from .fields import Fields, json_kind
from .log_check import MAX_STONE_ID, check_bookkeeping, replay, turn
from .model import FORMAT, HEADER_NAMES, UNKNOWN, VERSION, Headers, Note, Outcome, Record
from .strict_json import JsonProblem, parse

# Territory is derived from the log, and a build of the engine by another
# compiler may round its last bits differently: the record's split is held
# to the replayed one within this relative tolerance, not to the bit.
TERRITORY_TOLERANCE = 1e-9
KNOWN_VERSIONS = (1, 2)
# How a version 1 game stopped.
V1_ENDS = ("two-passes", "move-cap", "unfinished")

_TOP = {1: ("format", "version", "board_size", "log", "outcome"),
        2: ("format", "version", "headers", "log", "outcome")}
_HEADER_TEXTS = ("event", "site", "date", "round", "black", "white", "engine")


def _top(text: str, fields: Fields) -> tuple[dict[str, Any], int]:
    """The line's object with its format and version checked."""
    try:
        record = parse(text)
    except JsonProblem as e:
        fields.fail(None, str(e))
    if not isinstance(record, dict):
        fields.fail(None, f"expected a JSON object, got {json_kind(record)}")
    for key in ("format", "version"):
        if key not in record:
            fields.fail(key, "missing")
    if record["format"] != FORMAT:
        fields.fail("format", f"expected {FORMAT!r}, got {record['format']!r}")
    version = fields.expect(record["version"], int, "version", "an integer")
    if version not in KNOWN_VERSIONS:
        fields.fail("version", f"this reader knows versions 1 and 2, not {version}")
    fields.object(record, "", _TOP[version], ("meta",))
    return record, version


def _board_size(value: Any, field: str, fields: Fields) -> float:
    try:
        return limits.check_board_size(fields.number(value, field))
    except limits.SettingError as e:
        fields.fail(field, str(e))


def _headers_v2(value: Any, fields: Fields) -> Headers:
    entries = fields.free_object(value, "headers")
    for name in HEADER_NAMES:
        if name not in entries:
            fields.fail(f"headers.{name}", "missing")
    texts = {name: fields.text(entries[name], f"headers.{name}") for name in _HEADER_TEXTS}
    board_size = _board_size(entries["board_size"], "headers.board_size", fields)
    komi = fields.number(entries["komi"], "headers.komi")
    try:
        limits.check_komi(komi, board_size)
    except limits.SettingError as e:
        fields.fail("headers.komi", str(e))
    reason = fields.text(entries["reason"], "headers.reason")
    if reason not in scoring.REASONS:
        fields.fail("headers.reason", f"{reason!r} is not one of {', '.join(scoring.REASONS)}")
    result = fields.text(entries["result"], "headers.result")
    extra = {k: v for k, v in entries.items() if k not in HEADER_NAMES}
    return Headers(board_size=board_size, komi=komi, result=result, reason=reason,
                   extra=extra, **texts)


def _meta(record: dict[str, Any], fields: Fields) -> dict[str, Any]:
    return fields.free_object(record["meta"], "meta") if "meta" in record else {}


def read_headers(text: str, line: int | None = None) -> tuple[Headers, dict[str, Any]]:
    """The headers and meta of the record on `text`, without reading or
    replaying its log: the fast path for listing a file. Raises RecordError."""
    fields = Fields(line)
    record, version = _top(text, fields)
    if version == 1:
        return _headers_v1(record, fields), _meta(record, fields)
    return _headers_v2(record["headers"], fields), _meta(record, fields)


def _headers_v1(record: dict[str, Any], fields: Fields) -> Headers:
    """Version 1 headers: the board, komi 0, and the result its outcome
    gives (checked, as in version 2, once the log is replayed)."""
    board_size = _board_size(record["board_size"], "board_size", fields)
    outcome = fields.object(record["outcome"], "outcome", ("captures", "territory", "end"))
    end = fields.expect(outcome["end"], str, "outcome.end", "a string")
    if end not in V1_ENDS:
        fields.fail("outcome.end", f"{end!r} is not one of {', '.join(V1_ENDS)}")
    territory = fields.pair(outcome["territory"], "outcome.territory", fields.number)
    komi = scoring.DEFAULT_KOMI
    if end in scoring.SCORED_REASONS:
        result = scoring.scored(territory, komi, end).text
    else:
        result = scoring.UNFINISHED
    return Headers(board_size=board_size, komi=komi, result=result, reason=end, engine=UNKNOWN)


def _outcome(value: Any, fields: Fields, version: int) -> Outcome:
    keys = ("captures", "territory") if version == 2 else ("captures", "territory", "end")
    fields.object(value, "outcome", keys)
    count = lambda v, f: fields.integer(v, f, MAX_STONE_ID)  # noqa: E731
    captures = fields.pair(value["captures"], "outcome.captures", count)
    territory = fields.pair(value["territory"], "outcome.territory", fields.number)
    return Outcome(captures, territory)


def _check_against_game(record: Record, game: Any, fields: Fields, version: int) -> None:
    outcome, headers = record.outcome, record.headers
    if outcome.captures != game.captures:
        fields.fail("outcome.captures", f"the log captures {list(game.captures)}, "
                                        f"not {list(outcome.captures)}")
    reason_field = "headers.reason" if version == 2 else "outcome.end"
    ended = game.status.has_ended()
    if (headers.reason == "two-passes") != ended:
        fields.fail(reason_field, f"{headers.reason!r} does not fit a log whose game is "
                                  f"{'over' if ended else 'still in play'}")
    replayed = game.territory()
    if not all(math.isclose(a, b, rel_tol=TERRITORY_TOLERANCE)
               for a, b in zip(outcome.territory, replayed)):
        fields.fail("outcome.territory",
                    f"the log gives {list(replayed)}, not {list(outcome.territory)}")
    try:
        record.result
    except scoring.ResultError as e:
        fields.fail("headers.result", str(e))


def decode(text: str, line: int | None = None) -> Record:
    """The record on one line of text (without its newline); `line` only
    names the line in errors. Raises RecordError."""
    fields = Fields(line)
    record, version = _top(text, fields)
    if version == 1:
        headers = _headers_v1(record, fields)
    else:
        headers = _headers_v2(record["headers"], fields)
    meta = _meta(record, fields)
    log = fields.expect(record["log"], list, "log", "an array")
    turns = [turn(entry, index, fields, notes=version == 2) for index, entry in enumerate(log)]
    deltas = [delta for delta, _ in turns]
    notes: tuple[Note | None, ...] = ()
    if any(n is not None for _, n in turns):
        notes = tuple(n for _, n in turns)
    outcome = _outcome(record["outcome"], fields, version)
    check_bookkeeping(deltas, fields)
    game = replay(headers.board_size, deltas, fields)
    decoded = Record(headers, tuple(deltas), outcome, notes, meta, game)
    _check_against_game(decoded, game, fields, version)
    return decoded


__all__ = ["decode", "read_headers", "RecordError", "VERSION"]
