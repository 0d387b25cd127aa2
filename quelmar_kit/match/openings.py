"""Openings for a match, read from a file of records: each record's first
turns (all of them unless cut) are played before the players take over.

The file is checked whole before the match starts (each opening must be a
legal game on the match's board that has not ended), then read again as
the games need it, one record at a time and round again when it runs out,
so a large file costs no memory.
"""

from __future__ import annotations

import itertools
from pathlib import Path
from typing import Iterator

from .. import records
from ..bots import PASS, Move
from ..cli import UserError
from .jobs import Opening
from .referee import opening_game


def _read(path: Path, turns: int | None) -> Iterator[tuple[float, Opening]]:
    """Each record's board size and opening."""
    try:
        for index, record in enumerate(records.records_of(path)):
            deltas = record.deltas if turns is None else record.deltas[:turns]
            moves: tuple[Move, ...] = tuple(
                PASS if d.new_stone is None else d.new_stone.position for d in deltas)
            yield record.headers.board_size, Opening(index, moves)
    except records.RecordError as e:
        raise UserError(f"{path}: {e}") from None
    except OSError as e:
        raise UserError(f"cannot read {path}: {e.strerror or e}") from None


def check_openings(path: Path, turns: int | None, board_size: float) -> int:
    """How many openings `path` holds; UserError for the first that cannot
    start a game of the match."""
    count = 0
    for record_size, opening in _read(path, turns):
        where = f"{path}: opening {opening.index + 1}"
        if record_size != board_size:
            raise UserError(f"{where} is on a board of {record_size:g}, the match's is "
                            f"{board_size:g}")
        try:
            game = opening_game(board_size, opening.moves)
        except ValueError as e:
            raise UserError(f"{where}: {e}") from None
        if game.status.has_ended():
            raise UserError(f"{where} ends the game (two passes): cut it with "
                            f"--opening-turns")
        count += 1
    if not count:
        raise UserError(f"{path} holds no record to open games with")
    return count


def cycle_openings(path: Path, turns: int | None) -> Iterator[Opening]:
    """The openings in file order, round and round."""
    return (opening for _ in itertools.count() for _, opening in _read(path, turns))
