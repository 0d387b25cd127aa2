"""quelmar-selfplay: games between bots, one printed as it goes or many
written as records.

With no arguments it plays one game between two search bots on a board of
13 and prints it move by move. With `--games N` (or `--out FILE`) it plays N games seeded `--seed`,
`--seed`+1, ... on `--workers` processes (or a Ray cluster with `--ray`)
and writes one record per game in seed order, so the file depends on the
seeds alone, not on the workers. A file is complete or untouched: an
interrupted run leaves its games in FILE.partial, which `--resume` completes.
"""

from __future__ import annotations

import argparse
import contextlib
import os
import signal
import sys
from concurrent.futures.process import BrokenProcessPool
from pathlib import Path
from types import FrameType
from typing import Iterator, Sequence

import quelmar as qm

from .. import cli, limits, scoring
from ..bots import BotNameError, make_bot
from ..game_loop import play_game
from .backends import Backend, open_backend
from .jobs import Job, Played, Settings, jobs, play_job, record_of, seeds_problem
from .output import Output, check_writable, partial_path, resume, start, to_stdout
from .progress import Progress, Summary

PROG = "quelmar-selfplay"
# A search bot at a budget that plays a game of board 13 in under ten
# seconds here (twice that with both cores busy), ending by two passes.
DEFAULT_SIZE = 13.0
DEFAULT_BOT = "mcts:playouts=200"


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog=PROG, description=(__doc__ or "").split("\n\n")[0])
    parser.add_argument("--size", type=cli.board_size, default=DEFAULT_SIZE,
                        help=f"board size, {limits.MIN_BOARD_SIZE:g} to "
                             f"{limits.MAX_BOARD_SIZE:g} (default {DEFAULT_SIZE:g})")
    parser.add_argument("--komi", type=cli.finite_number, default=scoring.DEFAULT_KOMI,
                        help=f"added to White's score (default {scoring.DEFAULT_KOMI:g})")
    parser.add_argument("--seed", type=cli.non_negative_int, default=1,
                        help="seed of the first game (default 1)")
    parser.add_argument("--max-moves", type=cli.non_negative_int, default=400,
                        help="turns after which a game stops and is scored (default 400)")
    parser.add_argument("--black", default=DEFAULT_BOT, metavar="BOT",
                        help=f"black's bot: name[:option=value,...] (default {DEFAULT_BOT})")
    parser.add_argument("--white", default=DEFAULT_BOT, metavar="BOT",
                        help=f"white's bot (default {DEFAULT_BOT})")
    parser.add_argument("--svg", metavar="PATH", help="write the one game's final position as SVG")
    batch = parser.add_argument_group("many games, written as records")
    batch.add_argument("--games", type=cli.positive_int, help="how many games to play")
    batch.add_argument("--workers", type=cli.positive_int, default=os.cpu_count() or 1,
                       help="processes or Ray workers (default: one per core)")
    batch.add_argument("--out", metavar="FILE",
                       help="where the records go ('-' or nothing: standard output)")
    batch.add_argument("--resume", action="store_true",
                       help="complete the interrupted run whose games are in FILE.partial")
    batch.add_argument("--ray", metavar="ADDRESS",
                       help="play on a Ray cluster: host:port, 'auto' or 'local'")
    return parser


def _settings(args: argparse.Namespace, parser: argparse.ArgumentParser) -> Settings:
    try:
        komi = limits.check_komi(args.komi, args.size)
        black, white = make_bot(args.black, 0).name, make_bot(args.white, 0).name
    except (limits.SettingError, BotNameError) as e:
        parser.error(str(e))
    return Settings(args.size, komi, args.max_moves, black, white)


def _turn_line(game: qm.Game) -> str:
    """The turn just played: who, where (rounded: records keep the exact
    values), what it took, and how the board stands."""
    [delta] = game.deltas()[-1:]
    stone = delta.new_stone
    mover = (game.pending_color.opposite()).label
    move = "passes" if stone is None else "({:6.2f}, {:6.2f})".format(*stone.position)
    took = f"  takes {len(delta.captured_stone_ids)}" if delta.captured_stone_ids else ""
    black, white = game.territory()
    return (f"turn {game.turn:4d}  {mover:5} {move:16}  stones {game.stone_count:4d}  "
            f"territory {black + 0.0:7.2f} / {white + 0.0:7.2f}{took}")


