"""The games the server holds, between the HTTP handlers and the store.

The hall loads a game from the database the first time it is asked for,
hands each change to the store in the order it was made, and publishes a
change once it is written: pages waiting for news wake, and a bot whose
turn it now is starts thinking, in a worker process, on the published
snapshot. What a page is shown of a snapshot (its view) is built once per
version and kept. Everything here runs on the event loop's thread except
the store's writer and the record reading, which go to threads.
"""

from __future__ import annotations

import asyncio
import collections
import concurrent.futures
import io
import logging
import secrets
import time
from dataclasses import dataclass
from typing import Any, Callable

import quelmar as qm

from .. import records
from ..bots import Limit
from . import board
from .store import Store, StoreError, stop_of
from .table import Change, GameInfo, Refusal, Snapshot, Stop, Table
from .thinking import DEADLINE_SLACK, Job, Thinker, seed_for
from .transport import json_bytes

log = logging.getLogger("quelmar_kit.play")

# Between two bots' moves: a game between bots stays watchable and costs
# at most a bot's thinking every so often.
BOT_PACE = 0.5
_REVIEW_CACHE = 16
# A game nobody has asked for this long, with no page following it and no
# bot thinking, leaves memory; the database still holds it.
IDLE_SECONDS = 600.0


@dataclass(frozen=True)
class HallSettings:
    bot_time: float = 2.0
    max_games: int = 10_000


def new_game_id() -> str:
    return secrets.token_urlsafe(6)


