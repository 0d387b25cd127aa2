"""Observation planes: what a player sees of the board, sampled at the
centres of a G x G grid of cells.

An observation is a float32 array of shape (7, G, G) holding 0.0 and 1.0,
channels first, seen from one player's side ("own" is that player):

    0 own stones           a cell holding the centre of one of the player's stones
    1 opponent stones      the same for the other colour
    2 placeable            the cell's centre is a point a stone may be placed at
    3 own territory        the stone nearest the centre is the player's
    4 opponent territory   the stone nearest the centre is the opponent's
    5 forced eyes          a cell holding a forced eye
    6 white                all ones when the player is White, else zeros

float32 0/1 planes go to a network as they are; uint8 would be taken for
an 8-bit image by the libraries that scale such inputs by 1/255.

The planes follow the rules' own arithmetic. A centre is placeable when
its depth in dead space is at most EPSILON: the inset square's four
penetrations and, for each stone in play, 2.0 less its distance (the square
root of the sum of squares); or when a forced eye sits exactly on it.
Territory is the Voronoi partition, so a centre belongs to the colour of
its nearest stone; on an exact tie the stone with the lower id wins.

`BoardView` keeps, per cell, the distance to the nearest stone and that
stone, and updates them from each delta: a new stone is one pass of numpy
over the cells, a capture recomputes only the cells whose nearest stone
left. Nothing loops over cells in Python.
"""

from __future__ import annotations

import numpy as np
import numpy.typing as npt
import quelmar as qm

from .eyes import ForcedEyes, Point
from .grid import BoolArray, FloatArray, Grid

CHANNELS = ("own_stones", "opponent_stones", "placeable", "own_territory",
            "opponent_territory", "forced_eyes", "white")
OWN_STONES, OPPONENT_STONES, PLACEABLE, OWN_TERRITORY, OPPONENT_TERRITORY, FORCED_EYES, WHITE = (
    range(len(CHANNELS)))
PLANE_DTYPE = np.float32

Planes = npt.NDArray[np.float32]
NO_OWNER = -1  # a cell's owner before any stone is played


class BoardView:
    """The grid's picture of one game, updated delta by delta. Feed it
    every delta of the game, in order, from the empty board."""

    def __init__(self, grid: Grid):
        self.grid = grid
        n = grid.cells
        self.eyes = ForcedEyes()
        # Stones in play: id -> (x, y, colour 0 or 1), in ascending id order.
        self.stones: dict[int, tuple[float, float, int]] = {}
        self.nearest_distance: FloatArray = np.full(n, np.inf)
        self.nearest_stone = np.full(n, -1, dtype=np.int64)
        self.owner = np.full(n, NO_OWNER, dtype=np.int8)
        # Stones and eyes per cell (two stones can share a coarse cell).
        self.stone_count = np.zeros((2, n), dtype=np.int32)
        self.eye_count = np.zeros(n, dtype=np.int32)
        self.eye_on_centre = np.zeros(n, dtype=np.bool_)

    def apply(self, delta: qm.GameDelta) -> None:
        """Follows one committed delta of the game."""
        stone = delta.new_stone
        if stone is None:
            return
        x, y = stone.position
        colour = int(stone.color)
        captured = [self.stones.pop(i) for i in delta.captured_stone_ids]
        removed, added = self.eyes.play((x, y), [(cx, cy) for cx, cy, _ in captured])
        for eye in removed:
            self._count_eye(eye, -1)
        for eye in added:
            self._count_eye(eye, +1)
        self.stones[stone.id] = (x, y, colour)
        self.stone_count[colour, self.grid.cell_of((x, y))] += 1
        self._nearer(stone.id, x, y, colour)
        for cx, cy, c in captured:
            self.stone_count[c, self.grid.cell_of((cx, cy))] -= 1
        if captured:
            self._orphaned(delta.captured_stone_ids)

    def placeable(self) -> BoolArray:
        """Per cell, whether its centre is placeable (flat, row-major)."""
        clear = (2.0 - self.nearest_distance) <= qm.EPSILON
        return (self.grid.inside_inset & clear) | self.eye_on_centre

    def planes(self, player: qm.Color) -> Planes:
        """A fresh observation from `player`'s side."""
        own = int(player)
        g = self.grid.size
        out = np.empty((len(CHANNELS), self.grid.cells), dtype=PLANE_DTYPE)
        out[OWN_STONES] = self.stone_count[own] > 0
        out[OPPONENT_STONES] = self.stone_count[1 - own] > 0
        out[PLACEABLE] = self.placeable()
        out[OWN_TERRITORY] = self.owner == own
        out[OPPONENT_TERRITORY] = self.owner == 1 - own
        out[FORCED_EYES] = self.eye_count > 0
        out[WHITE] = own
        return out.reshape(len(CHANNELS), g, g)

    def _count_eye(self, eye: Point, step: int) -> None:
        cell = self.grid.cell_of(eye)
        self.eye_count[cell] += step
        if self.grid.is_centre(eye, cell):
            self.eye_on_centre[cell] = step > 0

    def _nearer(self, stone_id: int, x: float, y: float, colour: int) -> None:
        # The new stone has the highest id, so it takes only cells it is
        # strictly nearer to: ties stay with the older stone.
        dx = self.grid.xs - x
        dy = self.grid.ys - y
        distance = np.sqrt(dx * dx + dy * dy)
        closer = distance < self.nearest_distance
        self.nearest_distance[closer] = distance[closer]
        self.nearest_stone[closer] = stone_id
        self.owner[closer] = colour

    def _orphaned(self, captured_ids: list[int]) -> None:
        # Only the cells whose nearest stone was captured change hands.
        cells = np.flatnonzero(np.isin(self.nearest_stone, captured_ids))
        if cells.size == 0:
            return
        if not self.stones:
            self.nearest_distance[cells] = np.inf
            self.nearest_stone[cells] = -1
            self.owner[cells] = NO_OWNER
            return
        ids = np.fromiter(self.stones.keys(), dtype=np.int64, count=len(self.stones))
        table = np.array(list(self.stones.values()), dtype=np.float64)
        dx = self.grid.xs[cells, None] - table[None, :, 0]
        dy = self.grid.ys[cells, None] - table[None, :, 1]
        distance = np.sqrt(dx * dx + dy * dy)
        # argmin keeps the first of equal minima: the lowest id, as above.
        best = np.argmin(distance, axis=1)
        self.nearest_distance[cells] = distance[np.arange(cells.size), best]
        self.nearest_stone[cells] = ids[best]
        self.owner[cells] = table[best, 2].astype(np.int8)
