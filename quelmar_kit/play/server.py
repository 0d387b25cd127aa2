"""quelmar-play: a lobby of games in the browser, for people and bots.

    quelmar-play [--host H] [--port P] [--db FILE]

serves the lobby and prints its address on the first line (`--port 0`
picks a free port). Anyone who can reach it can start a game, hold a
seat through its private link, invite the other player and let others
watch. Games are kept in a SQLite file and go on after a restart. It
listens on 127.0.0.1 unless --host says otherwise; Ctrl-C or SIGTERM
stops it once the write in progress is done.
"""

from __future__ import annotations

import argparse
import asyncio
import importlib.util
import logging
import os
import signal
from pathlib import Path
from typing import Sequence

import quelmar as qm

from .. import cli, limits, scoring
from . import security

PROG = "quelmar-play"
DEFAULT_PORT = 8000
DEFAULT_TIMEOUT = 10.0
DEFAULT_BOT_TIME = 2.0


def default_db() -> Path:
    base = os.environ.get("XDG_DATA_HOME") or Path.home() / ".local" / "share"
    return Path(base) / "quelmar" / "play.sqlite3"


def _port(text: str) -> int:
    value = int(text) if text.isdigit() else -1
    if not 0 <= value <= 65535:
        raise argparse.ArgumentTypeError(f"{text!r} is not a port (0 to 65535)")
    return value


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog=PROG, description=(__doc__ or "").split("\n\n")[0])
    parser.add_argument("--host", default="127.0.0.1",
                        help="address to listen on (default 127.0.0.1; 0.0.0.0 for every "
                             "interface, with --name for the names people use)")
    parser.add_argument("--port", type=_port, default=DEFAULT_PORT,
                        help=f"port (default {DEFAULT_PORT}; 0 picks a free one)")
    parser.add_argument("--db", type=Path, metavar="FILE",
                        help=f"SQLite file of the games (default {default_db()})")
    parser.add_argument("--name", action="append", default=[], metavar="HOST",
                        help="a host name people reach this server by (repeatable): requests "
                             "naming any other host are refused")
    parser.add_argument("--size", type=cli.board_size, default=18.0,
                        help=f"the lobby's board size for a new game, {limits.MIN_BOARD_SIZE:g} "
                             f"to {limits.MAX_BOARD_SIZE:g} (default 18)")
    parser.add_argument("--komi", type=cli.finite_number, default=scoring.DEFAULT_KOMI,
                        help=f"the lobby's komi for a new game (default "
                             f"{scoring.DEFAULT_KOMI:g})")
    parser.add_argument("--timeout", type=cli.seconds, default=DEFAULT_TIMEOUT,
                        help=f"seconds a client has to send a request or take an answer, and "
                             f"an idle connection stays open (default {DEFAULT_TIMEOUT:g})")
    parser.add_argument("--bot-time", type=cli.seconds, default=DEFAULT_BOT_TIME,
                        help=f"seconds a bot may think on a move (default {DEFAULT_BOT_TIME:g})")
    parser.add_argument("--bot-workers", type=cli.positive_int, default=1,
                        help="processes that bots think in (default 1)")
    parser.add_argument("--max-games", type=cli.positive_int, default=10_000,
                        help="games the database may hold (default 10000)")
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    parser = _parser()
    args = parser.parse_args(argv)
    try:
        limits.check_komi(args.komi, args.size)
    except limits.SettingError as e:
        parser.error(str(e))
    if importlib.util.find_spec("aiohttp") is None:
        raise cli.UserError("the play server needs aiohttp: pip install 'quelmar[play]'")
    logging.basicConfig(level=logging.WARNING, format=f"{PROG}: %(message)s")
    return asyncio.run(serve(args))


async def serve(args: argparse.Namespace) -> int:
    # Imported here, so that a missing aiohttp is one line, not a traceback.
    from aiohttp import web

    from .app import App, AppSettings
    from .hall import Hall, HallSettings
    from .store import StoreError
    from .thinking import Thinker
    from .transport import Server

    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for signum in (signal.SIGINT, signal.SIGTERM):
        loop.add_signal_handler(signum, stop.set)
    db = args.db or default_db()
    try:
        db.parent.mkdir(parents=True, exist_ok=True)
        hall = Hall(db, Thinker(args.bot_workers),
                    HallSettings(bot_time=args.bot_time, max_games=args.max_games))
    except (StoreError, OSError) as e:
        raise cli.UserError(str(e)) from None
    app = App(hall, AppSettings(security.served_names(args.host, tuple(args.name)), args.port,
                                args.timeout, args.size, args.komi))
    runner = web.ServerRunner(Server(app.handle, args.timeout), shutdown_timeout=args.timeout)
    await runner.setup()
    sweeper: asyncio.Task[None] | None = None
    try:
        site = web.TCPSite(runner, args.host, args.port)
        try:
            await site.start()
        except OSError as e:
            raise cli.UserError(f"cannot listen on {args.host}:{args.port}: "
                                f"{e.strerror or e}") from None
        port = runner.addresses[0][1]
        app.settings = AppSettings(app.settings.names, port, args.timeout, args.size,
                                   args.komi)
        host = f"[{args.host}]" if ":" in args.host else args.host
        print(f"{PROG}: serving the lobby at http://{host}:{port}/  (Ctrl-C stops)", flush=True)
        print(f"{PROG}: quelmar {qm.version()}; games kept in {db}; answering for "
              f"{', '.join(app.settings.names)}", flush=True)
        await hall.resume_bots()
        sweeper = asyncio.create_task(hall.sweep())
        await stop.wait()
    finally:
        # Pages waiting for news leave first, then the listener and the
        # requests in progress, then the store writes what is queued.
        hall.stop_pages()
        await runner.cleanup()
        await hall.close()
        if sweeper is not None:
            await sweeper
    print(f"{PROG}: stopped", flush=True)
    return 0


entry = cli.console(PROG, main)
