"""Game records: one game per line of JSON (JSON Lines).

A record holds headers (event, site, date, round, the two players, the
result and the reason the game stopped, komi, board size and engine
version), free-form `meta`, the log of committed turns with an optional
note on each (time spent, comment, analysis) and the outcome. Reading
replays the log once, so a record that loads is a game the engine accepts,
and checks the outcome and result against the replayed game. Every refusal
is a `RecordError` naming the line and the field. docs/RECORDS.md describes
the format.

    from quelmar_kit import records
    record = records.record_of(game, black="alice", white="random")
    line = records.encode(record)              # one line, no newline
    same = records.decode(line)                # Record, or RecordError
    for entry in records.iter_records("games.jsonl", on_error="collect"):
        ...                                    # entry.line, entry.offset, entry.record
    records.write_records("games.jsonl", many) # whole file, or nothing
"""

from .decode import TERRITORY_TOLERANCE, decode, read_headers
from .encode import encode
from .errors import RecordError
from .files import AtomicFile, append_records, read_records, records_of, write_records
from .log_check import COLORS
from .model import FORMAT, HEADER_NAMES, VERSION, Headers, Note, Outcome, Record, record_of
from .stream import MAX_LINE_BYTES, Entry, iter_records

__all__ = [
    "AtomicFile", "COLORS", "Entry", "FORMAT", "HEADER_NAMES", "Headers", "MAX_LINE_BYTES",
    "Note", "Outcome", "Record", "RecordError", "TERRITORY_TOLERANCE", "VERSION",
    "append_records", "decode", "encode", "iter_records", "read_headers", "read_records",
    "record_of", "records_of", "write_records",
]
