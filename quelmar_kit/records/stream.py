"""Reading a file of records one line at a time.

Memory is bounded by the longest line, not by the file: each line is read,
decoded and handed out before the next is read, and a line longer than the
limit is skipped through in blocks without being held.
"""

from __future__ import annotations

import io
import os
from dataclasses import dataclass
from typing import IO, Any, Iterator, Literal, Union

from .decode import decode, read_headers
from .errors import RecordError
from .model import Headers, Record

# Longer than any played game needs (a 16,000-stone game takes about 1 MB),
# short enough that one hostile line cannot exhaust memory.
MAX_LINE_BYTES = 16 * 2**20
_SKIP_BLOCK = 2**20
_BOM = b"\xef\xbb\xbf"

Source = Union[str, "os.PathLike[str]", IO[bytes]]
OnError = Literal["raise", "skip", "collect"]


@dataclass(frozen=True)
class Entry:
    """One non-blank line of the file: its number (from 1), the byte offset
    where it starts, and what it holds. `record` is None on the headers-only
    path; with on_error="collect" a bad line comes as an entry whose
    `error` is set and whose headers and record are None."""

    line: int
    offset: int
    headers: Headers | None
    meta: dict[str, Any] | None
    record: Record | None = None
    error: RecordError | None = None


@dataclass(frozen=True)
class _Line:
    number: int
    offset: int
    text: str | None         # None when the line could not be read as text
    problem: str | None = None


def _lines(stream: IO[bytes], max_line_bytes: int) -> Iterator[_Line]:
    """The file's non-blank lines, each as UTF-8 text without its line end,
    or with the reason it is not text or is too long."""
    offset, number = 0, 0
    while True:
        raw = stream.readline(max_line_bytes + 1)
        if not raw:
            return
        number += 1
        start = offset
        offset += len(raw)
        if len(raw) > max_line_bytes and not raw.endswith(b"\n"):
            offset += _skip_rest(stream)
            yield _Line(number, start, None, f"the line is longer than {max_line_bytes} bytes")
            continue
        if number == 1 and raw.startswith(_BOM):
            raw = raw[len(_BOM):]
        raw = raw.rstrip(b"\r\n")
        if not raw.strip():
            continue
        try:
            yield _Line(number, start, raw.decode("utf-8"))
        except UnicodeDecodeError as e:
            yield _Line(number, start, None,
                        f"not UTF-8 text: byte {raw[e.start]:#04x} at column {e.start + 1}")


def _skip_rest(stream: IO[bytes]) -> int:
    """Reads past the rest of an overlong line; answers the bytes read."""
    skipped = 0
    while True:
        block = stream.readline(_SKIP_BLOCK)
        skipped += len(block)
        if not block or block.endswith(b"\n"):
            return skipped


def _entry(line: _Line, headers_only: bool) -> Entry:
    if line.text is None:
        raise RecordError(line.number, None, line.problem or "unreadable")
    if headers_only:
        headers, meta = read_headers(line.text, line.number)
        return Entry(line.number, line.offset, headers, meta)
    record = decode(line.text, line.number)
    return Entry(line.number, line.offset, record.headers, dict(record.meta), record)


def _open(source: Source) -> tuple[IO[bytes], bool]:
    if isinstance(source, (str, os.PathLike)):
        return open(source, "rb"), True
    if isinstance(source, io.TextIOBase):
        raise TypeError("iter_records reads bytes: open the file in binary mode ('rb')")
    return source, False


def iter_records(source: Source, on_error: OnError = "raise", *, headers_only: bool = False,
                 max_line_bytes: int = MAX_LINE_BYTES) -> Iterator[Entry]:
    """The records of a file (a path or a binary stream), one entry a line,
    blank lines skipped. A bad line raises RecordError (`on_error="raise"`),
    is passed over (`"skip"`) or comes as an entry carrying its error
    (`"collect"`). With `headers_only` the log is neither read nor
    replayed: each entry holds the headers and meta alone."""
    if on_error not in ("raise", "skip", "collect"):
        raise ValueError(f"on_error must be 'raise', 'skip' or 'collect', not {on_error!r}")
    if max_line_bytes < 1:
        raise ValueError(f"max_line_bytes must be positive, not {max_line_bytes}")
    stream, owned = _open(source)
    try:
        for line in _lines(stream, max_line_bytes):
            try:
                entry = _entry(line, headers_only)
            except RecordError as error:
                if on_error == "raise":
                    raise
                if on_error == "collect":
                    yield Entry(line.number, line.offset, None, None, None, error)
                continue
            yield entry
    finally:
        if owned:
            stream.close()
