#!/usr/bin/env python3
"""Reads a file of records one game at a time (any size) and counts the
wins by colour; bad lines are reported and passed over.

    python examples/tally_records.py GAMES.jsonl
"""

import sys
from collections import Counter

from quelmar_kit import records

wins: Counter[str] = Counter()
for entry in records.iter_records(sys.argv[1], on_error="collect", headers_only=True):
    if entry.error is not None:
        print(f"line {entry.line} (byte {entry.offset}): {entry.error.problem}")
        continue
    result = entry.headers.result
    wins["black" if result.startswith("B+") else "white" if result.startswith("W+") else result] += 1
print(dict(wins))
