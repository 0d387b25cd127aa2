"""One record to one line of text: the canonical form, so that a record
read and written again is the same bytes."""

from __future__ import annotations

from typing import Any

import quelmar as qm

from .model import FORMAT, HEADER_NAMES, VERSION, Headers, Note, Record
from .strict_json import dumps


def _headers(headers: Headers) -> dict[str, Any]:
    fixed = {name: getattr(headers, name) for name in HEADER_NAMES}
    fixed["komi"] = float(headers.komi)
    fixed["board_size"] = float(headers.board_size)
    clash = [key for key in headers.extra if key in fixed]
    if clash:
        raise ValueError(f"extra headers may not repeat the fixed ones: {clash}")
    return {**fixed, **headers.extra}


def _note(note: Note) -> dict[str, Any]:
    entries: dict[str, Any] = {}
    if note.time is not None:
        entries["time"] = float(note.time)
    if note.comment is not None:
        entries["comment"] = note.comment
    if note.analysis is not None:
        entries["analysis"] = dict(note.analysis)
    entries.update(note.extra)
    return entries


def _turn(delta: qm.GameDelta, note: Note | None) -> dict[str, Any]:
    stone = delta.new_stone
    if stone is None:
        entry: dict[str, Any] = {"pass": True}
    else:
        x, y = stone.position
        entry = {"stone": stone.id, "color": stone.color.label, "x": x, "y": y,
                 "captured": delta.captured_stone_ids}
    if note is not None:
        entry["note"] = _note(note)
    return entry


def encode_turn(delta: qm.GameDelta, note: Note | None = None) -> str:
    """One turn as `encode` writes it inside a record's log, for stores that
    keep a log turn by turn (the play server's database)."""
    return dumps(_turn(delta, note))


def encode(record: Record) -> str:
    """`record` as one line of JSON, without the newline. Coordinates and
    territory are written as their shortest round-trip decimals, so they
    read back to the same bits."""
    notes = record.notes or (None,) * len(record.deltas)
    if len(notes) != len(record.deltas):
        raise ValueError(f"{len(notes)} notes for {len(record.deltas)} turns")
    line: dict[str, Any] = {"format": FORMAT, "version": VERSION,
                            "headers": _headers(record.headers)}
    if record.meta:
        line["meta"] = dict(record.meta)
    line["log"] = [_turn(d, n) for d, n in zip(record.deltas, notes)]
    line["outcome"] = {"captures": list(record.outcome.captures),
                       "territory": [float(t) for t in record.outcome.territory]}
    return dumps(line)
