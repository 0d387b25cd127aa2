"""What one match game is, as plain data a worker process can take, and
the function that plays it into a record line.

Game i of a match is seeded `first_seed + i`; the bot playing black is
seeded twice that and the one playing white twice that plus one (as in
self-play), and an engine that knows `quelmar-seed` is told the same. The
first player (A) takes black in even games and white in odd ones, so with
openings each opening is played once with each colour.
"""

from __future__ import annotations

import multiprocessing
import signal
import sys
import threading
from dataclasses import dataclass
from types import FrameType
from typing import Iterator

import quelmar as qm

from .. import records
from ..bots import Move
from ..protocol.client import EngineLimits
from .players import PlayerChoice, make_player
from .referee import Refereed, Rules, referee

EVENT = "quelmar-match"


@dataclass(frozen=True)
class MatchSettings:
    rules: Rules
    a: PlayerChoice
    b: PlayerChoice
    engine_limits: EngineLimits = EngineLimits()
    event: str = EVENT


@dataclass(frozen=True)
class Opening:
    index: int               # its place in the openings file, from 0
    moves: tuple[Move, ...]


@dataclass(frozen=True)
class MatchJob:
    index: int
    seed: int
    settings: MatchSettings
    opening: Opening | None = None

    @property
    def a_is_black(self) -> bool:
        return self.index % 2 == 0


@dataclass(frozen=True)
class MatchPlayed:
    """A finished game: its record line and what the tally counts."""

    index: int
    line: str
    result: str
    reason: str
    a_is_black: bool
    a_score: float       # 1 for a win of A, 0.5 for a draw, 0 for a loss
    turns: int
    names: tuple[str, str]  # black's and white's, as the players gave them


def match_jobs(settings: MatchSettings, first_seed: int, games: int,
               openings: Iterator[Opening] | None = None) -> Iterator[MatchJob]:
    """The match's jobs, made one at a time as asked; each opening serves
    two games in a row, one with each colour."""
    opening: Opening | None = None
    for index in range(games):
        if openings is not None and index % 2 == 0:
            opening = next(openings)
        yield MatchJob(index, first_seed + index, settings, opening)


def record_of(job: MatchJob, refereed: Refereed) -> records.Record:
    rules = job.settings.rules
    meta: dict[str, object] = {"seed": job.seed, "max_moves": rules.max_moves}
    if rules.control.kind != "none":
        meta["time_control"] = rules.control.text
    if job.opening is not None:
        meta["opening"] = job.opening.index
    if refereed.detail is not None:
        meta["forfeit"] = refereed.detail
    black, white = refereed.names
    return records.record_of(
        refereed.game, komi=rules.komi, reason=refereed.reason, loser=refereed.loser,
        notes=refereed.notes, meta=meta, event=job.settings.event, round=str(job.index + 1),
        black=black, white=white)


def _end_on_sigterm() -> None:
    """In a worker process, SIGTERM (how a pool ends its workers) unwinds
    the game, so that its engines are ended with it instead of outliving
    the match."""
    if multiprocessing.parent_process() is None:
        return  # the match's own process decides what SIGTERM means
    if threading.current_thread() is not threading.main_thread():
        return

    def stop(signum: int, frame: FrameType | None) -> None:
        sys.exit(128 + signum)
    signal.signal(signal.SIGTERM, stop)


def play_match_job(job: MatchJob) -> MatchPlayed:
    """Plays one game of the match; the function worker processes run."""
    _end_on_sigterm()
    s = job.settings
    first, second = (s.a, s.b) if job.a_is_black else (s.b, s.a)
    black, white = make_player(first, s.engine_limits), make_player(second, s.engine_limits)
    try:
        refereed = referee(black, white, s.rules, (2 * job.seed, 2 * job.seed + 1),
                           job.opening.moves if job.opening is not None else ())
    finally:
        black.close()
        white.close()
    record = record_of(job, refereed)
    result = record.result
    a_color = qm.Color.BLACK if job.a_is_black else qm.Color.WHITE
    a_score = 0.5 if result.winner is None else float(result.winner == a_color)
    return MatchPlayed(job.index, records.encode(record), result.text, result.reason,
                       job.a_is_black, a_score, refereed.game.turn, refereed.names)
