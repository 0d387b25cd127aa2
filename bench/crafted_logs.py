#!/usr/bin/env python3
"""Replay cost of crafted logs that heap dead zones over one another.

Replay accepts stones anywhere on the board, so a log can pile circles far
more densely than play ever does. Each case replays a log of n stones in a
fresh process and prints the wall time and the process's peak memory:

- heap: stones at seeded random points of a 2 x 2 square;
- row:  stones evenly spaced along a 16-unit segment;
- point: every stone at one point;
- lattice: the densest heap the replay accepts at any length, a square
  lattice 1.3 apart, where every dead zone overlaps 28 others;
- legal: the log of snapped play on a board sized to hold it, for
  comparison with what play costs.

    python bench/crafted_logs.py [--cases heap row point] [--timeout 120]
"""

import argparse
import json
import subprocess
import sys

CHILD = r"""
import json, random, resource, sys, time
import quelmar as qm
kind, n = sys.argv[1], int(sys.argv[2])
rng = random.Random(n)
side = int(n ** 0.5) + 1
size = 18.0 if kind in ("heap", "row", "point") else (side * 1.3 + 4.0 if kind == "lattice" else (n * 7.0) ** 0.5)
def at(i):
    if kind == "heap":
        return (8.0 + 2.0 * rng.random(), 8.0 + 2.0 * rng.random())
    if kind == "row":
        return (1.0 + 16.0 * i / max(n - 1, 1), 9.0)
    if kind == "lattice":
        return (2.0 + 1.3 * (i % side), 2.0 + 1.3 * (i // side))
    return (9.0, 9.0)
if kind == "legal":
    played = qm.Game(size)
    while played.stone_count < n:
        p = played.nearest_living_move((rng.uniform(0, size), rng.uniform(0, size)))
        try:
            played.try_move(p)
        except qm.SelfCaptureError:
            pass
    log = played.deltas()
else:
    log = [qm.GameDelta(qm.Stone(i, qm.Color.BLACK if i % 2 == 0 else qm.Color.WHITE, at(i))) for i in range(n)]
t0 = time.perf_counter()
try:
    qm.Game.replay(size, log)
    outcome = "replayed"
except qm.QuelmarError as e:
    outcome = f"{type(e).__name__}: {e}"
seconds = time.perf_counter() - t0
print(json.dumps({"seconds": seconds, "peak_mib": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024,
                  "outcome": outcome}))
"""

SIZES = {
    "heap": [50, 100, 200, 400, 600, 1000],
    "row": [100, 200, 400, 800, 1600],
    "point": [1000, 3000, 10000, 30000],
    "lattice": [1000, 4000, 16000],
    "legal": [1000, 4000, 16000],
}


def run(kind, n, timeout):
    try:
        done = subprocess.run([sys.executable, "-c", CHILD, kind, str(n)], capture_output=True, text=True,
                              timeout=timeout, check=True)
    except subprocess.TimeoutExpired:
        return {"seconds": None, "peak_mib": None, "outcome": f"still running after {timeout} s"}
    except subprocess.CalledProcessError as e:
        return {"seconds": None, "peak_mib": None, "outcome": f"failed: {e.stderr.strip()[-200:]}"}
    return json.loads(done.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cases", nargs="+", default=list(SIZES), choices=list(SIZES))
    parser.add_argument("--timeout", type=float, default=120.0)
    args = parser.parse_args()
    for kind in args.cases:
        for n in SIZES[kind]:
            r = run(kind, n, args.timeout)
            seconds = "      -" if r["seconds"] is None else f"{r['seconds']:7.2f}"
            peak = "     -" if r["peak_mib"] is None else f"{r['peak_mib']:6.0f}"
            print(f"{kind:5s} n={n:6d}  {seconds} s  peak {peak} MiB  {r['outcome'][:90]}", flush=True)


if __name__ == "__main__":
    main()
