"""One game on the server: the engine's game, who sits at each colour, how
it stopped, and the lock that keeps its changes in order.

Every change happens under the table's lock and comes out as a `Change`,
a plain value holding what the database must write and a `Snapshot`: a
private copy of the game that nobody changes afterwards. Readers (pages,
pushes, downloads, bots) only ever see snapshots, so nothing slow happens
while the lock is held: a change costs one engine call and one copy.
Changes are handed to `on_change` under the lock, so they reach the
database in the order they were made.
"""

from __future__ import annotations

import copy
import threading
from dataclasses import dataclass
from typing import Callable, Literal

import quelmar as qm

from ..bots import PASS, RESIGN, Move
from . import security

# A game stops, scored as it stands, after this many turns: long past any
# game people play, short enough that a game's log stays a few megabytes.
MAX_TURNS = 10_000

SeatKind = Literal["person", "bot"]
COLOR_NAMES = {qm.Color.BLACK: "black", qm.Color.WHITE: "white"}


@dataclass(frozen=True)
class Seat:
    """Who plays one colour: a person (known by a token, kept hashed) or a
    bot (its name with options, `random:tries=40`). `name` is what records call them."""

    kind: SeatKind
    name: str
    token_hash: str | None = None


@dataclass(frozen=True)
class GameInfo:
    """What does not change during a game."""

    id: str
    board_size: float
    komi: float
    black: Seat
    white: Seat
    created: float            # seconds since the epoch
    event: str = "quelmar-play"

    def seat(self, color: qm.Color) -> Seat:
        return self.black if color == qm.Color.BLACK else self.white


@dataclass(frozen=True)
class Stop:
    """How a game stopped other than by two passes: `reason` is one of
    scoring.REASONS (resignation, time, illegal-move, move-cap) and `loser`
    who lost it (None for a move cap, which is scored)."""

    reason: str
    loser: qm.Color | None = None
    detail: str = ""


@dataclass(frozen=True)
class Snapshot:
    """A game as it stood at one version. `game` is a private copy: never
    change it, share it freely."""

    info: GameInfo
    version: int
    game: qm.Game
    stop: Stop | None

    @property
    def in_play(self) -> bool:
        return self.stop is None and not self.game.status.has_ended()

    @property
    def reason(self) -> str:
        if self.stop is not None:
            return self.stop.reason
        return "two-passes" if self.game.status.has_ended() else "unfinished"

    @property
    def loser(self) -> qm.Color | None:
        return self.stop.loser if self.stop is not None else None

    def bot_to_move(self) -> Seat | None:
        """The bot whose turn it is, if the game is in play and it is one's."""
        seat = self.info.seat(self.game.pending_color)
        return seat if self.in_play and seat.kind == "bot" else None


@dataclass(frozen=True)
class Change:
    """One change of a game, as the database writes it: keep the first
    `keep` turns of the stored log, then add `added`. `created` marks the
    first change of a new game, which writes its seats too."""

    snapshot: Snapshot
    keep: int
    added: tuple[qm.GameDelta, ...]
    created: bool = False

    @property
    def game_id(self) -> str:
        return self.snapshot.info.id

    @property
    def version(self) -> int:
        return self.snapshot.version


class Refusal(Exception):
    """A request the game turns down: an HTTP status and one line of words."""

    def __init__(self, status: int, message: str):
        super().__init__(message)
        self.status, self.message = status, message


def point_text(point: tuple[float, float]) -> str:
    """A point for people: two decimals (records keep the exact values)."""
    return f"({point[0]:.2f}, {point[1]:.2f})"


def _ignore(change: Change) -> None:
    pass


