"""The routes of the play server and the checks every request passes.

    GET  /                          the lobby page
    GET  /g/ID                      a game's page (a seat's token, if any, in the #fragment)
    GET  /static/NAME               the pages' scripts and style
    GET  /api/lobby                 recent games, the bots and the bounds of a new game
    POST /api/games                 a new game: size, komi, and a person or a bot per colour
    POST /api/games/record          a new game from one record line, to continue or review
    POST /api/records               lists every record of an uploaded file
    GET  /api/games/ID              the game as the page draws it
    GET  /api/games/ID/view?turn=N  the position after N turns
    GET  /api/games/ID/events       server-sent events: the game at every change
    GET  /api/games/ID/snap?x=&y=   where a click at (x, y) would play
    GET  /api/games/ID/record       the game's record (one line of JSON)
    GET  /api/games/ID/svg          the engine's own picture, for debugging
    POST /api/games/ID/ACTION       move, pass, undo or resign, with the seat's token

Every request must name this server in its Host header; every POST must
come from this server's own pages (Origin) as JSON (Content-Type). A
state change carries the seat's token and the version of the game its
page showed. Answers are JSON, `{"error": ...}` with a 4xx status when a
request is refused.
"""

from __future__ import annotations

import asyncio
import logging
import math
import re
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Awaitable, Callable
from urllib.parse import quote

import quelmar as qm

from aiohttp import web

from .. import limits, records
from ..bots import bot_kind, bot_names
from . import messages, security
from .hall import Hall, created_now, first_record, listing, new_game_id, summary_json
from .messages import BadRequest
from .store import record_of, stop_of
from .table import GameInfo, Refusal, Seat
from .transport import (RECORD_BODY, SECURITY_HEADERS, SMALL_BODY, abort, read_body, send,
                        send_error, send_json)

log = logging.getLogger("quelmar_kit.play")
STATIC = Path(__file__).parent / "static"
_TYPES = {".html": "text/html", ".js": "text/javascript", ".css": "text/css",
          ".svg": "image/svg+xml"}
_GAME_PATH = re.compile(r"/api/games/([A-Za-z0-9_-]{1,32})(?:/([a-z]+))?")
_PAGE_PATH = re.compile(r"/g/[A-Za-z0-9_-]{1,32}")
# A page that has seen no change for this long hears a comment, so that a
# dead connection is found and closed.
HEARTBEAT = 15.0


@dataclass(frozen=True)
class AppSettings:
    names: tuple[str, ...]       # host names the Host header may carry
    port: int
    timeout: float               # reading a request, writing an answer, idling
    board_size: float            # the lobby's default for a new game
    komi: float


def _static_files() -> dict[str, tuple[bytes, str]]:
    files = {}
    for path in STATIC.iterdir():
        if path.suffix in _TYPES:
            files[path.name] = (path.read_bytes(), _TYPES[path.suffix])
    return files


