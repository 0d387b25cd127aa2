"""The board as players see it, as plain data the page draws.

The engine's own picture is a debugging view (a colour per group, labels,
hatching). Players need less and other things: stones in two colours,
territory shaded by its owner, the dead space round stones and the forced
eyes that captures leave told apart, the last move, the captures, the
result in words. This module turns a snapshot into that data; the page
only draws it. Coordinates of drawn shapes are rounded (a thousandth of a
stone's radius is below a pixel); stone positions stay exact, so that the
page can round them for people and records keep them exact.
"""

from __future__ import annotations

import math
from typing import Any

import quelmar as qm

from .. import scoring
from .table import COLOR_NAMES, Snapshot

Point = tuple[float, float]


def forced_eyes(deltas: list[qm.GameDelta]) -> list[Point]:
    """The forced eyes of the position a log leads to: a captured stone's
    centre stays playable until a stone is played on it (which clears that
    eye alone) or within 2.0 of it."""
    positions: dict[int, Point] = {}
    eyes: dict[Point, Point] = {}  # keyed by value: 0.0 and -0.0 are one key
    for delta in deltas:
        stone = delta.new_stone
        if stone is None:
            continue
        at = stone.position
        positions[stone.id] = at
        if at in eyes:
            del eyes[at]
        else:
            for key in [k for k in eyes if math.hypot(k[0] - at[0], k[1] - at[1]) <= 2.0]:
                del eyes[key]
        for captured in delta.captured_stone_ids:
            where = positions[captured]
            eyes[where] = where
    return list(eyes.values())


def _path(rings: list[list[tuple[float, float]]]) -> str:
    parts = []
    for ring in rings:
        if ring:
            points = " L ".join(f"{x:.3f} {y:.3f}" for x, y in ring)
            parts.append(f"M {points} Z")
    return " ".join(parts)


def moves(deltas: list[qm.GameDelta]) -> list[dict[str, Any]]:
    """The move list: each turn's colour, point (None for a pass) and the
    points of the stones it captured."""
    positions: dict[int, Point] = {}
    listed: list[dict[str, Any]] = []
    for turn, delta in enumerate(deltas):
        stone = delta.new_stone
        color = "black" if turn % 2 == 0 else "white"
        if stone is None:
            listed.append({"color": color, "at": None, "captured": []})
            continue
        positions[stone.id] = stone.position
        listed.append({"color": color, "at": list(stone.position),
                       "captured": [list(positions[c]) for c in delta.captured_stone_ids]})
    return listed


def result_words(result: scoring.Result, snapshot: Snapshot) -> str:
    """The result for people: who won and by how much, or why."""
    if result.reason == "unfinished":
        return ""
    if result.winner is None:
        return "A draw: the two scores are equal."
    winner = COLOR_NAMES[result.winner].capitalize()
    loser = COLOR_NAMES[result.winner.opposite()].capitalize()
    if result.margin is not None:
        amount = result.text.partition("+")[2]
        after = " at the move cap" if result.reason == "move-cap" else ""
        return f"{winner} wins by {amount} points{after}."
    if result.reason == "resignation":
        return f"{winner} wins: {loser} resigned."
    if result.reason == "time":
        return f"{winner} wins: {loser}'s bot gave no move in time."
    return f"{winner} wins: {loser}'s bot played a move the rules refuse."


def view(snapshot: Snapshot, with_moves: bool = True) -> dict[str, Any]:
    """Everything a page shows of a snapshot, as JSON-ready values."""
    info, game = snapshot.info, snapshot.game
    deltas = game.deltas()
    territory = game.territory()
    result = scoring.result_of(game, info.komi, snapshot.reason, snapshot.loser)
    groups = [{"owner": COLOR_NAMES[group.color], "path": _path(group.rings)}
              for group in game.groups()]
    stones = [[s.id, COLOR_NAMES[s.color], s.position[0], s.position[1]] for s in game.stones()]
    data: dict[str, Any] = {
        "id": info.id,
        "version": snapshot.version,
        "size": info.board_size,
        "komi": info.komi,
        "turn": game.turn,
        "to_move": COLOR_NAMES[game.pending_color] if snapshot.in_play else None,
        "in_play": snapshot.in_play,
        "next_pass_ends": game.status == qm.GameStatus.NEXT_PASS_ENDS,
        "players": {COLOR_NAMES[c]: {"kind": info.seat(c).kind, "name": info.seat(c).name}
                    for c in (qm.Color.BLACK, qm.Color.WHITE)},
        "captures": list(game.captures),
        "territory": list(territory),
        "score": [territory[0], territory[1] + info.komi],
        "result": {"text": result.text, "reason": result.reason,
                   "winner": COLOR_NAMES[result.winner] if result.winner is not None else None,
                   "words": result_words(result, snapshot),
                   "detail": snapshot.stop.detail if snapshot.stop is not None else ""},
        "stones": stones,
        "groups": groups,
        "eyes": [list(eye) for eye in forced_eyes(deltas)],
    }
    if with_moves:
        data["moves"] = moves(deltas)
    return data
