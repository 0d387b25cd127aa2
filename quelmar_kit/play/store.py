"""The games, kept in one SQLite file.

A game is a row of `games` (its settings, seats with hashed tokens, the
record's headers and outcome as they stand) and one row of `turns` per
turn of its log, each the very text a record's log holds. Loading a game
puts these back together into a record line and reads it with the
toolkit's record reader, so a stored game is checked, and replayed, as
any record file is.

One writer thread owns the only writing connection and applies changes in
the order they were made, several at a time in one transaction when they
queue up; each caller gets a future that completes once its change is on
the disk. The journal is a write-ahead log with full syncs, so a crash
loses at most the change being written. Readers use a connection per
thread.
"""

from __future__ import annotations

import concurrent.futures
import queue
import sqlite3
import threading
import time
from dataclasses import dataclass
from datetime import datetime, timezone
from pathlib import Path
from typing import Any, Callable, Iterator

import quelmar as qm

from .. import records, scoring
from ..records.encode import encode_turn
from ..records.strict_json import dumps
from .table import COLOR_NAMES, Change, GameInfo, Seat, Snapshot, Stop

SCHEMA_VERSION = 1
_SCHEMA = """
CREATE TABLE games (
    id TEXT PRIMARY KEY,
    created REAL NOT NULL,
    updated REAL NOT NULL,
    event TEXT NOT NULL,
    board_size REAL NOT NULL,
    komi REAL NOT NULL,
    black_kind TEXT NOT NULL, black_name TEXT NOT NULL, black_token TEXT,
    white_kind TEXT NOT NULL, white_name TEXT NOT NULL, white_token TEXT,
    version INTEGER NOT NULL,
    turns INTEGER NOT NULL,
    result TEXT NOT NULL,
    reason TEXT NOT NULL,
    detail TEXT NOT NULL,
    headers TEXT NOT NULL,
    outcome TEXT NOT NULL
);
CREATE INDEX games_by_update ON games (updated);
CREATE TABLE turns (
    game TEXT NOT NULL,
    turn INTEGER NOT NULL,
    entry TEXT NOT NULL,
    PRIMARY KEY (game, turn)
) WITHOUT ROWID;
"""
# The turns a batch writes at most: a long queue is written in several
# transactions, so that one commit never holds a huge write.
_BATCH = 64


class StoreError(RuntimeError):
    """The database cannot be opened or written; one line."""


@dataclass(frozen=True)
class Summary:
    """A game as the lobby lists it."""

    id: str
    board_size: float
    komi: float
    black: str
    white: str
    black_kind: str
    white_kind: str
    turns: int
    result: str
    reason: str
    updated: float


@dataclass(frozen=True)
class Stored:
    """A game as the database holds it: its settings and version, and the
    record line its turns and headers make."""

    info: GameInfo
    version: int
    line: str
    detail: str


def record_headers(snapshot: Snapshot) -> tuple[records.Headers, scoring.Result]:
    info, game = snapshot.info, snapshot.game
    result = scoring.result_of(game, info.komi, snapshot.reason, snapshot.loser)
    date = datetime.fromtimestamp(info.created, timezone.utc).strftime("%Y-%m-%d")
    headers = records.Headers(board_size=info.board_size, komi=info.komi, result=result.text,
                              reason=result.reason, event=info.event, date=date,
                              black=info.black.name, white=info.white.name)
    return headers, result


def record_of(snapshot: Snapshot) -> records.Record:
    """The record of a snapshot, as `Save` downloads it."""
    headers, _ = record_headers(snapshot)
    game = snapshot.game
    return records.Record(headers, tuple(game.deltas()),
                          records.Outcome(game.captures, game.territory()), game=game)


def _headers_text(headers: records.Headers) -> str:
    fixed: dict[str, Any] = {name: getattr(headers, name) for name in records.HEADER_NAMES}
    fixed["komi"] = float(headers.komi)
    fixed["board_size"] = float(headers.board_size)
    return dumps(fixed)


def _outcome_text(game: qm.Game) -> str:
    return dumps({"captures": list(game.captures),
                  "territory": [float(t) for t in game.territory()]})