class Hall:
    def __init__(self, store_path: Any, thinker: Thinker, settings: HallSettings,
                 open_store: Callable[..., Store] = Store) -> None:
        self._loop = asyncio.get_running_loop()
        self.settings = settings
        self.thinker = thinker
        self.store = open_store(store_path, on_committed=self._committed_elsewhere)
        self._tables: dict[str, Table] = {}
        self._loading: dict[str, asyncio.Task[Table | None]] = {}
        self._written: dict[tuple[str, int], concurrent.futures.Future[None]] = {}
        self._news: dict[str, asyncio.Event] = {}
        self._views: dict[str, tuple[int, bytes]] = {}
        self._reviews: collections.OrderedDict[tuple[str, int, int], bytes] = \
            collections.OrderedDict()
        self._bots: dict[str, asyncio.Task[None]] = {}
        self._bot_versions: dict[str, int] = {}
        self._used: dict[str, float] = {}
        self._followers: collections.Counter[str] = collections.Counter()
        self.closing = asyncio.Event()

    # ---------------------------------------------------------------- tables

    async def get(self, game_id: str) -> Table:
        """The game of that id, loaded from the store on first use."""
        self._used[game_id] = time.monotonic()
        table = self._tables.get(game_id)
        if table is not None:
            return table
        loading = self._loading.get(game_id)
        if loading is None:
            # One load however many ask at once.
            loading = self._loading[game_id] = self._loop.create_task(self._load(game_id))
            loading.add_done_callback(lambda _: self._loading.pop(game_id, None))
        table = await asyncio.shield(loading)
        if table is None:
            raise Refusal(404, "there is no such game")
        return table

    async def _load(self, game_id: str) -> Table | None:
        stored = await asyncio.to_thread(self.store.load, game_id)
        if stored is None:
            return None
        try:
            record = await asyncio.to_thread(records.decode, stored.line)
        except records.RecordError as e:
            log.error("game %s cannot be read back: %s", game_id, e)
            raise Refusal(500, f"the stored game cannot be read back: {e}") from None
        assert record.game is not None
        table = self._adopt(stored.info, record.game, stored.version,
                            stop_of(record, stored.detail))
        self.schedule_bot(table)
        return table

    def _adopt(self, info: GameInfo, game: qm.Game, version: int, stop: Stop | None) -> Table:
        table = Table(info, game, version, stop, on_change=self._submit)
        self._tables[info.id] = table
        return table

    async def create(self, info: GameInfo, game: qm.Game, stop: Stop | None = None) -> Table:
        """A new game, written to the store before anyone is told of it."""
        if await asyncio.to_thread(self.store.count) >= self.settings.max_games:
            raise Refusal(503, f"this server holds its most games "
                               f"({self.settings.max_games}): no more can be made")
        table = self._adopt(info, game, 0, stop)
        change = table.first_change()
        self._submit(change)
        await self.commit(change)
        self.schedule_bot(table)
        return table

    async def resume_bots(self) -> None:
        """After a restart: the games where a bot was to move go on."""
        for game_id in await asyncio.to_thread(lambda: list(self.store.bots_to_move())):
            try:
                await self.get(game_id)
            except Refusal:
                pass  # logged; the game's page says what is wrong

    # ---------------------------------------------------------------- changes

    def _submit(self, change: Change) -> None:
        # Under the table's lock: the store sees changes in the order made.
        self._written[(change.game_id, change.version)] = self.store.submit(change)

    async def commit(self, change: Change) -> None:
        """Waits until `change` is written, then shows it to readers;
        Refusal (503) if it cannot be written."""
        future = self._written.pop((change.game_id, change.version))
        try:
            await asyncio.wrap_future(future)
        except StoreError as e:
            raise Refusal(503, str(e)) from None
        # The writer thread publishes it too, but may lose the race against
        # this answer: a client that reads the game right after its change
        # was answered must see it.
        self._publish(change)

    def _committed_elsewhere(self, change: Change) -> None:
        """Called by the store's writer thread once a change is written."""
        try:
            self._loop.call_soon_threadsafe(self._publish, change)
        except RuntimeError:
            pass  # the loop has closed: the server is stopping

    def _publish(self, change: Change) -> None:
        table = self._tables.get(change.game_id)
        if table is None or not table.publish(change.snapshot):
            return
        news = self._news.pop(change.game_id, None)
        if news is not None:
            news.set()
        self.schedule_bot(table)

    def follow(self, game_id: str, delta: int) -> None:
        """Counts the pages following a game: a followed game stays loaded."""
        self._followers[game_id] += delta
        if self._followers[game_id] <= 0:
            del self._followers[game_id]
        self._used[game_id] = time.monotonic()

    def forget_idle(self, idle: float = IDLE_SECONDS) -> int:
        """Drops the games idle for `idle` seconds from memory; answers how
        many. A game with a page, a bot or a write in flight stays."""
        now = time.monotonic()
        writing = {game_id for game_id, _ in self._written}
        idle_ids = [game_id for game_id in self._tables
                    if now - self._used.get(game_id, now) >= idle
                    and game_id not in self._followers and game_id not in self._bots
                    and game_id not in writing]
        for game_id in idle_ids:
            del self._tables[game_id]
            self._views.pop(game_id, None)
            self._news.pop(game_id, None)
            self._used.pop(game_id, None)
            self._bot_versions.pop(game_id, None)
        return len(idle_ids)

    async def sweep(self) -> None:
        """Forgets idle games every minute until the server stops."""
        while not self.closing.is_set():
            try:
                await asyncio.wait_for(self.closing.wait(), 60.0)
            except asyncio.TimeoutError:
                self.forget_idle()

    def news(self, game_id: str) -> asyncio.Event:
        """An event set at the next change of the game (or at shutdown)."""
        event = self._news.get(game_id)
        if event is None:
            event = self._news[game_id] = asyncio.Event()
            if self.closing.is_set():
                event.set()
        return event

    # ---------------------------------------------------------------- views

    def view(self, snapshot: Snapshot) -> bytes:
        """The JSON a page is shown of a snapshot, built once per version."""
        game_id = snapshot.info.id
        cached = self._views.get(game_id)
        if cached is not None and cached[0] == snapshot.version:
            return cached[1]
        body = json_bytes(board.view(snapshot))
        if cached is None or cached[0] < snapshot.version:
            self._views[game_id] = (snapshot.version, body)
        return body

    async def review(self, snapshot: Snapshot, turn: int) -> bytes:
        """The view of the position after `turn` turns of a snapshot's log."""
        if not 0 <= turn <= snapshot.game.turn:
            raise Refusal(404, f"the game has turns 0 to {snapshot.game.turn}, not {turn}")
        if turn == snapshot.game.turn:
            return self.view(snapshot)
        key = (snapshot.info.id, snapshot.version, turn)
        cached = self._reviews.get(key)
        if cached is not None:
            self._reviews.move_to_end(key)
            return cached
        deltas = snapshot.game.deltas()[:turn]
        game = await asyncio.to_thread(qm.Game.replay, snapshot.info.board_size, deltas)
        data = board.view(Snapshot(snapshot.info, snapshot.version, game, None),
                          with_moves=False)
        data["review_turn"] = turn
        body = json_bytes(data)
        self._reviews[key] = body
        while len(self._reviews) > _REVIEW_CACHE:
            self._reviews.popitem(last=False)
        return body

    # ---------------------------------------------------------------- bots

    def schedule_bot(self, table: Table) -> None:
        """Starts the bot to move on the published snapshot, unless one is
        already thinking (it looks again when it is done)."""
        game_id = table.info.id
        if self.closing.is_set() or game_id in self._bots:
            return
        snapshot = table.published
        if snapshot.bot_to_move() is None or self._bot_versions.get(game_id) == snapshot.version:
            return
        self._bot_versions[game_id] = snapshot.version
        task = self._loop.create_task(self._bot_turn(table, snapshot))
        self._bots[game_id] = task

        def done(finished: asyncio.Task[None]) -> None:
            del self._bots[game_id]
            if not finished.cancelled() and finished.exception() is not None:
                log.error("the bot of game %s failed", game_id, exc_info=finished.exception())
            self.schedule_bot(table)
        task.add_done_callback(done)

    async def _bot_turn(self, table: Table, snapshot: Snapshot) -> None:
        seat = snapshot.bot_to_move()
        assert seat is not None
        game = snapshot.game
        color = game.pending_color
        if snapshot.info.seat(color.opposite()).kind == "bot":
            await asyncio.sleep(BOT_PACE)
        limit = Limit(time=self.settings.bot_time)
        job = Job(seat.name, seed_for(snapshot.info.id, game.turn), snapshot.info.board_size,
                  game.deltas(), limit, snapshot.info.komi)
        answer = await self.thinker.think(job, self.settings.bot_time + DEADLINE_SLACK)
        if answer.move is not None:
            change = table.bot_move(color, snapshot.version, answer.move,
                                    f"{seat.name} played a refused move: ")
        else:
            change = table.bot_failed(color, snapshot.version, answer.failure or "illegal-move",
                                      answer.detail)
        if change is not None:
            try:
                await self.commit(change)
            except Refusal as e:
                log.error("game %s: %s", snapshot.info.id, e.message)

    # ---------------------------------------------------------------- stopping

    def stop_pages(self) -> None:
        """Wakes every waiting page so that its stream ends; no bot starts."""
        self.closing.set()
        for event in self._news.values():
            event.set()

    async def close(self) -> None:
        """Stops the bots and writes what is queued."""
        self.stop_pages()
        for task in list(self._bots.values()):
            task.cancel()
        await asyncio.gather(*self._bots.values(), return_exceptions=True)
        self.thinker.close()
        await asyncio.to_thread(self.store.close)