class Table:
    def __init__(self, info: GameInfo, game: qm.Game, version: int = 0,
                 stop: Stop | None = None,
                 on_change: Callable[[Change], None] = _ignore) -> None:
        self._lock = threading.Lock()
        self.info = info
        self._game = game
        self._version = version
        self._stop = stop
        self._on_change = on_change
        self._published = self._snapshot()

    # ---------------------------------------------------------------- reading

    @property
    def published(self) -> Snapshot:
        """The latest snapshot the database holds: what readers are shown."""
        return self._published

    def publish(self, snapshot: Snapshot) -> bool:
        """Shows `snapshot` to readers once it is stored; answers whether it
        is newer than what they saw (changes can be stored in a batch)."""
        with self._lock:
            if snapshot.version <= self._published.version:
                return False
            self._published = snapshot
            return True

    def first_change(self) -> Change:
        """The change that stores a new game: its seats and its whole log."""
        with self._lock:
            snapshot = self._snapshot()
            return Change(snapshot, 0, tuple(snapshot.game.deltas()), created=True)

    def seat_of(self, token: str) -> qm.Color:
        """The colour whose seat `token` opens; Refusal (403) for none."""
        for color in (qm.Color.BLACK, qm.Color.WHITE):
            seat = self.info.seat(color)
            if seat.kind == "person" and security.token_matches(token, seat.token_hash):
                return color
        raise Refusal(403, "this link opens no seat of this game: you can watch it")

    # ---------------------------------------------------------------- changing

    def play(self, color: qm.Color, version: int, point: tuple[float, float]) -> Change:
        """A person's stone at the playable point nearest `point`."""
        with self._lock:
            self._check_turn(color, version)
            target = self._game.nearest_living_move(point)
            if target is None:
                raise Refusal(409, "there is nowhere left to play: pass instead")
            delta = self._try(target, f"{COLOR_NAMES[color]}'s stone")
            return self._changed(self._game.turn - 1, (delta,))

    def pass_turn(self, color: qm.Color, version: int) -> Change:
        with self._lock:
            self._check_turn(color, version)
            self._game.pass_turn()
            return self._changed(self._game.turn - 1, (qm.GameDelta(),))

    def resign(self, color: qm.Color, version: int) -> Change:
        """`color` gives up; either player may, whoever is to move."""
        with self._lock:
            self._check_open(version)
            self._stop = Stop("resignation", color)
            return self._changed(self._game.turn, ())

    def undo(self, color: qm.Color, version: int) -> Change:
        """Takes back `color`'s last turn, and the bot's answer to it. A
        person's answer is theirs: once the other player has moved, only
        they can take their move back."""
        with self._lock:
            self._check_version(version)
            if self._stop is not None:
                raise Refusal(409, "the game is over: it can no longer be taken back")
            turn = self._game.turn
            if turn == 0:
                raise Refusal(409, "there is nothing to take back")
            last = _color_of_turn(turn - 1)
            keep = turn - 1
            if last != color:
                if self.info.seat(last).kind == "person":
                    raise Refusal(409, f"{COLOR_NAMES[last]} has answered: only they can take "
                                       f"their turn back")
                if turn < 2:
                    raise Refusal(409, "you have not played yet")
                keep = turn - 2
            while self._game.turn > keep:
                self._game.undo_move()
            return self._changed(keep, ())

    def bot_move(self, color: qm.Color, version: int, move: Move,
                 refusal_words: str = "") -> Change | None:
        """Plays the move a bot chose for `version`; None when the game has
        moved on since (the move answered a position that is gone). A move
        the rules refuse loses the game, as in bot matches."""
        with self._lock:
            if version != self._version or not self._in_play() \
                    or self._game.pending_color != color:
                return None
            if move == RESIGN:
                self._stop = Stop("resignation", color)
                return self._changed(self._game.turn, ())
            if move == PASS:
                self._game.pass_turn()
                return self._changed(self._game.turn - 1, (qm.GameDelta(),))
            try:
                assert isinstance(move, tuple)
                delta = self._game.try_move(move)
            except (qm.StonePlayError, qm.GameOverError, TypeError, ValueError) as e:
                self._stop = Stop("illegal-move", color, f"{refusal_words}{e}")
                return self._changed(self._game.turn, ())
            return self._changed(self._game.turn - 1, (delta,))

    def bot_failed(self, color: qm.Color, version: int, reason: str, detail: str) -> Change | None:
        """A bot that gave no answer in time (`time`) or broke
        (`illegal-move`) loses; None when the game has moved on."""
        with self._lock:
            if version != self._version or not self._in_play() \
                    or self._game.pending_color != color:
                return None
            self._stop = Stop(reason, color, detail)
            return self._changed(self._game.turn, ())

    # ---------------------------------------------------------------- inside the lock

    def _snapshot(self) -> Snapshot:
        return Snapshot(self.info, self._version, copy.copy(self._game), self._stop)

    def _in_play(self) -> bool:
        return self._stop is None and not self._game.status.has_ended()

    def _check_version(self, version: int) -> None:
        if version != self._version:
            raise Refusal(409, "the game has changed since your page showed it: look again")

    def _check_open(self, version: int) -> None:
        self._check_version(version)
        if not self._in_play():
            raise Refusal(409, "the game is over")

    def _check_turn(self, color: qm.Color, version: int) -> None:
        self._check_open(version)
        mover = self._game.pending_color
        if mover != color:
            raise Refusal(409, f"it is {COLOR_NAMES[mover]}'s turn, not yours")

    def _try(self, target: tuple[float, float], what: str) -> qm.GameDelta:
        try:
            return self._game.try_move(target)
        except qm.SelfCaptureError:
            raise Refusal(409, f"{what} at {point_text(target)} would only take its own "
                               f"group: play elsewhere") from None
        except qm.NotPlaceableError:
            raise Refusal(409, f"{point_text(target)} is not playable") from None
        except qm.GameOverError:
            raise Refusal(409, "the game is over") from None

    def _changed(self, keep: int, added: tuple[qm.GameDelta, ...]) -> Change:
        if self._stop is None and self._game.turn >= MAX_TURNS:
            self._stop = Stop("move-cap")
        self._version += 1
        change = Change(self._snapshot(), keep, added)
        self._on_change(change)
        return change


def _color_of_turn(turn: int) -> qm.Color:
    return qm.Color.BLACK if turn % 2 == 0 else qm.Color.WHITE
