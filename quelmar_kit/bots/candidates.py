"""The points a searching bot considers: a square grid of targets over the
playable square, each snapped to the nearest placeable point.

Snapping is what makes a grid cover a continuous board: a target inside a
stone's dead zone lands on the zone's edge, next to the stone, which is
where contact moves are, and a target in open space stays where it is. The
grid is shifted by a random offset (less than one step) on every call, so
that a bot does not see the same few points all game long; several targets
that snap to one point give one candidate.
"""

from __future__ import annotations

import math
import random

import quelmar as qm

from .base import Point

# The playable square is the board inset by one stone radius.
INSET = qm.STONE_RADIUS


def grid_steps(board_size: float, per_side: int) -> tuple[float, int]:
    """The grid's step and its number of targets per side: `per_side` across
    the playable square, or fewer on a board too small for them to be a
    stone radius apart (closer targets mostly snap to the same points)."""
    span = max(board_size - 2 * INSET, 0.0)
    count = max(1, min(per_side, int(span / qm.STONE_RADIUS) + 1))
    return span / count, count


def candidates(game: qm.Game, per_side: int, rng: random.Random | None = None) -> list[Point]:
    """The distinct placeable points that a grid of `per_side` x `per_side`
    targets snaps to, in grid order (rows, then columns). Empty when no
    point of the board is placeable. Refusals for self-capture are not
    looked for here: a bot finds them when it tries the move."""
    step, count = grid_steps(game.board_size, per_side)
    shift_x, shift_y = (rng.random(), rng.random()) if rng is not None else (0.5, 0.5)
    seen: set[Point] = set()
    found: list[Point] = []
    nearest = game.nearest_living_move
    for row in range(count):
        y = INSET + (row + shift_y) * step
        for column in range(count):
            point = nearest((INSET + (column + shift_x) * step, y))
            if point is None:
                return found  # nothing anywhere is placeable: no target snaps
            if point not in seen:
                seen.add(point)
                found.append(point)
    return found


def capacity(board_size: float) -> float:
    """About how many stones fill the board: stone centres stay two apart,
    and the densest such packing has one centre per 2*sqrt(3) of area."""
    span = max(board_size - 2 * INSET, 0.0)
    return span * span / (2.0 * math.sqrt(3.0)) + 1.0