def assemble(headers: str, turns: list[str], outcome: str) -> str:
    """The record line of stored parts, byte for byte what `records.encode`
    writes for the same game."""
    return (f'{{"format":"{records.FORMAT}","version":{records.VERSION},"headers":{headers},'
            f'"log":[{",".join(turns)}],"outcome":{outcome}}}')


def _seat(kind: str, name: str, token: str | None) -> Seat:
    if kind not in ("person", "bot"):
        raise StoreError(f"a seat of kind {kind!r} is not a person or a bot")
    return Seat("person" if kind == "person" else "bot", name, token)


def stop_of(record: records.Record, detail: str) -> Stop | None:
    """How a loaded game stopped, from its record's result."""
    reason = record.headers.reason
    if reason in ("unfinished", "two-passes"):
        return None
    winner = record.result.winner
    return Stop(reason, winner.opposite() if winner is not None else None, detail)


class Store:
    def __init__(self, path: Path, on_committed: Callable[[Change], None] | None = None):
        self.path = path
        self._on_committed = on_committed
        try:
            self._writer = self._connect()
            self._migrate(self._writer)
        except sqlite3.Error as e:
            raise StoreError(f"cannot open the database {path}: {e}") from None
        self._readers = threading.local()
        self._queue: queue.Queue[tuple[Change, concurrent.futures.Future[None]] | None] = \
            queue.Queue()
        self._broken: str | None = None
        self._thread = threading.Thread(target=self._write_loop, name="quelmar-play-store",
                                        daemon=True)
        self._thread.start()

    def _connect(self) -> sqlite3.Connection:
        conn = sqlite3.connect(self.path, timeout=10.0, check_same_thread=False,
                               isolation_level=None)
        conn.execute("PRAGMA journal_mode=WAL")
        conn.execute("PRAGMA synchronous=FULL")
        conn.execute("PRAGMA busy_timeout=10000")
        return conn

    def _migrate(self, conn: sqlite3.Connection) -> None:
        version = conn.execute("PRAGMA user_version").fetchone()[0]
        if version == SCHEMA_VERSION:
            return
        if version != 0:
            raise StoreError(f"{self.path} holds games of schema {version}; this server "
                             f"knows schema {SCHEMA_VERSION}")
        if conn.execute("SELECT count(*) FROM sqlite_master").fetchone()[0]:
            raise StoreError(f"{self.path} is a database of something else")
        conn.executescript(f"BEGIN IMMEDIATE; {_SCHEMA} PRAGMA user_version={SCHEMA_VERSION}; "
                           "COMMIT;")

    # ---------------------------------------------------------------- writing

    def submit(self, change: Change) -> concurrent.futures.Future[None]:
        """Queues `change`; the future completes once it is written (or
        fails with StoreError). Call in the order the changes were made."""
        future: concurrent.futures.Future[None] = concurrent.futures.Future()
        if self._broken is not None:
            future.set_exception(StoreError(self._broken))
        else:
            self._queue.put((change, future))
        return future

    def close(self) -> None:
        """Writes what is queued, then stops the writer and closes."""
        self._queue.put(None)
        self._thread.join()
        self._writer.close()

    def _write_loop(self) -> None:
        while True:
            first = self._queue.get()
            if first is None:
                return
            batch = [first]
            while len(batch) < _BATCH:
                try:
                    item = self._queue.get_nowait()
                except queue.Empty:
                    break
                if item is None:
                    self._queue.put(None)  # seen after this batch is written
                    break
                batch.append(item)
            self._write_batch(batch)

    def _write_batch(self, batch: list[tuple[Change, concurrent.futures.Future[None]]]) -> None:
        if self._broken is None:
            try:
                rows = [self._rows(change) for change, _ in batch]
                with self._writer:
                    self._writer.execute("BEGIN IMMEDIATE")
                    for write in rows:
                        write(self._writer)
            except (sqlite3.Error, OSError, ValueError) as e:
                # The games in memory are ahead of the disk now: refuse every
                # later change rather than write a log with a hole in it.
                self._broken = f"the database could not be written ({e}); restart the server"
        for change, future in batch:
            if self._broken is not None:
                future.set_exception(StoreError(self._broken))
                continue
            future.set_result(None)
            if self._on_committed is not None:
                self._on_committed(change)

    def _rows(self, change: Change) -> Callable[[sqlite3.Connection], None]:
        """The statements that write `change`, computed before the
        transaction starts (territory and encoding take the most time)."""
        snapshot = change.snapshot
        info = snapshot.info
        headers, result = record_headers(snapshot)
        headers_text = _headers_text(headers)
        outcome_text = _outcome_text(snapshot.game)
        entries = [(info.id, change.keep + i, encode_turn(delta))
                   for i, delta in enumerate(change.added)]
        detail = snapshot.stop.detail if snapshot.stop is not None else ""
        now = time.time()

        def write(conn: sqlite3.Connection) -> None:
            if change.created:
                conn.execute(
                    "INSERT INTO games VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                    "?, ?, ?)",
                    (info.id, info.created, now, info.event, info.board_size, info.komi,
                     info.black.kind, info.black.name, info.black.token_hash,
                     info.white.kind, info.white.name, info.white.token_hash,
                     snapshot.version, snapshot.game.turn, result.text, result.reason, detail,
                     headers_text, outcome_text))
            else:
                conn.execute(
                    "UPDATE games SET updated=?, version=?, turns=?, result=?, reason=?, "
                    "detail=?, headers=?, outcome=? WHERE id=?",
                    (now, snapshot.version, snapshot.game.turn, result.text, result.reason,
                     detail, headers_text, outcome_text, info.id))
            conn.execute("DELETE FROM turns WHERE game=? AND turn>=?", (info.id, change.keep))
            conn.executemany("INSERT INTO turns VALUES (?, ?, ?)", entries)
        return write

    # ---------------------------------------------------------------- reading

    def _reader(self) -> sqlite3.Connection:
        conn: sqlite3.Connection | None = getattr(self._readers, "conn", None)
        if conn is None:
            conn = self._connect()
            self._readers.conn = conn
        return conn

    def load(self, game_id: str) -> Stored | None:
        """The stored game, or None when there is none of that id."""
        conn = self._reader()
        with conn:
            conn.execute("BEGIN")
            row = conn.execute(
                "SELECT created, event, board_size, komi, black_kind, black_name, black_token, "
                "white_kind, white_name, white_token, version, headers, outcome, detail "
                "FROM games WHERE id=?", (game_id,)).fetchone()
            if row is None:
                return None
            turns = [entry for (entry,) in conn.execute(
                "SELECT entry FROM turns WHERE game=? ORDER BY turn", (game_id,))]
        (created, event, size, komi, bk, bn, bt, wk, wn, wt, version, headers, outcome,
         detail) = row
        info = GameInfo(game_id, size, komi, _seat(bk, bn, bt), _seat(wk, wn, wt), created,
                        event)
        return Stored(info, version, assemble(headers, turns, outcome), detail)

    def summaries(self, limit: int = 50) -> list[Summary]:
        """The games changed most recently first."""
        rows = self._reader().execute(
            "SELECT id, board_size, komi, black_name, white_name, black_kind, white_kind, "
            "turns, result, reason, updated FROM games ORDER BY updated DESC LIMIT ?",
            (limit,)).fetchall()
        return [Summary(*row) for row in rows]

    def count(self) -> int:
        return int(self._reader().execute("SELECT count(*) FROM games").fetchone()[0])

    def bots_to_move(self) -> Iterator[str]:
        """The games in play where a bot is to move (after a restart)."""
        rows = self._reader().execute(
            "SELECT id FROM games WHERE reason='unfinished' AND "
            "((turns % 2 = 0 AND black_kind='bot') OR (turns % 2 = 1 AND white_kind='bot'))")
        for (game_id,) in rows.fetchall():
            yield game_id


__all__ = ["COLOR_NAMES", "Store", "StoreError", "Stored", "Summary", "assemble", "record_of",
           "stop_of"]
