"""Play quelmar in the browser.

    quelmar-play [--port 8000] [--size 18] [--seed S]

starts a web server on 127.0.0.1 and prints its address. The page shows the
board as the engine draws it; a click plays a stone at the playable point
nearest the click, and buttons pass, undo, start a new game of any size,
set a random opponent to play either colour, and save or load a game
record. The server holds one game, shared by every page that
opens it.
"""

from __future__ import annotations

import argparse
import io
import json
import math
import sys
import threading
from http import HTTPStatus
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from pathlib import Path
from typing import Any, Callable, Sequence

import quelmar as qm

from .. import cli, limits, records
from ..bots import PASS, RandomBot

PAGE = Path(__file__).parent / "static" / "play.html"
STATUS = {
    qm.GameStatus.PLAYING: "in play",
    qm.GameStatus.NEXT_PASS_ENDS: "in play; a pass ends the game",
    qm.GameStatus.ENDED: "over: two passes in a row",
}


class BadRequest(ValueError):
    pass


class Table:
    """The game being played and the random opponent, if one plays: it
    moves whenever its colour is to move, and an undo takes its reply back
    along with the turn it answered."""

    def __init__(self, size: float, seed: int | None) -> None:
        self.lock = threading.Lock()
        self.bot = RandomBot(seed)
        self.opponent: qm.Color | None = None
        self.clicked: tuple[float, float] | None = None
        self.start(qm.Game(size))

    def start(self, game: qm.Game, message: str = "") -> None:
        self.game, self.message = game, message
        self.clicked = None
        self.reply()

    def click(self, x: float, y: float) -> None:
        self.clicked = (x, y)
        point = self.game.nearest_living_move((x, y))
        if point is None:
            self.message = "the board is full: there is nowhere left to play"
            return
        try:
            self.game.try_move(point)
        except (qm.SelfCaptureError, qm.GameOverError) as e:
            self.message = f"refused: {e}"
            return
        self.message = ""
        self.reply()

    def pass_turn(self) -> None:
        try:
            self.game.pass_turn()
        except qm.GameOverError as e:
            self.message = f"refused: {e}"
            return
        self.message = ""
        self.reply()

    def opponents_turn(self) -> bool:
        return self.opponent == self.game.pending_color and not self.game.status.has_ended()

    def reply(self) -> None:
        if self.opponents_turn():
            move = self.bot.choose(self.game)
            if move == PASS:
                self.game.pass_turn()
            else:
                self.game.try_move(move)  # type: ignore[arg-type]

    def set_opponent(self, color: str | None) -> None:
        self.opponent = records.COLORS[color] if color else None
        self.reply()

    def undo(self) -> None:
        if self.game.undo_move() is None:
            self.message = "nothing to undo"
            return
        self.message = ""
        # Taking back only the opponent's reply would just let it play again.
        if self.opponents_turn():
            self.game.undo_move()
            self.reply()  # when the opponent's was the first move of the game

    def load(self, text: str) -> None:
        try:
            loaded = records.read_records(io.BytesIO(text.encode("utf-8")))
        except records.RecordError as e:
            self.message = f"not loaded: {e}"
            return
        if not loaded:
            self.message = "not loaded: the file holds no record"
            return
        more = len(loaded) > 1
        self.start(loaded[0].replay(), f"loaded the first of {len(loaded)} games" if more else "")

    def record(self) -> str:
        return records.encode(records.record_of(self.game, event="quelmar-play"))

    def state(self) -> dict[str, Any]:
        game = self.game
        last = game.last_placed_stone()
        return {
            "svg": game.dump_svg(),
            "size": game.board_size,
            "turn": game.turn,
            "to_move": game.pending_color.label,
            "status": STATUS[game.status],
            "ended": game.status.has_ended(),
            "captures": list(game.captures),
            "territory": list(game.territory()),
            "stones": game.stone_count,
            "last": list(last.position) if last else None,
            "clicked": list(self.clicked) if self.clicked else None,
            "opponent": self.opponent.label if self.opponent is not None else None,
            "message": self.message,
        }


