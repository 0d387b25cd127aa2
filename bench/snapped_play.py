#!/usr/bin/env python3
"""Real-play costs from Python on positions reached by snapped play (every
stone at the nearest_living_move of a random point, refused moves
skipped), measured in one run so that the ratios hold on a busy machine:

- try_move + undo_move of a snapped move, against one rebuild of the
  partition (a pass, territory() and its undo, less the pass and undo);
- copy.copy(game) against a try_move + undo_move;
- nearest_living_move of a random point.

Medians of many samples. Boards 18, 40 and 80 filled to 51, 210 and 1,100
stones by default.

    python bench/snapped_play.py [--cases 18:51 40:210 80:1100] [--seed S]
"""

import argparse
import copy
import os
import random
import statistics
import sys
import time

import quelmar as qm

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))

from recorded_games import self_play  # noqa: E402


def median_ns(samples):
    return statistics.median(samples) * 1e9


def measure(game, rng, rounds=5):
    size = game.board_size
    asked = [(rng.uniform(0, size), rng.uniform(0, size)) for _ in range(2000)]
    moves = [p for p in (game.nearest_living_move(q) for q in asked[:600]) if p is not None][:300]
    clock = time.perf_counter
    move_undo, rebuild, bare, copies, nearest = [], [], [], [], []
    for _ in range(rounds):
        for p in moves:
            t0 = clock()
            try:
                game.try_move(p)
            except qm.SelfCaptureError:
                continue
            game.undo_move()
            move_undo.append(clock() - t0)
        for _ in range(60):
            t0 = clock()
            game.pass_turn()
            game.territory()
            game.undo_move()
            t1 = clock()
            game.pass_turn()
            game.undo_move()
            t2 = clock()
            copy.copy(game)
            t3 = clock()
            rebuild.append(t1 - t0)
            bare.append(t2 - t1)
            copies.append(t3 - t2)
        t0 = clock()
        for q in asked:
            game.nearest_living_move(q)
        nearest.append((clock() - t0) / len(asked))
    return (median_ns(move_undo), median_ns(rebuild) - median_ns(bare), median_ns(copies), median_ns(nearest))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cases", nargs="+", default=["18:51", "40:210", "80:1100"], help="board:stones")
    parser.add_argument("--seed", type=int, default=7)
    args = parser.parse_args()
    for case in args.cases:
        size, stones = case.split(":")
        game = self_play(args.seed, int(stones) * 20, size=float(size), stones=int(stones))
        rng = random.Random(args.seed + 1)
        move_undo, rebuild, copied, nearest = measure(game, rng)
        print(f"board {float(size):4g} ({game.stone_count:5d} stones): try_move+undo_move {move_undo / 1e3:8.1f} us, "
              f"rebuild {rebuild / 1e3:8.1f} us, ratio {move_undo / rebuild:5.2f}; copy {copied / 1e3:8.1f} us, "
              f"copy/move {copied / move_undo:5.2f}; nearest_living_move {nearest / 1e3:6.2f} us")


if __name__ == "__main__":
    main()
