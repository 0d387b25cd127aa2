"""What a game record holds, as plain values.

A record is the headers (a fixed set in a fixed order, plus any others a
writer added), free-form `meta`, the log of committed turns with an optional
note on each, and the outcome the log leads to. `Record.game` is the
replayed game when the reader replayed the log.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any, Mapping

import quelmar as qm

from .. import scoring

FORMAT = "quelmar-game"
VERSION = 2
# The fixed headers, in the order they are written (the way PGN's seven
# tags are): what was played, where, when, which round, by whom, how it
# ended, under which komi and on which board, and the engine's version.
HEADER_NAMES = ("event", "site", "date", "round", "black", "white", "result", "reason",
                "komi", "board_size", "engine")
UNKNOWN = "?"

JsonValue = Any  # a value json.loads can give: dict, list, str, int, float, bool, None


@dataclass(frozen=True)
class Headers:
    board_size: float
    komi: float = scoring.DEFAULT_KOMI
    result: str = scoring.UNFINISHED
    reason: str = "unfinished"
    event: str = UNKNOWN
    site: str = UNKNOWN
    date: str = UNKNOWN
    round: str = UNKNOWN
    black: str = UNKNOWN
    white: str = UNKNOWN
    engine: str = field(default_factory=qm.version)
    # Headers outside the fixed set, kept in their order and written after it.
    extra: Mapping[str, JsonValue] = field(default_factory=dict)


@dataclass(frozen=True)
class Note:
    """What a writer said about one turn: the seconds the player spent, a
    comment, the player's own analysis (free-form: visits, value, principal
    variation, ...) and any other annotation, kept as it came."""

    time: float | None = None
    comment: str | None = None
    analysis: Mapping[str, JsonValue] | None = None
    extra: Mapping[str, JsonValue] = field(default_factory=dict)


@dataclass(frozen=True)
class Outcome:
    captures: tuple[int, int]          # stones captured by (black, white)
    territory: tuple[float, float]     # (black, white), as Game.territory()


@dataclass(frozen=True)
class Record:
    headers: Headers
    deltas: tuple[qm.GameDelta, ...]
    outcome: Outcome
    # One note per turn (None where a turn has none), or empty for none at all.
    notes: tuple[Note | None, ...] = ()
    meta: Mapping[str, JsonValue] = field(default_factory=dict)
    # The replayed game; None when the log was not replayed.
    game: qm.Game | None = field(default=None, compare=False)

    @property
    def result(self) -> scoring.Result:
        """The result the headers give, read against the outcome."""
        return scoring.parse_result(self.headers.result, self.headers.reason,
                                    self.outcome.territory, self.headers.komi)

    def replay(self) -> qm.Game:
        """A new game played from the log (`game` is the one the reader
        replayed, and its owner may have changed it since)."""
        return qm.Game.replay(self.headers.board_size, list(self.deltas))


def record_of(game: qm.Game, *, komi: float = scoring.DEFAULT_KOMI, reason: str | None = None,
              loser: qm.Color | None = None, notes: tuple[Note | None, ...] = (),
              meta: Mapping[str, JsonValue] | None = None, **headers: Any) -> Record:
    """The record of `game` as it stands, scored by `scoring.result_of` (so
    `reason` defaults to `two-passes` for an ended game, else `unfinished`).
    Other keyword arguments set headers: `event`, `black`, `white`, ... and
    `extra` for headers outside the fixed set."""
    result = scoring.result_of(game, komi, reason, loser)
    deltas = tuple(game.deltas())
    if notes and len(notes) != len(deltas):
        raise ValueError(f"{len(notes)} notes for {len(deltas)} turns")
    return Record(
        headers=Headers(board_size=game.board_size, komi=komi, result=result.text,
                        reason=result.reason, **headers),
        deltas=deltas,
        outcome=Outcome(game.captures, game.territory()),
        notes=tuple(notes),
        meta=dict(meta or {}),
        game=game,
    )
