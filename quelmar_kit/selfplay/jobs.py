"""What one self-play game is, as plain data a worker process can take,
and its record.

Game i of a run is seeded `first_seed + i`; its black bot is seeded twice
that and its white bot twice that plus one, so no two games of any runs
share a bot's seed unless they share the game's seed.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Iterator

from .. import game_loop, records
from ..bots import make_bot

EVENT = "quelmar-selfplay"
# Game seeds stay below this, so that the bots' seeds (twice as large)
# remain exact in every JSON reader.
MAX_SEED = 2**52 - 1


@dataclass(frozen=True)
class Settings:
    """What every game of a run shares."""

    board_size: float
    komi: float
    max_moves: int
    black: str  # bot names
    white: str


@dataclass(frozen=True)
class Job:
    index: int
    seed: int
    settings: Settings


@dataclass(frozen=True)
class Played:
    """A finished job: its record line and what the summary counts."""

    index: int
    line: str
    result: str
    turns: int


def jobs(settings: Settings, first_seed: int, games: int, start: int = 0) -> Iterator[Job]:
    """The run's jobs from game `start` on, made one at a time as asked."""
    return (Job(i, first_seed + i, settings) for i in range(start, games))


def seeds_problem(first_seed: int, games: int) -> str | None:
    """Why a run cannot use these seeds, or None."""
    if first_seed < 0:
        return f"the seed must be zero or more, not {first_seed}"
    if first_seed + games - 1 > MAX_SEED:
        return f"the seeds of {games} games from {first_seed} go past {MAX_SEED}"
    return None


def record_of(job: Job, finished: game_loop.Finished) -> records.Record:
    s = job.settings
    return records.record_of(
        finished.game, komi=s.komi, reason=finished.reason, loser=finished.loser,
        event=EVENT, round=str(job.index + 1), black=s.black, white=s.white,
        meta={"seed": job.seed, "max_moves": s.max_moves})


def play_job(job: Job) -> Played:
    """Plays one job's game; the function worker processes run."""
    s = job.settings
    black, white = make_bot(s.black, 2 * job.seed), make_bot(s.white, 2 * job.seed + 1)
    finished = game_loop.play_game(s.board_size, black, white, s.max_moves, komi=s.komi)
    record = record_of(job, finished)
    return Played(job.index, records.encode(record), record.headers.result, finished.game.turn)


def expected_headers(job: Job) -> dict[str, object]:
    """The headers and meta a job's record must carry: how a resumed run
    knows that a partial file is its own."""
    s = job.settings
    return {"board_size": s.board_size, "komi": s.komi, "black": s.black, "white": s.white,
            "round": str(job.index + 1), "seed": job.seed, "max_moves": s.max_moves}

