"""What every command of the kit shares: one-line errors instead of
tracebacks, the exit codes, a quiet end on a closed pipe or Ctrl-C, and
argument types that check values before anything starts."""

from __future__ import annotations

import argparse
import os
import sys
from typing import Callable, Sequence

from . import limits

EXIT_ERROR = 1          # the command could not do what was asked
EXIT_USAGE = 2          # bad arguments (argparse's own code)
EXIT_INTERRUPTED = 130  # Ctrl-C or SIGTERM: 128 + SIGINT
EXIT_CLOSED_PIPE = 141  # the reader went away: 128 + SIGPIPE


class UserError(Exception):
    """A failure the user can fix: printed as one line, no traceback.
    `hard_exit` ends the process right after the line, for a failure that
    leaves a thread behind which nothing can stop (a hung connection)."""

    def __init__(self, message: str, hard_exit: bool = False):
        super().__init__(message)
        self.hard_exit = hard_exit


def run(prog: str, main: Callable[[Sequence[str] | None], int],
        argv: Sequence[str] | None = None) -> int:
    """Runs a command's `main`, turning the ways it can stop into exit codes."""
    try:
        return main(argv)
    except UserError as e:
        print(f"{prog}: error: {e}", file=sys.stderr)
        if e.hard_exit:
            sys.stdout.flush()
            sys.stderr.flush()
            os._exit(EXIT_ERROR)
        return EXIT_ERROR
    except KeyboardInterrupt:
        print(f"{prog}: interrupted", file=sys.stderr)
        return EXIT_INTERRUPTED
    except BrokenPipeError:
        # Nothing more reaches the reader; point stdout at nothing so that
        # the interpreter's own flush at exit cannot complain either.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return EXIT_CLOSED_PIPE


def console(prog: str, main: Callable[[Sequence[str] | None], int]) -> Callable[[], None]:
    """The function a console script calls."""
    def entry() -> None:
        sys.exit(run(prog, main))
    return entry


def _typed(convert: Callable[[str], object]) -> Callable[[str], object]:
    def parse(text: str) -> object:
        try:
            return convert(text)
        except ValueError as e:
            raise argparse.ArgumentTypeError(str(e)) from None
    parse.__name__ = convert.__name__
    return parse


def _integer(text: str, low: int, what: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise ValueError(f"{text!r} is not a whole number") from None
    if value < low:
        raise ValueError(f"{value} is not {what}")
    return value


board_size = _typed(lambda text: limits.check_board_size(limits.parse_number(text, "board size")))
finite_number = _typed(lambda text: limits.parse_number(text, "number"))
positive_int = _typed(lambda text: _integer(text, 1, "a positive number"))
non_negative_int = _typed(lambda text: _integer(text, 0, "zero or more"))


def positive_seconds(text: str) -> float:
    value = limits.parse_number(text, "time")
    if value <= 0.0:
        raise ValueError(f"a time must be positive, not {value:g}")
    return value


seconds = _typed(positive_seconds)
