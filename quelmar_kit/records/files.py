"""Writing files of records so that no reader ever sees half of one: a whole
file goes to a temporary file beside it, renamed into place once complete;
records added to a file are appended whole and flushed to the disk."""

from __future__ import annotations

import os
import tempfile
from pathlib import Path
from typing import IO, Iterable, Iterator, Union

from .encode import encode
from .model import Record
from .stream import Source, iter_records

PathLike = Union[str, "os.PathLike[str]"]


class AtomicFile:
    """A file written beside `path` under a temporary name and renamed over
    `path` by `commit()`; `discard()` (or leaving the `with` block by an
    exception) removes it and leaves `path` as it was."""

    def __init__(self, path: PathLike):
        self.path = Path(path)
        handle, temporary = tempfile.mkstemp(dir=self.path.parent or ".",
                                             prefix=f".{self.path.name}.", suffix=".tmp")
        self.temporary = Path(temporary)
        # mkstemp makes the file private; the file it becomes gets the mode
        # the one it replaces had, or the mode any new file would get.
        os.chmod(handle, _mode_for(self.path))
        self.file: IO[str] = os.fdopen(handle, "w", encoding="utf-8", newline="\n")

    def write_line(self, line: str) -> None:
        self.file.write(line + "\n")

    def commit(self) -> None:
        self.file.flush()
        os.fsync(self.file.fileno())
        self.file.close()
        os.replace(self.temporary, self.path)

    def discard(self) -> None:
        if not self.file.closed:
            self.file.close()
        self.temporary.unlink(missing_ok=True)

    def __enter__(self) -> "AtomicFile":
        return self

    def __exit__(self, kind: object, *rest: object) -> None:
        if kind is None and not self.file.closed:
            self.commit()
        else:
            self.discard()


def _mode_for(path: Path) -> int:
    try:
        return path.stat().st_mode & 0o7777
    except FileNotFoundError:
        return 0o666 & ~_umask()


def _umask() -> int:
    # Linux tells the mask without changing it; setting it to read it back
    # would, for an instant, give files other threads make the wrong mode.
    try:
        with open("/proc/self/status", encoding="ascii") as status:
            for line in status:
                if line.startswith("Umask:"):
                    return int(line.split()[1], 8)
    except OSError:
        pass
    mask = os.umask(0o022)
    os.umask(mask)
    return mask


def write_records(path: PathLike, records: Iterable[Record]) -> int:
    """Writes `records` to `path`, one a line, replacing the file only once
    every record is written; answers how many were written."""
    count = 0
    with AtomicFile(path) as out:
        for record in records:
            out.write_line(encode(record))
            count += 1
    return count


def append_records(path: PathLike, records: Iterable[Record]) -> int:
    """Adds `records` at the end of `path` (made if missing), each line
    written whole and flushed to the disk; answers how many were added."""
    count = 0
    with open(path, "a", encoding="utf-8", newline="\n") as out:
        for record in records:
            out.write(encode(record) + "\n")
            count += 1
        out.flush()
        os.fsync(out.fileno())
    return count


def read_records(source: Source) -> list[Record]:
    """Every record of a file, or RecordError for the first bad line and no
    records at all. For large files use `iter_records`, which holds one
    record at a time."""
    return [entry.record for entry in iter_records(source) if entry.record is not None]


def records_of(source: Source) -> Iterator[Record]:
    """The records of a file one at a time; RecordError at the first bad one."""
    for entry in iter_records(source):
        if entry.record is not None:
            yield entry.record