def summary_json(summary: Any) -> dict[str, Any]:
    return {"id": summary.id, "size": summary.board_size, "komi": summary.komi,
            "black": {"name": summary.black, "kind": summary.black_kind},
            "white": {"name": summary.white, "kind": summary.white_kind},
            "turns": summary.turns, "result": summary.result, "reason": summary.reason,
            "updated": summary.updated}


def listing(body: bytes, limit: int = 1000) -> dict[str, Any]:
    """Every record of an uploaded file, each with its players and result
    or why it does not load (the records' streaming reader, line limits
    and all); at most `limit` are listed."""
    listed: list[dict[str, Any]] = []
    more = 0
    for entry in records.iter_records(io.BytesIO(body), on_error="collect"):
        if len(listed) >= limit:
            more += 1
            continue
        if entry.error is not None or entry.record is None:
            listed.append({"line": entry.line, "offset": entry.offset, "error": str(entry.error)})
            continue
        h = entry.record.headers
        listed.append({"line": entry.line, "offset": entry.offset, "black": h.black,
                       "white": h.white, "result": h.result, "reason": h.reason,
                       "size": h.board_size, "komi": h.komi, "event": h.event, "date": h.date,
                       "turns": len(entry.record.deltas)})
    return {"records": listed, "more": more}


def first_record(line: str) -> records.Record:
    """The one record a line holds, read by the streaming reader."""
    data = line.encode("utf-8", "surrogatepass")
    entries = records.iter_records(io.BytesIO(data), on_error="raise")
    try:
        entry = next(entries)
    except StopIteration:
        raise records.RecordError(1, None, "the line holds no record") from None
    if next(entries, None) is not None:
        raise records.RecordError(2, None, "give one record, not a file of several")
    assert entry.record is not None and entry.record.game is not None
    return entry.record


def created_now() -> float:
    return time.time()