def json_body(body: bytes) -> Any:
    try:
        return json.loads(body or b"{}")
    except ValueError as e:
        raise BadRequest(f"the body is not JSON: {e}")


def finite(body: dict[str, Any], key: str) -> float:
    value = body.get(key)
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        try:
            if math.isfinite(value):
                return float(value)
        except OverflowError:  # an integer past every float
            pass
    raise BadRequest(f"{key} must be a finite number")


def board_size(body: dict[str, Any]) -> float:
    try:
        return limits.check_board_size(finite(body, "size"))
    except limits.SettingError as e:
        raise BadRequest(str(e)) from None


def opponent(body: dict[str, Any]) -> str | None:
    color = body.get("color")
    if color is not None and color not in records.COLORS:
        raise BadRequest("the opponent plays 'black', 'white' or nothing (null)")
    return color


# Each action takes the table and the request's JSON body, with the lock held.
ACTIONS: dict[str, Callable[[Table, dict[str, Any]], None]] = {
    "/move": lambda table, body: table.click(finite(body, "x"), finite(body, "y")),
    "/pass": lambda table, body: table.pass_turn(),
    "/undo": lambda table, body: table.undo(),
    "/new": lambda table, body: table.start(qm.Game(board_size(body))),
    "/opponent": lambda table, body: table.set_opponent(opponent(body)),
}


class Handler(BaseHTTPRequestHandler):
    table: Table  # set on the class made by `serve`

    def do_GET(self) -> None:
        if self.path == "/":
            self.send(PAGE.read_bytes(), "text/html; charset=utf-8")
        elif self.path == "/state":
            with self.table.lock:
                self.send_json(self.table.state())
        elif self.path == "/record":
            with self.table.lock:
                line = self.table.record()
            self.send((line + "\n").encode(), "application/x-ndjson",
                      {"Content-Disposition": 'attachment; filename="quelmar-game.jsonl"'})
        else:
            self.send_error(HTTPStatus.NOT_FOUND)

    def do_POST(self) -> None:
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        act: Callable[[Table], None]
        try:
            if self.path == "/load":
                act = lambda table: table.load(body.decode("utf-8"))  # noqa: E731
            elif self.path in ACTIONS:
                request = json_body(body)
                if not isinstance(request, dict):
                    raise BadRequest("the body must be a JSON object")
                act = lambda table: ACTIONS[self.path](table, request)  # noqa: E731
            else:
                return self.send_error(HTTPStatus.NOT_FOUND)
            with self.table.lock:
                act(self.table)
                self.send_json(self.table.state())
        except UnicodeDecodeError as e:
            self.send_json({"error": f"a record is UTF-8 text: {e}"}, HTTPStatus.BAD_REQUEST)
        except BadRequest as e:
            self.send_json({"error": str(e)}, HTTPStatus.BAD_REQUEST)

    def send_json(self, value: Any, status: HTTPStatus = HTTPStatus.OK) -> None:
        self.send(json.dumps(value).encode(), "application/json", status=status)

    def send(self, data: bytes, kind: str, headers: dict[str, str] | None = None,
             status: HTTPStatus = HTTPStatus.OK) -> None:
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def log_message(self, format: str, *args: Any) -> None:
        pass  # one line a click would bury the address


def serve(port: int, table: Table) -> ThreadingHTTPServer:
    handler = type("TableHandler", (Handler,), {"table": table})
    return ThreadingHTTPServer(("127.0.0.1", port), handler)


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="quelmar-play", description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=8000,
                        help="port on 127.0.0.1 (default 8000; 0 picks a free one)")
    parser.add_argument("--size", type=cli.board_size, default=18.0, help="board size (default 18)")
    parser.add_argument("--seed", type=int, help="seed of the random opponent")
    args = parser.parse_args(argv)

    server = serve(args.port, Table(args.size, args.seed))
    host, port = server.server_address[:2]
    host = host.decode() if isinstance(host, bytes) else host
    print(f"quelmar {qm.version()}: playing at http://{host}:{port}/  (Ctrl-C stops)", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


entry = cli.console("quelmar-play", main)
