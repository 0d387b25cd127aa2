#!/usr/bin/env python3
"""Reading and writing game records: throughput, memory and hostile lines.

    python bench/records.py [--games 100000] [--short 1000000] [--distinct 1000]

1. Throughput on a file of `--games` self-play records (`--distinct` games
   played on a board of 9, repeated): records/s and MB/s for writing
   (encode + write_records), reading with replay (iter_records) and the
   headers-only path.
2. Peak memory of streaming a file of `--short` short games (three turns
   each) through iter_records, measured in a fresh process against that
   process's memory before reading.
3. Hostile lines, each in seconds and seconds per MB: a meta of 20,000 keys,
   a 16,000-stone record with one off-board stone appended, 200,000-deep
   nesting, invalid UTF-8, 50 MB of blank lines and a 100 MB line past the
   line limit.
"""

from __future__ import annotations

import argparse
import io
import json
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import quelmar as qm

from quelmar_kit import records
from quelmar_kit.selfplay.jobs import Job, Settings, play_job

MB = 2**20


def timed(action):
    start = time.perf_counter()
    value = action()
    return value, time.perf_counter() - start


def throughput(folder: Path, games: int, distinct: int) -> None:
    settings = Settings(9.0, 0.0, 60, "random", "random")
    lines = [play_job(Job(i, i, settings)).line for i in range(distinct)]
    played = [records.decode(line) for line in lines]
    path = folder / "selfplay.jsonl"

    def write():
        return records.write_records(path, (played[i % distinct] for i in range(games)))

    _, seconds = timed(write)
    size = path.stat().st_size / MB
    print(f"file: {games} records, {size:.1f} MB ({distinct} distinct games of 60 turns, board 9)")
    print(f"  write (encode + write_records)   {games / seconds:10.0f} records/s  {size / seconds:7.1f} MB/s")
    for label, options in (("read, every log replayed", {}),
                           ("read, headers only", {"headers_only": True})):
        count, seconds = timed(lambda: sum(1 for _ in records.iter_records(path, **options)))
        assert count == games
        print(f"  {label:32} {games / seconds:10.0f} records/s  {size / seconds:7.1f} MB/s")


def short_games_file(path: Path, count: int) -> None:
    game = qm.Game(9)
    game.try_move((2.0, 2.0))
    game.try_move((7.0, 7.0))
    game.pass_turn()
    line = records.encode(records.record_of(game)) + "\n"
    with open(path, "w", encoding="utf-8") as out:
        for _ in range(count):
            out.write(line)


# The peak resident size of the process that reads, from /proc: unlike
# getrusage's maximum, it starts afresh at exec rather than keeping the
# parent's peak.
STREAM = """
import sys
from quelmar_kit import records
def peak():
    for line in open("/proc/self/status"):
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
before = peak()
count = sum(1 for _ in records.iter_records(sys.argv[1]))
print(count, before, peak())
"""


def streaming_memory(folder: Path, count: int) -> None:
    path = folder / "short.jsonl"
    short_games_file(path, count)
    size = path.stat().st_size / MB
    started = time.perf_counter()
    out = subprocess.run([sys.executable, "-c", STREAM, str(path)], check=True,
                         capture_output=True, text=True).stdout.split()
    seconds = time.perf_counter() - started
    read, before, after = (int(v) for v in out)
    assert read == count
    print(f"streaming {count} short games ({size:.0f} MB) with replay: {seconds:.1f} s, "
          f"peak RSS {after / 1024:.0f} MB ({(after - before) / 1024:.0f} MB over the "
          f"process before reading)")
    path.unlink()


def crowded_record() -> str:
    """A valid record of about 16,000 stones on a lattice, as text."""
    size, spacing = 270.0, 2.1
    per_row = int((size - 2.0) / spacing) + 1
    deltas = []
    for i in range(16_000):
        x = 1.0 + spacing * (i % per_row)
        y = 1.0 + spacing * (i // per_row)
        color = qm.Color.BLACK if i % 2 == 0 else qm.Color.WHITE
        deltas.append(qm.GameDelta(qm.Stone(i, color, (x, y))))
    game = qm.Game.replay(size, deltas)
    return records.encode(records.record_of(game))


def hostile_lines() -> list[tuple[str, bytes]]:
    base = json.loads(crowded_record())
    crowded = json.dumps(base, separators=(",", ":"))
    n = len(base["log"])
    off = dict(base)
    off["log"] = base["log"] + [{"stone": n, "color": "black" if n % 2 == 0 else "white",
                                 "x": 999.0, "y": 1.0, "captured": []}]
    small = json.loads(records.encode(records.record_of(qm.Game(9))))
    many_keys = dict(small, meta={f"key{i}": i for i in range(20_000)})
    deep = json.dumps(small)[:-1] + ',"meta":{"deep":' + "[" * 200_000 + "]" * 200_000 + "}}"
    utf8 = records.encode(records.record_of(qm.Game(9), event="caf\u00e9")).encode()
    return [
        ("a valid 16,000-stone record", crowded.encode()),
        ("the same with an off-board stone", json.dumps(off, separators=(",", ":")).encode()),
        ("a meta of 20,000 keys", json.dumps(many_keys).encode()),
        ("200,000-deep nesting", deep.encode()),
        ("invalid UTF-8", utf8.replace("\u00e9".encode(), b"\xe9")),
    ]


def hostile(folder: Path) -> None:
    print("hostile input (time, time per MB):")
    for label, line in hostile_lines():
        entries, seconds = timed(lambda: list(records.iter_records(io.BytesIO(line + b"\n"),
                                                                   "collect")))
        [entry] = entries
        verdict = "loads" if entry.error is None else f"refused: {str(entry.error)[:60]}"
        size = len(line) / MB
        print(f"  {label:36} {size:7.2f} MB {seconds:7.3f} s {seconds / size:7.3f} s/MB  {verdict}")
    for label, make, mb in (("50 MB of blank lines", lambda f: f.write(b"\n" * (50 * MB)), 50),
                            ("a 100 MB line past the limit",
                             lambda f: f.write(b"{" * (100 * MB) + b"\n"), 100)):
        path = folder / "hostile.jsonl"
        with open(path, "wb") as f:
            make(f)
        entries, seconds = timed(lambda: list(records.iter_records(path, "collect")))
        what = f"{len(entries)} entries" + (f", {entries[0].error.problem}" if entries else "")
        print(f"  {label:36} {mb:7.2f} MB {seconds:7.3f} s {seconds / mb:7.3f} s/MB  {what}")
        path.unlink()


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--games", type=int, default=100_000)
    parser.add_argument("--distinct", type=int, default=1000)
    parser.add_argument("--short", type=int, default=1_000_000)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        throughput(Path(folder), args.games, args.distinct)
        streaming_memory(Path(folder), args.short)
        hostile(Path(folder))
    return 0


if __name__ == "__main__":
    sys.exit(main())
