#!/usr/bin/env python3
"""Cost of the SVG dump and of the cut questions on a position of 90 stones
(self-play on a board of 24, where that many fit with a few captures):
dump_svg() with the territory partition still to build and with it built;
a pair question that must search (cold) and the same question from the cache.
Times are medians in microseconds.

    python bench/svg_cut.py [--stones N] [--size S] [--seed S] [--repeat R]
"""

import argparse
import itertools
import math
import os
import statistics
import sys
import time

import quelmar as qm

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))

from recorded_games import self_play  # noqa: E402


def position(stones, seed, size=18.0):
    """Snapped random self-play until `stones` stones are in play."""
    return self_play(seed, stones * 20, size, stones=stones)


def timed_us(call):
    start = time.perf_counter_ns()
    call()
    return (time.perf_counter_ns() - start) / 1000


def searched_pairs(game):
    """Same-colour pairs close enough to be answered and too far apart for
    the quick answer, so that a cold question really probes."""
    pairs = []
    for a, b in itertools.combinations(game.stones(), 2):
        d = math.dist(a.position, b.position)
        if a.color == b.color and 2.82842612474619 <= d <= qm.MAX_PAIR_CUT_DISTANCE:
            pairs.append((a.id, b.id))
    return pairs


def bench_svg(game, repeat):
    cold, warm = [], []
    for _ in range(repeat):
        # A change and its undo empty the lazily built partition.
        game.pass_turn()
        game.undo_move()
        cold.append(timed_us(game.dump_svg))
        warm.append(timed_us(game.dump_svg))
    return cold, warm, len(game.dump_svg())


def bench_cut(game, repeat):
    pairs = searched_pairs(game)
    cold, warm = [], []
    for _ in range(repeat):
        fresh = qm.Game.replay(game.board_size, game.deltas())
        fresh.pair_cuttable(*pairs[0])  # builds the stone list, which is not the question's cost
        for a, b in pairs[1:]:
            cold.append(timed_us(lambda: fresh.pair_cuttable(a, b)))
            warm.append(timed_us(lambda: fresh.pair_cuttable(b, a)))
    return cold, warm, len(pairs)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--stones", type=int, default=90)
    parser.add_argument("--size", type=float, default=24.0)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--repeat", type=int, default=20)
    args = parser.parse_args()
    game = position(args.stones, args.seed, args.size)
    print(f"position: board {game.board_size}, {game.stone_count} stones after {game.turn} turns, captures {game.captures}")
    cold, warm, size = bench_svg(game, args.repeat)
    print(f"dump_svg, partition to build   {statistics.median(cold):9.1f} us  ({size} characters)")
    print(f"dump_svg, partition built      {statistics.median(warm):9.1f} us")
    cold, warm, count = bench_cut(game, args.repeat)
    print(f"pair_cuttable, cold (searched) {statistics.median(cold):9.1f} us  (over {count - 1} pairs)")
    print(f"pair_cuttable, cached          {statistics.median(warm):9.1f} us")


if __name__ == "__main__":
    main()
