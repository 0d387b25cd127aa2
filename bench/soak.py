#!/usr/bin/env python3
"""Soak test of the installed module, off CI: random games on several board
sizes until the given number of operations has run, every operation
checked (the game validates, undo gives back the position before, a replay
of the log equals the game, territory sums to the board's area, refusals
agree with a brute-force depth). Prints the operations survived and the
categories reached; exits non-zero when any game failed.

    python bench/soak.py [--operations N] [--seed S] [--sizes 7 9 13.5 19 25]
                         [--game-length L] [--game G]

Game G of a run replays alone with the same seed, sizes and length and
`--game G`.
"""

import argparse
import collections
import itertools
import os
import random
import sys
import time
import traceback

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))

from soak_game import Soak  # noqa: E402


def play_game(args, number, tally):
    """Plays game `number`; answers (operations survived, failure text or None)."""
    rng = random.Random(f"{args.seed}:{number}")
    soak = Soak(rng, args.sizes[number % len(args.sizes)], tally)
    for done in range(args.game_length):
        try:
            soak.step()
        except Exception:  # a broken check or an unexpected exception alike
            return done, traceback.format_exc()
    return args.game_length, None


def report(tally):
    return ", ".join(f"{n} {k}" for k, n in sorted(tally.items()))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--operations", type=int, default=1_000_000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--sizes", type=float, nargs="+", default=[7.0, 9.0, 13.5, 19.0, 25.0])
    parser.add_argument("--game-length", type=int, default=200)
    parser.add_argument("--game", type=int, help="play only this game of the run")
    args = parser.parse_args()

    tally = collections.Counter()
    operations = games = failures = 0
    start = next_report = time.monotonic()
    for number in [args.game] if args.game is not None else itertools.count():
        if args.game is None and operations >= args.operations:
            break
        survived, failure = play_game(args, number, tally)
        operations += survived
        games += 1
        if failure:
            failures += 1
            print(f"soak: game {number} (board {args.sizes[number % len(args.sizes)]}) failed after "
                  f"{survived} operations; replay with --seed {args.seed} --game {number}\n{failure}",
                  file=sys.stderr)
        if time.monotonic() >= next_report + 60:
            next_report = time.monotonic()
            print(f"soak: {operations} operations, {games} games, {failures} failures "
                  f"in {next_report - start:.0f} s", flush=True)
    seconds = time.monotonic() - start
    print(f"soak: {operations} operations survived over {games} games on boards "
          f"{', '.join(f'{s:g}' for s in args.sizes)}, {failures} failures in {seconds:.0f} s "
          f"(seed {args.seed})")
    print(f"reached: {report(tally)}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
