#!/usr/bin/env python3
"""A seeded random self-play game: the project's main job.

Random points are snapped onto the playable area with `nearest_living_move`;
a move that would only capture the mover's own stones is skipped, and a
player passes when no move is found. The game ends on two passes in a row
or at the move cap.

With no arguments it plays one game and prints it as it goes. With
`--games N` (or `--out FILE`) it plays N games, seeded `--seed`, `--seed`+1,
..., in parallel, and writes one game record per line (see RECORDS.md) in
seed order, so the same seeds give the same file whatever the number of
workers: `--workers W` processes on this machine, or the workers of a Ray
cluster with `--ray ADDRESS` (`auto` for the cluster this machine belongs
to, `local` to start one here with W workers; needs `pip install ray`).
"""

from __future__ import annotations

import argparse
import multiprocessing
import os
import random
import sys
import time
from dataclasses import dataclass

import quelmar as qm
import records


def find_move(game: qm.Game, rng: random.Random, tries: int) -> "qm.GameDelta | None":
    """Plays the first random snapped point the rules accept, or None."""
    size = game.board_size
    for _ in range(tries):
        target = (rng.uniform(0.0, size), rng.uniform(0.0, size))
        point = game.nearest_living_move(target)
        if point is None:
            return None  # the board is full
        try:
            return game.try_move(point)
        except qm.SelfCaptureError:
            continue
    return None


def play_game(size: float, seed: int, max_moves: int, tries: int, after_turn=None) -> qm.Game:
    """One seeded game, calling `after_turn(game)` after every turn."""
    rng = random.Random(seed)
    game = qm.Game(size)
    while game.turn < max_moves and not game.status.has_ended():
        if find_move(game, rng, tries) is None:
            game.pass_turn()
        if after_turn is not None:
            after_turn(game)
    return game


def progress(game: qm.Game) -> str:
    black, white = game.territory()
    cb, cw = game.captures
    return (f"turn {game.turn:4d}  stones {game.stone_count:4d}  "
            f"captures {cb}/{cw}  territory {black:7.2f} / {white:7.2f}")


def play_and_print(args) -> int:
    """The one example game, printed every 20 turns and at the end."""
    print(f"quelmar {qm.version()}: self-play on a board of {args.size:g}, seed {args.seed}")

    def report(game):
        if game.turn % 20 == 0:
            print(progress(game))

    game = play_game(args.size, args.seed, args.max_moves, args.tries, report)
    black, white = game.territory()
    cb, cw = game.captures
    ending = "two passes" if game.status.has_ended() else "the move cap"
    print(f"game over after {game.turn} turns ({ending})")
    print(f"captures: black {cb}, white {cw}")
    print(f"territory: black {black:.2f}, white {white:.2f} of {game.board_size ** 2:g}")
    if args.svg:
        with open(args.svg, "w", encoding="utf-8") as out:
            out.write(game.dump_svg())
        print(f"wrote {args.svg}")
    return 0


# ---------------------------------------------------------------- many games

@dataclass(frozen=True)
class Job:
    index: int
    size: float
    seed: int
    max_moves: int
    tries: int


def record_line(job: Job) -> tuple[int, str]:
    """Plays one job's game; answers its index and its record."""
    game = play_game(job.size, job.seed, job.max_moves, job.tries)
    end = "two-passes" if game.status.has_ended() else "move-cap"
    meta = {"seed": job.seed, "max_moves": job.max_moves, "tries": job.tries}
    return job.index, records.encode(game, end, meta)


def pool_lines(jobs: list[Job], workers: int):
    """(index, record) of every job, in the order they finish."""
    if workers == 1:
        yield from map(record_line, jobs)
        return
    with multiprocessing.Pool(workers) as pool:
        yield from pool.imap_unordered(record_line, jobs)


def ray_lines(jobs: list[Job], address: str, workers: int):
    """The same on a Ray cluster. The code of this script and of `records`
    travels with the tasks, so the cluster needs only quelmar installed."""
    import ray
    from ray import cloudpickle

    for module in (sys.modules[record_line.__module__], records):
        if module.__name__ != "__main__":  # __main__ goes by value anyway
            cloudpickle.register_pickle_by_value(module)
    if address == "local":
        ray.init(num_cpus=workers, include_dashboard=False)
    else:
        ray.init(address=address)
    try:
        task = ray.remote(record_line)
        pending = [task.remote(job) for job in jobs]
        while pending:
            done, pending = ray.wait(pending, num_returns=1)
            yield ray.get(done[0])
    finally:
        ray.shutdown()


class Progress:
    """A bar over finished games on stderr, redrawn at most ten times a second."""

    def __init__(self, total: int, stream=sys.stderr):
        self.total, self.done, self.stream = total, 0, stream
        self.start = self.drawn = time.monotonic()

    def advance(self):
        self.done += 1
        now = time.monotonic()
        if now - self.drawn >= 0.1 or self.done == self.total:
            self.drawn = now
            self.draw(now)

    def draw(self, now: float):
        width = 30
        filled = width * self.done // max(self.total, 1)
        rate = self.done / max(now - self.start, 1e-9)
        self.stream.write(f"\r[{'#' * filled}{'.' * (width - filled)}] "
                          f"{self.done}/{self.total} games  {rate:.1f} games/s")
        if self.done == self.total:
            self.stream.write("\n")
        self.stream.flush()


def write_in_order(results, total: int, out) -> None:
    """Writes records as they finish, each once those before it are out."""
    waiting, following = {}, 0
    bar = Progress(total)
    for index, line in results:
        waiting[index] = line
        bar.advance()
        while following in waiting:
            out.write(waiting.pop(following) + "\n")
            following += 1


def play_many(args) -> int:
    jobs = [Job(i, args.size, args.seed + i, args.max_moves, args.tries)
            for i in range(args.games)]
    if args.ray:
        results = ray_lines(jobs, args.ray, args.workers)
    else:
        results = pool_lines(jobs, args.workers)
    if args.out in (None, "-"):
        write_in_order(results, len(jobs), sys.stdout)
    else:
        with open(args.out, "w", encoding="utf-8") as out:
            write_in_order(results, len(jobs), out)
    return 0


def positive(text: str) -> int:
    value = int(text)
    if value < 1:
        raise argparse.ArgumentTypeError(f"{value} is not a positive number")
    return value


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=float, default=18.0, help="board size (default 18)")
    parser.add_argument("--seed", type=int, default=1,
                        help="random seed, of the first game when there are several (default 1)")
    parser.add_argument("--max-moves", type=int, default=400, help="move cap (default 400)")
    parser.add_argument("--tries", type=int, default=20,
                        help="random points tried before passing (default 20)")
    parser.add_argument("--svg", metavar="PATH", help="write the final position as SVG")
    batch = parser.add_argument_group("many games, written as records")
    batch.add_argument("--games", type=positive, help="how many games to play")
    batch.add_argument("--workers", type=positive, default=os.cpu_count() or 1,
                       help="processes or Ray workers to play them (default: one per core)")
    batch.add_argument("--out", metavar="FILE", help="where to write the records (default stdout)")
    batch.add_argument("--ray", metavar="ADDRESS",
                       help="play on a Ray cluster: its address, 'auto' or 'local'")
    args = parser.parse_args(argv)

    if args.games is None and args.out is None and args.ray is None:
        return play_and_print(args)
    if args.svg:
        parser.error("--svg draws the one example game; it does not go with --games")
    if args.games is None:
        args.games = 1
    return play_many(args)


if __name__ == "__main__":
    sys.exit(main())
