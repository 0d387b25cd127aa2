"""quelmar-records: checks files of game records.

    quelmar-records check FILE...

streams each file (a file of any size is held one line at a time), prints
one line per bad record, `FILE:LINE: FIELD: REASON`, then the count of
good records per file, and exits 1 when any record is bad or a file
cannot be read.
"""

from __future__ import annotations

import argparse
import sys
from typing import Sequence

from .. import cli
from .stream import MAX_LINE_BYTES, iter_records

PROG = "quelmar-records"


def check_file(path: str, headers_only: bool, max_line_bytes: int) -> tuple[int, int]:
    """Prints the bad records of one file; answers (good, bad)."""
    good = bad = 0
    try:
        for entry in iter_records(path, "collect", headers_only=headers_only,
                                  max_line_bytes=max_line_bytes):
            if entry.error is None:
                good += 1
                continue
            bad += 1
            error = entry.error
            field = f" {error.field}:" if error.field else ""
            print(f"{path}:{entry.line}:{field} {error.problem}", flush=True)
    except OSError as e:
        print(f"{path}: cannot read: {e.strerror or e}", flush=True)
        return good, bad + 1
    print(f"{path}: {good} good record{'s' * (good != 1)}"
          f"{f', {bad} bad' if bad else ''}", flush=True)
    return good, bad


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog=PROG, description="Checks files of game records.")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    check = commands.add_parser("check", help="check every record of each file",
                                description="Checks every record of each file: its fields, "
                                            "its log replayed, its outcome and result.")
    check.add_argument("files", nargs="+", metavar="FILE")
    check.add_argument("--headers-only", action="store_true",
                       help="check only the headers and meta, without replaying the logs")
    check.add_argument("--max-line-bytes", type=cli.positive_int, default=MAX_LINE_BYTES,
                       help=f"longest line read (default {MAX_LINE_BYTES})")
    args = parser.parse_args(argv)
    any_bad = False
    for path in args.files:
        _, bad = check_file(path, args.headers_only, args.max_line_bytes)
        any_bad = any_bad or bad > 0
    return cli.EXIT_ERROR if any_bad else 0


entry = cli.console(PROG, main)

if __name__ == "__main__":
    sys.exit(cli.run(PROG, main))
