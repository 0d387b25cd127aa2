#!/usr/bin/env python3
"""Move costs of this tree against an older commit, in one run.

Builds bench/move_classes_bench.cpp twice in Release: against this tree and
against the engine of an older commit (59b5bc2 by default, the engine
before moves became local), taken with `git archive` into build/ so the
repository itself is left alone. Writes the positions once, then runs the
two binaries alternately, several times, on the same positions and prints,
per board and move class, the mean try_move + undo of each and the median
of the ratios of back-to-back runs; then the cost of a snapped move as a
board fills, from 100 to 6,400 stones. On a machine others share, the
least-disturbed figures are each binary's best run, printed beside them;
--callgrind adds instruction counts per class, which no load changes.

    python bench/compare_moves.py [--old COMMIT] [--runs N] [--rounds R] [--no-fill] [--callgrind]
"""

import argparse
import os
import pathlib
import tempfile
import re
import shutil
import statistics
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
BENCH = "bench_move_classes_bench"
LINE = re.compile(r"^(?:fill )?board (\S+) stones (\d+) (?:class (\S+) )?moves (\d+) mean_ns (\d+)")


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, text=True, **kw)


def build(source, build_dir):
    run(["cmake", "-S", str(source), "-B", str(build_dir), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
         "-DQUELMAR_BUILD_BENCH=ON", "-DQUELMAR_BUILD_MODULE=OFF"], stdout=subprocess.DEVNULL)
    run(["cmake", "--build", str(build_dir), "-j2", "--target", BENCH], stdout=subprocess.DEVNULL)
    return build_dir / BENCH


def old_tree(commit):
    src = ROOT / "build" / f"old-{commit}" / "src"
    if not (src / "CMakeLists.txt").exists():
        src.mkdir(parents=True, exist_ok=True)
        archive = subprocess.run(["git", "-C", str(ROOT), "archive", commit], check=True, capture_output=True)
        subprocess.run(["tar", "-x", "-C", str(src)], input=archive.stdout, check=True)
    # The benchmark is this tree's, so both sides measure the same thing.
    shutil.copy(ROOT / "bench" / "move_classes_bench.cpp", src / "bench" / "move_classes_bench.cpp")
    return src


def measure(binary, mode, positions, rounds):
    args = [str(binary), mode, str(positions)] + (["--rounds", str(rounds)] if mode == "--classes" else [])
    out = run(args, capture_output=True).stdout
    figures = {}
    for line in out.splitlines():
        m = LINE.match(line)
        if m:
            board, stones, kind, moves, ns = m.groups()
            figures[(float(board), int(stones), kind or "fill")] = (int(moves), float(ns))
    return figures


def compare(old, new, mode, positions, runs, rounds):
    olds, news, ratios = {}, {}, {}
    for i in range(runs):
        # Alternate which goes first, so that neither always meets a warmer machine.
        pair = [(old, olds), (new, news)] if i % 2 == 0 else [(new, news), (old, olds)]
        got = {}
        for binary, into in pair:
            got[id(into)] = measure(binary, mode, positions, rounds)
            for key, value in got[id(into)].items():
                into.setdefault(key, []).append(value)
        for key in got[id(olds)]:
            o, n = got[id(olds)][key][1], got[id(news)].get(key, (0, 0))[1]
            if o > 0 and n > 0:
                ratios.setdefault(key, []).append(n / o)
        print(f"  run {i + 1} of {runs} done", file=sys.stderr)
    return olds, news, ratios


def instructions(binary, positions, board, kind):
    """Instructions callgrind counts in the measured try_move + undo pairs."""
    with tempfile.TemporaryDirectory() as tmp:
        out = run(["valgrind", "--tool=callgrind", "--toggle-collect=*measured_pairs*",
                   f"--callgrind-out-file={tmp}/cg.out", str(binary), "--moves-only", str(positions),
                   str(board), kind], capture_output=True)
        m = re.search(r"Collected : (\d+)", out.stderr)
        pairs = re.search(r"(\d+) try_move \+ undo pairs", out.stdout)
        return int(m.group(1)) / max(1, int(pairs.group(1))) if m and pairs else 0


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--old", default="59b5bc2")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--no-fill", action="store_true")
    parser.add_argument("--callgrind", action="store_true", help="also count instructions under callgrind")
    args = parser.parse_args(argv)

    new = build(ROOT, ROOT / "build" / "bench")
    old = build(old_tree(args.old), ROOT / "build" / f"old-{args.old}" / "build")
    positions = ROOT / "build" / "bench" / "move_positions.txt"
    if not positions.exists():
        run([str(new), "--write", str(positions)])

    modes = [("--classes", "try_move + undo, mean ns per move")]
    if not args.no_fill:
        modes.append(("--fill", "a snapped move (nearest + try_move) as the board fills, mean ns"))
    for mode, title in modes:
        olds, news, ratios = compare(old, new, mode, positions, args.runs, args.rounds)
        print(f"{title}; old = {args.old}, {args.runs} alternating runs")
        print(f"{'board':>6} {'stones':>6} {'class':>8} {'moves':>5} {'old':>10} {'new':>10} {'new/old':>8}"
              f" {'best old':>10} {'best new':>10} {'ratio':>6}")
        for key in sorted(olds):
            board, stones, kind = key
            moves = olds[key][0][0]
            o = statistics.median(v[1] for v in olds[key])
            n = statistics.median(v[1] for v in news.get(key, [(0, 0)]))
            r = statistics.median(ratios[key]) if key in ratios else float("nan")
            bo = min(v[1] for v in olds[key])
            bn = min(v[1] for v in news.get(key, [(0, 0)]))
            br = bn / bo if bo > 0 else float("nan")
            print(f"{board:6g} {stones:6d} {kind:>8} {moves:5d} {o:10.0f} {n:10.0f} {r:8.2f} {bo:10.0f} {bn:10.0f} {br:6.2f}")
        if mode == "--fill":
            fills = sorted(k for k in news)
            if fills:
                first = statistics.median(v[1] for v in news[fills[0]])
                last = statistics.median(v[1] for v in news[fills[-1]])
                print(f"new: largest / smallest fill {last / first:.2f}")
    if args.callgrind:
        print(f"instructions per try_move + undo (callgrind); old = {args.old}")
        print(f"{'board':>6} {'class':>8} {'old':>12} {'new':>12} {'new/old':>8}")
        for board in (18, 40, 80, 150):
            for kind in ("quiet", "capture"):
                o, n = instructions(old, positions, board, kind), instructions(new, positions, board, kind)
                print(f"{board:6d} {kind:>8} {o:12.0f} {n:12.0f} {n / o if o else float('nan'):8.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
