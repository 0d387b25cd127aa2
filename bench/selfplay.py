#!/usr/bin/env python3
"""Self-play throughput from Python: committed moves per second, and
try_move + undo_move pairs per second, on boards of several sizes.

    python bench/selfplay.py [--sizes 18 40 80] [--moves N] [--seed S]
"""

import argparse
import random
import time

import quelmar as qm


def play(size, moves, rng):
    """Plays up to `moves` snapped random moves; answers (game, seconds, committed)."""
    game = qm.Game(size)
    committed = 0
    spent = 0.0
    for _ in range(moves * 3):
        if committed >= moves:
            break
        point = game.nearest_living_move((rng.uniform(0, size), rng.uniform(0, size)))
        if point is None:
            break
        start = time.perf_counter()
        try:
            game.try_move(point)
            committed += 1
        except qm.SelfCaptureError:
            pass
        spent += time.perf_counter() - start
    return game, spent, committed


def probe_pairs(game, rng, pairs):
    """try_move + undo_move pairs at snapped points of a fixed position."""
    size = game.board_size
    points = [game.nearest_living_move((rng.uniform(0, size), rng.uniform(0, size)))
              for _ in range(pairs)]
    points = [p for p in points if p is not None]
    done = 0
    move_time = undo_time = 0.0
    for p in points:
        t0 = time.perf_counter()
        try:
            game.try_move(p)
        except qm.SelfCaptureError:
            continue
        t1 = time.perf_counter()
        game.undo_move()
        t2 = time.perf_counter()
        move_time += t1 - t0
        undo_time += t2 - t1
        done += 1
    return done, move_time, undo_time


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", type=float, nargs="+", default=[18.0, 40.0, 80.0])
    parser.add_argument("--moves", type=int, default=0,
                        help="committed moves per board (default: enough to fill it)")
    parser.add_argument("--pairs", type=int, default=500)
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()
    for size in args.sizes:
        rng = random.Random(args.seed)
        moves = args.moves or int(size * size / 3)
        game, spent, committed = play(size, moves, rng)
        done, move_time, undo_time = probe_pairs(game, rng, args.pairs)
        print(f"board {size:g}: {committed} moves committed, {game.stone_count} stones on the board")
        print(f"  committed moves/s: {committed / spent:10.0f}  ({spent / max(committed, 1) * 1e6:.1f} us/move)")
        if done:
            print(f"  try_move+undo pairs/s: {done / (move_time + undo_time):10.0f}"
                  f"  (try_move {move_time / done * 1e6:.1f} us, undo {undo_time / done * 1e6:.1f} us)")


if __name__ == "__main__":
    main()