def play_one(settings: Settings, seed: int, svg: str | None) -> int:
    """The one game, printed turn by turn and at the end."""
    print(f"quelmar {qm.version()}: {settings.black} (black) against {settings.white} "
          f"(white) on a board of {settings.board_size:g}, seed {seed}", flush=True)

    def report(game: qm.Game) -> None:
        print(_turn_line(game), flush=True)

    black, white = make_bot(settings.black, 2 * seed), make_bot(settings.white, 2 * seed + 1)
    finished = play_game(settings.board_size, black, white, settings.max_moves,
                         after_turn=report, komi=settings.komi)
    game = finished.game
    result = finished.result(settings.komi)
    black_area, white_area = game.territory()
    print(f"game over after {game.turn} turns ({finished.reason})")
    print(f"captures: black {game.captures[0]}, white {game.captures[1]}")
    print(f"territory: black {black_area + 0.0:.2f}, white {white_area + 0.0:.2f} of "
          f"{game.board_size ** 2:g}, komi {settings.komi:g}")
    print(f"result: {result.text}")
    if svg:
        try:
            Path(svg).write_text(game.dump_svg(), encoding="utf-8")
        except OSError as e:
            raise cli.UserError(f"cannot write {svg}: {e.strerror}") from None
        print(f"wrote {svg}")
    return 0


@contextlib.contextmanager
def _sigterm_interrupts() -> Iterator[None]:
    """SIGTERM stops a run as Ctrl-C does: the finished games are kept."""
    def stop(signum: int, frame: FrameType | None) -> None:
        raise KeyboardInterrupt
    previous = signal.signal(signal.SIGTERM, stop)
    try:
        yield
    finally:
        signal.signal(signal.SIGTERM, previous)


def _open_output(path: Path | None, resuming: bool, todo: Iterator[Job]) -> tuple[Output, int]:
    """Where the records go, and how many games it already holds."""
    if path is None:
        return to_stdout(), 0
    if resuming:
        return resume(path, todo)
    return start(path), 0


def _play(backend: Backend[Job, Played], todo: Iterator[Job], output: Output, total: int,
          done: int) -> Summary:
    summary = Summary()
    bar = Progress(total, done)
    try:
        for played in backend.play(todo):
            output.write(played.line)
            summary.add(played.result, played.turns)
            bar.advance(played.result)
    finally:
        bar.close()
    output.complete()
    return summary


def play_many(args: argparse.Namespace, settings: Settings) -> int:
    path = None if args.out in (None, "-") else Path(args.out)
    if path is None and args.resume:
        raise cli.UserError("--resume completes a file: give it with --out")
    if path is not None:
        check_writable(path, args.resume)
    with _sigterm_interrupts():
        # A dead cluster fails here, before --out is touched.
        backend = open_backend(args.workers, args.ray, play_job)
        todo = jobs(settings, args.seed, args.games)
        output: Output | None = None
        try:
            output, done = _open_output(path, args.resume, todo)
            summary = _play(backend, todo, output, args.games, done)
        except (KeyboardInterrupt, BrokenProcessPool) as stopped:
            if output is not None:
                output.abandon()
            interrupted = isinstance(stopped, KeyboardInterrupt)
            if path is None:
                if interrupted:
                    raise
                raise cli.UserError("a worker process died") from None
            why = "interrupted" if interrupted else "error: a worker process died"
            print(f"{PROG}: {why}: {path} is untouched; the games finished so far are "
                  f"in {partial_path(path)}, and --resume completes the run", file=sys.stderr)
            return cli.EXIT_INTERRUPTED if interrupted else cli.EXIT_ERROR
        finally:
            backend.close()
    print(summary.text(), file=sys.stderr)
    if path is not None:
        print(f"wrote {args.games} games to {path}", file=sys.stderr)
    return 0


def main(argv: Sequence[str] | None = None) -> int:
    parser = _parser()
    args = parser.parse_args(argv)
    settings = _settings(args, parser)
    if args.games is None and args.out is None and args.ray is None and not args.resume:
        return play_one(settings, args.seed, args.svg)
    if args.svg:
        parser.error("--svg draws the one game; it does not go with --games")
    args.games = args.games or 1
    problem = seeds_problem(args.seed, args.games)
    if problem:
        parser.error(problem)
    return play_many(args, settings)


entry = cli.console(PROG, main)

__all__ = ["main", "entry", "Job", "Settings", "play_job", "record_of"]
