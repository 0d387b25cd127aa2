"""Bots think in worker processes, never in the server's.

A search bot may think for seconds, and the engine keeps the interpreter
lock for the length of each call: in the server's process that would
stall every request. Each worker is a process of its own, fed one job at
a time over a pipe: the bot's name and seed, the game as its log, the
limit and the komi. A worker that has not answered by the deadline is
killed and replaced, and its bot loses on time; a bot that raises, or answers
something that is not a move, loses by an illegal move. The registry names
the bots, so a bot added to it is offered here without a change.
"""

from __future__ import annotations

import asyncio
import hashlib
import multiprocessing
import multiprocessing.connection
import signal
from dataclasses import dataclass
from typing import Any

import quelmar as qm

from ..bots import PASS, RESIGN, Limit, Move, make_bot

# Time to start a worker and replay a long log, on top of the bot's limit.
DEADLINE_SLACK = 10.0


@dataclass(frozen=True)
class Job:
    bot: str
    seed: int
    board_size: float
    deltas: list[qm.GameDelta]
    limit: Limit
    komi: float


@dataclass(frozen=True)
class Answer:
    """A bot's move, or why it has none: `failure` is `time` or
    `illegal-move` (scoring's reasons) with `detail` in words."""

    move: Move | None
    failure: str | None = None
    detail: str = ""


def seed_for(game_id: str, turn: int) -> int:
    """A bot's seed for one turn of one game: the same after a restart."""
    digest = hashlib.sha256(f"{game_id}:{turn}".encode()).digest()
    return int.from_bytes(digest[:6], "big")


def _checked(move: Any) -> Move | None:
    if move == PASS or move == RESIGN:
        return str(move)  # type: ignore[return-value]
    if isinstance(move, tuple) and len(move) == 2 and \
            all(isinstance(v, float) and not isinstance(v, bool) for v in move):
        return (move[0], move[1])
    return None


def _serve(conn: multiprocessing.connection.Connection) -> None:
    """A worker's life: one job at a time until the pipe closes."""
    # Ctrl-C reaches the whole process group; the server stops its workers.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    while True:
        try:
            job: Job = conn.recv()
        except (EOFError, OSError):
            return
        try:
            game = qm.Game.replay(job.board_size, job.deltas)
            move = make_bot(job.bot, job.seed).choose(game, job.limit, job.komi)
            conn.send(("move", move))
        except Exception as e:  # the bot's fault: it loses, the worker goes on
            conn.send(("error", f"{type(e).__name__}: {e}"))


class _Worker:
    def __init__(self) -> None:
        context = multiprocessing.get_context("spawn")
        self.conn, child = context.Pipe()
        self.process = context.Process(target=_serve, args=(child,), daemon=True,
                                       name="quelmar-play-bot")
        self.process.start()
        child.close()

    def kill(self) -> None:
        self.process.kill()
        self.process.join(5)
        self.conn.close()


class Thinker:
    """A pool of worker processes, started as bots first need them."""

    def __init__(self, workers: int = 1) -> None:
        self._size = workers
        self._started = 0
        self._idle: asyncio.Queue[_Worker] | None = None
        self._all: set[_Worker] = set()

    async def think(self, job: Job, deadline: float) -> Answer:
        if self._idle is None:
            self._idle = asyncio.Queue()
        if self._idle.empty() and self._started < self._size:
            self._started += 1
            worker = _Worker()
            self._all.add(worker)
        else:
            worker = await self._idle.get()
        loop = asyncio.get_running_loop()
        ready: asyncio.Future[None] = loop.create_future()
        fd = worker.conn.fileno()

        def readable() -> None:
            if not ready.done():
                ready.set_result(None)
        loop.add_reader(fd, readable)
        try:
            worker.conn.send(job)
            await asyncio.wait_for(ready, deadline)
            kind, value = worker.conn.recv()
        except asyncio.TimeoutError:
            self._replace(worker)
            return Answer(None, "time", f"no move within {deadline:g} seconds")
        except (EOFError, OSError) as e:
            self._replace(worker)
            return Answer(None, "illegal-move", f"the bot's process stopped ({e})")
        except asyncio.CancelledError:
            self._replace(worker)
            raise
        finally:
            loop.remove_reader(fd)
        self._idle.put_nowait(worker)
        if kind == "error":
            return Answer(None, "illegal-move", f"the bot failed: {value}")
        move = _checked(value)
        if move is None:
            return Answer(None, "illegal-move", f"the bot answered {str(value)[:60]!r}")
        return Answer(move)

    def _replace(self, worker: _Worker) -> None:
        """Kills a worker that overran or broke and starts another in its
        place, for whoever waits for a worker."""
        worker.kill()
        self._all.discard(worker)
        fresh = _Worker()
        self._all.add(fresh)
        assert self._idle is not None
        self._idle.put_nowait(fresh)

    def close(self) -> None:
        for worker in list(self._all):
            worker.kill()
        self._all.clear()
