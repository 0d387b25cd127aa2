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
Bucket = tuple[int, int]


def _key(point: Point) -> Point:
    # Positions compare by value with -0.0 folded onto 0.0, as the rules key them.
    return (point[0] + 0.0, point[1] + 0.0)


def _bucket(point: Point) -> Bucket:
    # Squares of side 2.0: the eyes within 2.0 of a point lie in its
    # square or the eight around it, so a move looks at a few eyes only.
    return (math.floor(point[0] / qm.STONE_DIAMETER), math.floor(point[1] / qm.STONE_DIAMETER))


class ForcedEyes:
    """The forced eyes of a game, kept up to date one delta at a time."""

    def __init__(self) -> None:
        self._eyes: dict[Point, Point] = {}
        self._buckets: dict[Bucket, list[Point]] = {}  # keys of the eyes in each square

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
        removed: list[Point] = []
        if self._eyes:
            key = _key(stone)
            if key in self._eyes:
                removed.append(self._eyes[key])
            else:
                removed = self._near(stone)
            for eye in removed:
                self._take(_key(eye))
        for point in captured:
            key = _key(point)
            if key in self._eyes:
                self._take(key)  # replaced, as the rules replace an eye at the same key
            self._eyes[key] = point
            self._buckets.setdefault(_bucket(key), []).append(key)
        return removed, list(captured)

    def _near(self, stone: Point) -> list[Point]:
        """The eyes within 2.0 of `stone`, in no particular order."""
        x, y = stone
        bx, by = _bucket(stone)
        near = []
        for i in (bx - 1, bx, bx + 1):
            for j in (by - 1, by, by + 1):
                for key in self._buckets.get((i, j), ()):
                    eye = self._eyes[key]
                    dx, dy = eye[0] - x, eye[1] - y
                    if math.sqrt(dx * dx + dy * dy) <= qm.STONE_DIAMETER:
                        near.append(eye)
        return near

    def _take(self, key: Point) -> None:
        del self._eyes[key]
        bucket = _bucket(key)
        keys = self._buckets[bucket]
        keys.remove(key)
        if not keys:
            del self._buckets[bucket]


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