class App:
    def __init__(self, hall: Hall, settings: AppSettings) -> None:
        self.hall = hall
        self.settings = settings
        self.static = _static_files()

    # ---------------------------------------------------------------- entry

    async def handle(self, request: web.BaseRequest) -> web.StreamResponse:
        timeout = self.settings.timeout
        try:
            self._check_host(request)
            return await self._route(request)
        except BadRequest as e:
            return await send_error(request, e.status, e.message, timeout)
        except Refusal as e:
            return await send_error(request, e.status, e.message, timeout)
        except asyncio.CancelledError:
            raise
        except Exception:
            log.exception("internal error on %s %s", request.method, request.path)
            return await send_error(request, 500, "the server failed on this request", timeout)

    def _check_host(self, request: web.BaseRequest) -> None:
        host = request.headers.get("Host")
        if not security.host_allowed(host, self.settings.names, self.settings.port):
            raise BadRequest(f"this server does not answer for the host "
                             f"{(host or '')[:60]!r}", 421)

    def _check_post(self, request: web.BaseRequest, content_type: str) -> None:
        if not security.origin_allowed(request.headers.get("Origin"),
                                       request.headers.get("Host", "")):
            raise BadRequest("changes are taken only from this server's own pages "
                             "(the Origin header does not name it)", 403)
        if request.content_type != content_type:
            raise BadRequest(f"the body must be sent as {content_type}", 415)

    async def _route(self, request: web.BaseRequest) -> web.StreamResponse:
        path, method = request.path, request.method
        if method == "GET":
            if path == "/" or _PAGE_PATH.fullmatch(path):
                return await self._file(request, "lobby.html" if path == "/" else "game.html")
            if path.startswith("/static/"):
                return await self._file(request, path[len("/static/"):])
            if path == "/api/lobby":
                return await self._lobby(request)
        elif method == "POST":
            if path == "/api/games":
                return await self._new_game(request)
            if path == "/api/games/record":
                return await self._game_from_record(request)
            if path == "/api/records":
                return await self._list_records(request)
        match = _GAME_PATH.fullmatch(path)
        if match is None:
            if method not in ("GET", "POST"):
                raise BadRequest(f"{method[:10]} is not a method of this server", 405)
            raise BadRequest("there is nothing at this address", 404)
        game_id, what = match.group(1), match.group(2) or ""
        handlers = self._game_gets if method == "GET" else self._game_posts \
            if method == "POST" else {}
        handler = handlers.get(what)
        if handler is None:
            raise BadRequest("there is nothing at this address", 404)
        if method == "POST":
            self._check_post(request, "application/json")
            body = await read_body(request, SMALL_BODY, self.settings.timeout)
            return await handler(request, game_id, body)
        return await handler(request, game_id, b"")

    # ---------------------------------------------------------------- pages

    async def _file(self, request: web.BaseRequest, name: str) -> web.StreamResponse:
        if name not in self.static:
            raise BadRequest("there is no such file", 404)
        body, kind = self.static[name]
        return await send(request, body, kind, self.settings.timeout)

    async def _lobby(self, request: web.BaseRequest) -> web.StreamResponse:
        summaries = await asyncio.to_thread(self.hall.store.summaries, 50)
        bots = [{"name": name, "summary": bot_kind(name).summary,
                 "options": {key: kind.__name__ for key, kind in bot_kind(name).options.items()}}
                for name in bot_names()]
        return await send_json(request, {
            "games": [summary_json(s) for s in summaries],
            "bots": bots,
            "defaults": {"size": self.settings.board_size, "komi": self.settings.komi},
            "bounds": {"min_size": limits.MIN_BOARD_SIZE, "max_size": limits.MAX_BOARD_SIZE,
                       "komi": "within the board's area either way"},
            "bot_time": self.hall.settings.bot_time,
        }, self.settings.timeout)

    # ---------------------------------------------------------------- new games

    def _links(self, game_id: str, tokens: dict[str, str]) -> dict[str, Any]:
        links = {"watch": f"/g/{game_id}"}
        for color, token in tokens.items():
            links[color] = f"/g/{game_id}#{color}={quote(token)}"
        return {"id": game_id, "links": links}

    def _seats(self, black: messages.SeatChoice, white: messages.SeatChoice
               ) -> tuple[Seat, Seat, dict[str, str]]:
        tokens: dict[str, str] = {}
        seats = []
        for color, choice in (("black", black), ("white", white)):
            token_hash = None
            if choice.kind == "person":
                tokens[color] = security.new_token()
                token_hash = security.token_hash(tokens[color])
            seats.append(messages.seat_of_choice(choice, token_hash))
        return seats[0], seats[1], tokens

    async def _new_game(self, request: web.BaseRequest) -> web.StreamResponse:
        self._check_post(request, "application/json")
        body = await read_body(request, SMALL_BODY, self.settings.timeout)
        settings = messages.new_game(messages.json_object(body))
        black, white, tokens = self._seats(settings.black, settings.white)
        info = GameInfo(new_game_id(), settings.board_size, settings.komi, black, white,
                        created_now())
        await self.hall.create(info, qm.Game(settings.board_size))
        return await send_json(request, self._links(info.id, tokens), self.settings.timeout,
                               201)

    async def _game_from_record(self, request: web.BaseRequest) -> web.StreamResponse:
        self._check_post(request, "application/json")
        body = await read_body(request, RECORD_BODY, self.settings.timeout)
        black_choice, white_choice, line = messages.seats_only(messages.json_object(body))
        try:
            record = await asyncio.to_thread(first_record, line)
        except records.RecordError as e:
            raise BadRequest(f"not loaded: {e}", 422) from None
        assert record.game is not None
        headers = record.headers
        # A person left unnamed keeps the name the record gives that colour.
        named = [messages.SeatChoice("person", recorded)
                 if choice.kind == "person" and choice.name == color and recorded != "?"
                 else choice
                 for choice, color, recorded in ((black_choice, "black", headers.black),
                                                 (white_choice, "white", headers.white))]
        black, white, tokens = self._seats(named[0], named[1])
        info = GameInfo(new_game_id(), headers.board_size, headers.komi, black, white,
                        created_now(), event=headers.event if headers.event != "?" else
                        "quelmar-play")
        await self.hall.create(info, record.game, stop_of(record, ""))
        return await send_json(request, self._links(info.id, tokens), self.settings.timeout,
                               201)

    async def _list_records(self, request: web.BaseRequest) -> web.StreamResponse:
        # Not a change, but costly (each record is replayed): only from our pages.
        self._check_post(request, "application/x-ndjson")
        body = await read_body(request, RECORD_BODY, self.settings.timeout)
        listed = await asyncio.to_thread(listing, body)
        return await send_json(request, listed, self.settings.timeout)

    # ---------------------------------------------------------------- one game

    @property
    def _game_gets(self) -> dict[str, Callable[[web.BaseRequest, str, bytes],
                                               Awaitable[web.StreamResponse]]]:
        return {"": self._game, "view": self._review, "events": self._events,
                "snap": self._snap, "record": self._record, "svg": self._svg}

    @property
    def _game_posts(self) -> dict[str, Callable[[web.BaseRequest, str, bytes],
                                                Awaitable[web.StreamResponse]]]:
        return {"move": self._act, "pass": self._act, "undo": self._act, "resign": self._act}

    async def _game(self, request: web.BaseRequest, game_id: str, _: bytes) -> web.StreamResponse:
        table = await self.hall.get(game_id)
        return await send(request, self.hall.view(table.published), "application/json",
                          self.settings.timeout)

    async def _review(self, request: web.BaseRequest, game_id: str,
                      _: bytes) -> web.StreamResponse:
        table = await self.hall.get(game_id)
        text = request.query.get("turn", "")
        if not text.isdigit() or len(text) > 9:
            raise BadRequest("turn must be a whole number")
        body = await self.hall.review(table.published, int(text))
        return await send(request, body, "application/json", self.settings.timeout)

    async def _snap(self, request: web.BaseRequest, game_id: str, _: bytes) -> web.StreamResponse:
        table = await self.hall.get(game_id)
        point = (_query_number(request, "x"), _query_number(request, "y"))
        snapshot = table.published
        target = snapshot.game.nearest_living_move(point)
        return await send_json(request, {"version": snapshot.version,
                                         "point": list(target) if target else None},
                               self.settings.timeout)

    async def _record(self, request: web.BaseRequest, game_id: str,
                      _: bytes) -> web.StreamResponse:
        table = await self.hall.get(game_id)
        snapshot = table.published
        line = await asyncio.to_thread(lambda: records.encode(record_of(snapshot)) + "\n")
        return await send(request, line.encode("utf-8"), "application/x-ndjson",
                          self.settings.timeout, headers={
                              "Content-Disposition":
                                  f'attachment; filename="quelmar-{game_id}.jsonl"'})

    async def _svg(self, request: web.BaseRequest, game_id: str, _: bytes) -> web.StreamResponse:
        table = await self.hall.get(game_id)
        svg = table.published.game.dump_svg()
        return await send(request, svg.encode("utf-8"), "image/svg+xml", self.settings.timeout,
                          headers={"Content-Security-Policy": "default-src 'none'"})

    async def _act(self, request: web.BaseRequest, game_id: str, body: bytes
                   ) -> web.StreamResponse:
        what = request.path.rsplit("/", 1)[1]
        action = messages.action(messages.json_object(body), with_point=what == "move")
        table = await self.hall.get(game_id)
        color = table.seat_of(action.token)
        if what == "move":
            assert action.point is not None
            change = table.play(color, action.version, action.point)
        elif what == "pass":
            change = table.pass_turn(color, action.version)
        elif what == "undo":
            change = table.undo(color, action.version)
        else:
            change = table.resign(color, action.version)
        await self.hall.commit(change)
        return await send(request, self.hall.view(change.snapshot), "application/json",
                          self.settings.timeout)

    async def _events(self, request: web.BaseRequest, game_id: str,
                      _: bytes) -> web.StreamResponse:
        """The game, now and after every change, as server-sent events; a
        page that falls behind gets the latest version, not every one."""
        table = await self.hall.get(game_id)
        timeout = self.settings.timeout
        response = web.StreamResponse(headers={**SECURITY_HEADERS,
                                               "Content-Type": "text/event-stream"})
        self.hall.follow(game_id, +1)
        try:
            await asyncio.wait_for(response.prepare(request), timeout)
            shown = -1
            while not self.hall.closing.is_set():
                news = self.hall.news(game_id)  # before reading: no change slips by
                snapshot = table.published
                if snapshot.version != shown:
                    event = b"event: view\ndata: " + self.hall.view(snapshot) + b"\n\n"
                    await asyncio.wait_for(response.write(event), timeout)
                    shown = snapshot.version
                try:
                    await asyncio.wait_for(news.wait(), HEARTBEAT)
                except asyncio.TimeoutError:
                    await asyncio.wait_for(response.write(b": still here\n\n"), timeout)
        except (asyncio.TimeoutError, ConnectionError):
            abort(request)
        finally:
            self.hall.follow(game_id, -1)
        return response


def _query_number(request: web.BaseRequest, name: str) -> float:
    text = request.query.get(name, "")
    try:
        value = float(text) if len(text) < 40 else math.nan
    except ValueError:
        value = math.nan
    if not math.isfinite(value):
        raise BadRequest(f"{name} must be a finite number")
    return value
