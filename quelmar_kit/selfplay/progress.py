"""Progress over finished games, and the summary at the end of a run.

On a terminal the bar is tqdm's; otherwise (a log file, CI) a plain line
every few seconds, so that a log never fills with carriage returns."""

from __future__ import annotations

import sys
import time
from dataclasses import dataclass, field
from typing import IO, Any

# How often a line is written when stderr is not a terminal.
LINE_EVERY_SECONDS = 5.0


class Progress:
    def __init__(self, total: int, done: int = 0, stream: IO[str] | None = None,
                 unit: str = "games"):
        self.stream = stream if stream is not None else sys.stderr
        self.total, self.done, self.unit = total, done, unit
        self.start = self.last_line = time.monotonic()
        self.first = done
        self.bar: Any = None
        if _is_terminal(self.stream):
            from tqdm import tqdm
            self.bar = tqdm(total=total, initial=done, unit=unit.rstrip("s"),
                            file=self.stream, dynamic_ncols=True)

    def advance(self, note: str = "") -> None:
        self.done += 1
        if self.bar is not None:
            self.bar.update(1)
            if note:
                self.bar.set_postfix_str(note, refresh=False)
            return
        now = time.monotonic()
        if now - self.last_line >= LINE_EVERY_SECONDS:
            self.last_line = now
            self.stream.write(f"{self.done}/{self.total} {self.unit}, "
                              f"{self.rate(now):.2f} {self.unit}/s {note}".rstrip() + "\n")
            self.stream.flush()

    def rate(self, now: float | None = None) -> float:
        elapsed = (now if now is not None else time.monotonic()) - self.start
        return (self.done - self.first) / max(elapsed, 1e-9)

    def close(self) -> None:
        if self.bar is not None:
            self.bar.close()


def _is_terminal(stream: IO[str]) -> bool:
    try:
        return stream.isatty()
    except (AttributeError, ValueError):
        return False


@dataclass
class Summary:
    """What a run played: games, wins by colour, draws, length, speed."""

    games: int = 0
    black: int = 0
    white: int = 0
    draws: int = 0
    other: int = 0
    turns: int = 0
    start: float = field(default_factory=time.monotonic)

    def add(self, result: str, turns: int) -> None:
        self.games += 1
        self.turns += turns
        if result.startswith("B+"):
            self.black += 1
        elif result.startswith("W+"):
            self.white += 1
        elif result == "draw":
            self.draws += 1
        else:
            self.other += 1

    def text(self) -> str:
        elapsed = time.monotonic() - self.start
        mean = self.turns / self.games if self.games else 0.0
        rate = self.games / max(elapsed, 1e-9)
        unfinished = f", {self.other} without a result" if self.other else ""
        return (f"{self.games} games in {elapsed:.1f} s ({rate:.2f} games/s): "
                f"black won {self.black}, white won {self.white}, {self.draws} drawn"
                f"{unfinished}; mean length {mean:.1f} turns")
