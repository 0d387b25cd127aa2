"""Where a run's records go.

To a file, the records are written in job order to `FILE.partial` beside
it, each line flushed as it is written, and the partial file is renamed
over FILE only once the run completes. An interrupted run leaves FILE as it
was and its finished games in FILE.partial, whose name says it is partial;
`--resume` checks that the partial file is this run's, drops a line cut
short by a crash, and carries on from the first game it lacks, so the
completed file is the one an uninterrupted run writes.
"""

from __future__ import annotations

import os
import sys
from pathlib import Path
from typing import IO, Iterator

from .. import records
from ..cli import UserError
from .jobs import Job, expected_headers

PARTIAL_SUFFIX = ".partial"


class Output:
    """Records written one line at a time; `complete()` once all are out."""

    def __init__(self, stream: IO[str], path: Path | None = None,
                 partial: Path | None = None):
        self.stream, self.path, self.partial = stream, path, partial

    def write(self, line: str) -> None:
        self.stream.write(line + "\n")
        if self.partial is not None:
            self.stream.flush()

    def complete(self) -> None:
        self.stream.flush()
        if self.partial is None or self.path is None:
            return
        os.fsync(self.stream.fileno())
        self.stream.close()
        os.replace(self.partial, self.path)

    def abandon(self) -> None:
        """Leaves what was written in the partial file, safely on disk."""
        if self.partial is not None and not self.stream.closed:
            self.stream.flush()
            os.fsync(self.stream.fileno())
            self.stream.close()


def to_stdout() -> Output:
    return Output(sys.stdout)


def partial_path(path: Path) -> Path:
    return path.with_name(path.name + PARTIAL_SUFFIX)


def check_writable(path: Path, resume: bool) -> None:
    """Everything that would stop the run from writing `path`, checked
    before any game is played."""
    partial = partial_path(path)
    if path.is_dir():
        raise UserError(f"{path} is a directory")
    if not path.parent.is_dir():
        raise UserError(f"{path.parent} is not a directory")
    if not os.access(path.parent, os.W_OK):
        raise UserError(f"cannot write in {path.parent}")
    if resume and not partial.exists():
        raise UserError(f"there is nothing to resume: {partial} does not exist")
    if not resume and partial.exists():
        raise UserError(f"{partial} holds an interrupted run: --resume completes it, "
                        f"or remove it to start again")


def _mismatch(entry: records.Entry, job: Job) -> str | None:
    """How a partial file's record differs from what `job` writes, or None."""
    headers, meta = entry.headers, entry.meta or {}
    assert headers is not None
    found = {"board_size": headers.board_size, "komi": headers.komi, "black": headers.black,
             "white": headers.white, "round": headers.round, "seed": meta.get("seed"),
             "max_moves": meta.get("max_moves")}
    for key, wanted in expected_headers(job).items():
        if found[key] != wanted:
            return f"its {key} is {found[key]!r}, this run's is {wanted!r}"
    return None


def resume(path: Path, jobs: Iterator[Job]) -> tuple[Output, int]:
    """Opens the partial file of `path` to go on from the first game it
    lacks; answers the output and how many games it already holds. The
    records it holds are checked against the run's first jobs by their
    headers (their logs were checked when they were written)."""
    partial = partial_path(path)
    kept, cut = 0, partial.stat().st_size
    for entry in records.iter_records(partial, "collect", headers_only=True):
        if entry.error is not None:
            cut = entry.offset  # a line cut short by a crash, and all after it
            break
        job = next(jobs, None)
        if job is None:
            raise UserError(f"{partial} holds more games than this run plays")
        problem = _mismatch(entry, job)
        if problem is not None:
            raise UserError(f"{partial} is another run's: its game on line {entry.line} "
                            f"does not fit ({problem})")
        kept += 1
    out = open(partial, "r+b")
    out.truncate(cut)
    if cut > 0:
        out.seek(cut - 1)
        if out.read(1) != b"\n":  # the last record lost only its newline
            out.write(b"\n")
    out.close()
    return Output(open(partial, "a", encoding="utf-8", newline="\n"), path, partial), kept


def start(path: Path) -> Output:
    partial = partial_path(path)
    return Output(open(partial, "x", encoding="utf-8", newline="\n"), path, partial)
