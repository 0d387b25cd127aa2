"""The two kinds of player a match seats: a built-in bot, played in this
process, and an engine, a program speaking the engine protocol over its
standard input and output.

A player is made for one game and closed after it: an engine is started
afresh for every game and ended after it, so no game inherits another's
state or a wedged process. Every way a player can fail (no answer in
time, an exit, an answer that is not a move) comes back as a `Failure`
with the reason a record gives it, never as an exception out of the
referee.
"""

from __future__ import annotations

import contextlib
import shlex
import shutil
import time
from dataclasses import dataclass
from typing import Iterator, Protocol

import quelmar as qm

from ..bots import Bot, BotNameError, Limit, Move, analysis_of, make_bot
from ..protocol import client
from ..records import strict_json
from ..timecontrol import TimeControl

ENGINE_PREFIX = "engine:"
# What a record keeps of an engine's analysis of a move (a turn note sits
# this deep in a record), so that an engine cannot make a record too long
# to read back; the client cuts its name and refusals short the same way.
MAX_ANALYSIS_BYTES = 4096
NOTE_DEPTH = 4


@dataclass(frozen=True)
class PlayerChoice:
    """A player as the command line names it: a bot name
    (`mcts:playouts=400`) or `engine:COMMAND ARGS...`."""

    text: str
    bot: str | None = None
    command: tuple[str, ...] = ()


def parse_player(text: str) -> PlayerChoice:
    """The player `text` names; ValueError with one line if it names none."""
    if text.startswith(ENGINE_PREFIX):
        try:
            command = tuple(shlex.split(text[len(ENGINE_PREFIX):]))
        except ValueError as e:
            raise ValueError(f"{text!r}: {e}") from None
        if not command:
            raise ValueError(f"{text!r} names no command to run")
        if shutil.which(command[0]) is None:
            raise ValueError(f"{text!r}: there is no program {command[0]!r} to run")
        return PlayerChoice(text, command=command)
    try:
        name = make_bot(text, 0).name
    except BotNameError as e:
        raise ValueError(str(e)) from None
    return PlayerChoice(text, bot=name)


@dataclass(frozen=True)
class GameStart:
    """What a player is told before a game: the board, the komi, the time
    control, its seed, and the moves of the opening already played."""

    board_size: float
    komi: float
    control: TimeControl
    seed: int
    opening: tuple[Move, ...] = ()


class Failure(Exception):
    """A player failed: `reason` is a record's reason (`time`, `crash`,
    `bad-answer`), `detail` says what happened in one line."""

    def __init__(self, reason: str, detail: str):
        super().__init__(detail)
        self.reason, self.detail = reason, detail


@dataclass(frozen=True)
class Answer:
    move: Move
    seconds: float
    analysis: dict[str, object] | None = None


class Player(Protocol):
    @property
    def name(self) -> str: ...

    def start(self, start: GameStart) -> None:
        """Gets ready for a game; Failure if the player cannot."""

    def play(self, color: qm.Color, move: Move) -> None:
        """Learns the opponent's move; Failure if the player refuses it."""

    def genmove(self, game: qm.Game, limit: Limit, timeout: float,
                clock: float | None) -> Answer:
        """The player's move in `game` (which it must not change), within
        `timeout` seconds; `clock` is what its clock shows, if it has one.
        Failure if it gives no move."""

    def close(self) -> None: ...


class BotPlayer:
    """A built-in bot. It reads the referee's game, so there is nothing to
    tell it; a bot that raises is reported as a crash. A bot cannot be
    stopped mid-move: the referee checks its time once it answers."""

    def __init__(self, text: str):
        self.text = text
        self.bot: Bot | None = None
        self.komi = 0.0

    @property
    def name(self) -> str:
        return self.bot.name if self.bot is not None else self.text

    def start(self, start: GameStart) -> None:
        self.bot = make_bot(self.text, start.seed)
        self.komi = start.komi

    def play(self, color: qm.Color, move: Move) -> None:
        pass

    def genmove(self, game: qm.Game, limit: Limit, timeout: float,
                clock: float | None) -> Answer:
        assert self.bot is not None, "start() first"
        started = time.perf_counter()
        try:
            move = self.bot.choose(game, limit, self.komi)
        except Exception as e:  # a fault in the bot loses its game, not the match
            raise Failure("crash", f"{self.name} raised {type(e).__name__}: {e}") from None
        return Answer(move, time.perf_counter() - started, analysis_of(self.bot))

    def close(self) -> None:
        self.bot = None


class EnginePlayer:
    """An engine program, started by `start` and ended by `close`."""

    def __init__(self, command: tuple[str, ...], limits: client.EngineLimits):
        self.command, self.limits = command, limits
        self.engine: client.Engine | None = None
        self.control = TimeControl()

    @property
    def name(self) -> str:
        if self.engine is not None and self.engine.name:
            return self.engine.name
        return shlex.join(self.command)

    def start(self, start: GameStart) -> None:
        with _failures():
            self.engine = engine = client.Engine(self.command, self.limits)
            engine.boardsize(start.board_size)
            engine.komi(start.komi)
            engine.time_settings(start.control)
            self.control = start.control
            if engine.known("quelmar-seed"):
                engine.seed(start.seed)
            color = qm.Color.BLACK
            for move in start.opening:
                engine.play(color, move)
                color = color.opposite()

    def play(self, color: qm.Color, move: Move) -> None:
        assert self.engine is not None, "start() first"
        with _failures():
            self.engine.play(color, move)

    def genmove(self, game: qm.Game, limit: Limit, timeout: float,
                clock: float | None) -> Answer:
        assert self.engine is not None, "start() first"
        with _failures():
            color = game.pending_color
            if clock is not None:
                self.engine.time_left(color, max(clock, 0.0))
            generated = self.engine.genmove(color, timeout=timeout)
            return Answer(generated.move, generated.seconds, self._analysis())

    def _analysis(self) -> dict[str, object] | None:
        """What the engine says of its move, when it says anything (the
        `quelmar-analysis` extension), as the record's turn note keeps it."""
        assert self.engine is not None
        if not self.engine.known("quelmar-analysis"):
            return None
        text = self.engine.send("quelmar-analysis")
        if len(text) > MAX_ANALYSIS_BYTES:
            return None
        try:
            analysis = strict_json.parse(text)
        except strict_json.JsonProblem:
            return None
        if not isinstance(analysis, dict) or not analysis or \
                strict_json.free_form_problem(analysis, NOTE_DEPTH) is not None:
            return None
        return analysis

    def close(self) -> None:
        if self.engine is not None:
            self.engine.close()


@contextlib.contextmanager
def _failures() -> Iterator[None]:
    """Turns the engine client's exceptions into Failures with their reason."""
    try:
        yield
    except client.EngineTimeout as e:
        raise Failure("time", str(e)) from None
    except client.EngineTerminated as e:
        raise Failure("crash", str(e)) from None
    except (client.EngineBadAnswer, client.CommandRefused) as e:
        raise Failure("bad-answer", str(e)) from None
    except OSError as e:  # the command cannot even start
        raise Failure("crash", f"cannot start the engine: {e}") from None


def make_player(choice: PlayerChoice, limits: client.EngineLimits) -> Player:
    if choice.bot is not None:
        return BotPlayer(choice.bot)
    return EnginePlayer(choice.command, limits)
