#!/usr/bin/env python3
"""Cost of crossing the module boundary: nanoseconds per call for building
a Stone (positionally, by keyword, through __new__), hashing it, comparing
two, reading a property, and building a GameDelta; best of several runs.
A game's members are timed too once the module has a Game class.

    python bench/call_overhead.py [--number N] [--repeat R]
"""

import argparse
import timeit

import quelmar as qm

SETUP = """
import quelmar as qm
B = qm.Color.BLACK
s = qm.Stone(3, B, (4.0, 4.5))
t = qm.Stone(3, B, (4.0, 4.5))
d = qm.GameDelta(s, [1, 2])
"""

CASES = [
    ("Stone(3, B, (4.0, 4.5))", "qm.Stone(3, B, (4.0, 4.5))"),
    ("Stone(id=, color=, position=)", "qm.Stone(id=3, color=B, position=(4.0, 4.5))"),
    ("Stone.__new__(Stone, ...)", "qm.Stone.__new__(qm.Stone, 3, B, (4.0, 4.5))"),
    ("hash(stone)", "hash(s)"),
    ("stone == stone", "s == t"),
    ("stone.id", "s.id"),
    ("stone.position", "s.position"),
    ("stone.color", "s.color"),
    ("GameDelta(stone, [1, 2])", "qm.GameDelta(s, [1, 2])"),
    ("hash(delta)", "hash(d)"),
    ("Color.BLACK.opposite()", "B.opposite()"),
    ("(baseline) tuple((4.0, 4.5))", "tuple((4.0, 4.5))"),
]

GAME_SETUP = SETUP + """
g = qm.Game(18.0)
g.try_move((4.0, 4.0))
"""

GAME_CASES = [
    ("game.turn", "g.turn"),
    ("game.stone(0)", "g.stone(0)"),
    ("game.nearest_living_move((9.0, 9.0))", "g.nearest_living_move((9.0, 9.0))"),
]


def best_ns(stmt, setup, number, repeat):
    return min(timeit.repeat(stmt, setup, number=number, repeat=repeat)) / number * 1e9


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--number", type=int, default=200_000)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    cases = [(label, stmt, SETUP) for label, stmt in CASES]
    if hasattr(qm, "Game"):
        cases += [(label, stmt, GAME_SETUP) for label, stmt in GAME_CASES]
    width = max(len(label) for label, _, _ in cases)
    for label, stmt, setup in cases:
        print(f"{label:<{width}}  {best_ns(stmt, setup, args.number, args.repeat):8.1f} ns")


if __name__ == "__main__":
    main()
