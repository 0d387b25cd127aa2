"""Forced eyes, derived from the game's log.

The module does not hand out its forced eyes, but the log fixes them: every
captured stone leaves an eye at its centre, and a stone played later takes
away the eye it lands on exactly or, when it lands on none, every eye
within 2.0 of it (2.0 included). Distances are computed as the rules do,
the square root of the sum of squares, so the boundary case at exactly 2.0
comes out the same. An eye is placeable even inside a dead zone, which is
why the observation planes need them.
"""

from __future__ import annotations

import math
from typing import Iterable, Iterator

import quelmar as qm

Point = tuple[float, float]


def _key(point: Point) -> Point:
    # Positions compare by value with -0.0 folded onto 0.0, as the rules key them.
    return (point[0] + 0.0, point[1] + 0.0)


class ForcedEyes:
    """The forced eyes of a game, kept up to date one delta at a time."""

    def __init__(self) -> None:
        self._eyes: dict[Point, Point] = {}

    def __len__(self) -> int:
        return len(self._eyes)

    def __iter__(self) -> Iterator[Point]:
        return iter(self._eyes.values())

    def __contains__(self, point: object) -> bool:
        return isinstance(point, tuple) and _key(point) in self._eyes

    def points(self) -> list[Point]:
        return list(self._eyes.values())

    def play(self, stone: Point, captured: list[Point]) -> tuple[list[Point], list[Point]]:
        """A stone played at `stone` that captured stones at `captured`
        (in the delta's order). Answers the eyes removed and the eyes added."""
        if not self._eyes and not captured:
            return [], []  # the usual move
        key = _key(stone)
        removed: list[Point]
        if key in self._eyes:
            removed = [self._eyes.pop(key)]
        else:
            x, y = stone
            removed = [eye for eye in self._eyes.values()
                       if math.sqrt((eye[0] - x) * (eye[0] - x) + (eye[1] - y) * (eye[1] - y))
                       <= qm.STONE_DIAMETER]
            for eye in removed:
                del self._eyes[_key(eye)]
        added = list(captured)
        for point in added:
            self._eyes[_key(point)] = point
        return removed, added


def forced_eyes(deltas: Iterable[qm.GameDelta]) -> ForcedEyes:
    """The forced eyes left after a log."""
    eyes = ForcedEyes()
    positions: dict[int, Point] = {}
    for delta in deltas:
        stone = delta.new_stone
        if stone is None:
            continue  # a pass touches no eyes
        positions[stone.id] = stone.position
        eyes.play(stone.position, [positions.pop(i) for i in delta.captured_stone_ids])
    return eyes
