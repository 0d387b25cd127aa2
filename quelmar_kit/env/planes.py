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
penetrations and, for each stone in play, 2.0 less its distance; or when a
forced eye sits exactly on it. Territory is the Voronoi partition, so a
centre belongs to the colour of its nearest stone; a centre exactly as far
from the nearest stone of each colour lies on the boundary and belongs to
neither.

`BoardView` keeps, per cell and colour, the squared distance to the
nearest stone of that colour, and updates them and the planes from each
delta: a new stone is one pass of numpy over the cells, a capture
recomputes only the cells whose nearest stone of the captured colour left.
Nothing loops over cells in Python.
"""

from __future__ import annotations

import math
from fractions import Fraction

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

# The view keeps the stone, placeable and eye planes by absolute colour,
# Black's first, with a row of zeros and a row of ones after them; an
# observation is one gather of rows in the player's order, and the two
# territory planes are compared from the distances only then (a move needs
# them only when someone looks).
_BLACK_STONES, _WHITE_STONES, _PLACEABLE, _EYES, _ZEROS, _ONES = range(6)
_ORDER = {0: np.array([_BLACK_STONES, _WHITE_STONES, _PLACEABLE, _ZEROS, _ZEROS, _EYES, _ZEROS]),
          1: np.array([_WHITE_STONES, _BLACK_STONES, _PLACEABLE, _ZEROS, _ZEROS, _EYES, _ONES])}


def _clear_square() -> float:
    """The least squared distance from a stone at which a point lies
    outside its dead zone by the rules' test, 2.0 - sqrt(d2) <= EPSILON.
    For sqrt(d2) in [1, 4] the subtraction is exact, so the test is
    sqrt(d2) >= 2 - EPSILON; sqrt is correctly rounded and monotonic, so
    that is d2 >= this value, and no square root is needed per cell."""
    bound = Fraction(2) - Fraction(qm.EPSILON)
    least = 2.0 - qm.EPSILON
    while Fraction(least) < bound:
        least = math.nextafter(least, math.inf)
    while Fraction(math.nextafter(least, 0.0)) >= bound:
        least = math.nextafter(least, 0.0)
    square = least * least
    while math.sqrt(math.nextafter(square, 0.0)) >= least:
        square = math.nextafter(square, 0.0)
    while math.sqrt(square) < least:
        square = math.nextafter(square, math.inf)
    return square


CLEAR_SQUARE = _clear_square()


class BoardView:
    """The grid's picture of one game, updated delta by delta. Feed it
    every delta of the game, in order, from the empty board."""

    def __init__(self, grid: Grid):
        self.grid = grid
        n = grid.cells
        self.eyes = ForcedEyes()
        # Stones in play: id -> (x, y, colour 0 or 1).
        self.stones: dict[int, tuple[float, float, int]] = {}
        # Squared distance from each centre to the nearest Black stone (row
        # 0) and the nearest White one (row 1), as the rules compute it.
        self.nearest_square: FloatArray = np.full((2, n), np.inf)
        # Stones and eyes per cell (two stones can share a coarse cell),
        # as Python lists: single cells change, which numpy does slowly.
        self.stone_count = [[0] * n, [0] * n]
        self.eye_count = [0] * n
        self.rows = np.zeros((6, n), dtype=PLANE_DTYPE)
        self.rows[_ONES] = 1.0
        self._eye_on_centre = np.zeros(n, dtype=np.bool_)
        # The stones again, as rows (x, y, colour) indexed by id, with a
        # flag for those in play: what a capture's recomputation reads.
        self._table = np.zeros((64, 3))
        self._in_play = np.zeros(64, dtype=np.bool_)
        self._square = np.empty(n)  # scratch
        self._other = np.empty(n)
        self._closer = np.empty(n, dtype=np.bool_)
        self._placeable()

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
        self._file(stone.id, x, y, colour, delta.captured_stone_ids)
        self._count_stone(colour, (x, y), +1)
        self._nearer(x, y, colour)
        for cx, cy, c in captured:
            self._count_stone(c, (cx, cy), -1)
        if captured:
            self._orphaned(captured)
        if captured or removed:
            self._placeable()
        else:
            # The usual move: placeable centres are lost inside the new dead
            # zone only, and no eye lies there (it would have been removed).
            np.less(self._square, CLEAR_SQUARE, out=self._closer)
            np.putmask(self.rows[_PLACEABLE], self._closer, 0.0)

    def placeable(self) -> BoolArray:
        """Per cell, whether its centre is placeable (flat, row-major)."""
        placeable: BoolArray = self.rows[_PLACEABLE] != 0.0
        return placeable

    def owner(self, colour: int) -> BoolArray:
        """Per cell, whether the stone nearest its centre has `colour`."""
        owned: BoolArray = self.nearest_square[colour] < self.nearest_square[1 - colour]
        return owned

    def planes(self, player: qm.Color) -> Planes:
        """A fresh observation from `player`'s side."""
        own = int(player)
        out = self.rows.take(_ORDER[own], axis=0)
        mine, theirs = self.nearest_square[own], self.nearest_square[1 - own]
        np.less(mine, theirs, out=out[OWN_TERRITORY])
        np.less(theirs, mine, out=out[OPPONENT_TERRITORY])
        return out.reshape(len(CHANNELS), self.grid.size, self.grid.size)

    def _file(self, stone_id: int, x: float, y: float, colour: int, captured: list[int]) -> None:
        if stone_id >= len(self._table):
            more = max(len(self._table), stone_id + 1 - len(self._table))
            self._table = np.concatenate([self._table, np.zeros((more, 3))])
            self._in_play = np.concatenate([self._in_play, np.zeros(more, np.bool_)])
        self._table[stone_id] = (x, y, colour)
        self._in_play[stone_id] = True
        if captured:
            self._in_play[captured] = False

    def _count_stone(self, colour: int, point: Point, step: int) -> None:
        cell = self.grid.cell_of(point)
        counts = self.stone_count[colour]
        counts[cell] += step
        self.rows[_BLACK_STONES + colour, cell] = counts[cell] > 0

    def _count_eye(self, eye: Point, step: int) -> None:
        cell = self.grid.cell_of(eye)
        self.eye_count[cell] += step
        self.rows[_EYES, cell] = self.eye_count[cell] > 0
        if self.grid.is_centre(eye, cell):
            self._eye_on_centre[cell] = step > 0

    def _nearer(self, x: float, y: float, colour: int) -> None:
        # Squared distances as the rules compute them, p - centre, left in
        # self._square.
        square, other = self._square, self._other
        np.subtract(self.grid.xs, x, out=square)
        np.multiply(square, square, out=square)
        np.subtract(self.grid.ys, y, out=other)
        np.multiply(other, other, out=other)
        np.add(square, other, out=square)
        np.minimum(square, self.nearest_square[colour], out=self.nearest_square[colour])

    def _orphaned(self, captured: list[tuple[float, float, int]]) -> None:
        # Per colour captured (a move captures the opponent's), only the
        # cells one of its stones was nearest to change: those where its
        # squared distance equals that colour's least one.
        xs, ys = self.grid.xs, self.grid.ys
        in_play = self._table[np.flatnonzero(self._in_play)]
        for colour in {c for _, _, c in captured}:
            nearest = self.nearest_square[colour]
            lost = np.array([(x, y) for x, y, c in captured if c == colour])
            dx = xs[:, None] - lost[None, :, 0]
            dy = ys[:, None] - lost[None, :, 1]
            cells = np.flatnonzero(((dx * dx + dy * dy) == nearest[:, None]).any(axis=1))
            left = in_play[in_play[:, 2] == colour]
            if left.size == 0:
                nearest[cells] = np.inf  # none of that colour left
            elif cells.size:
                dx = xs[cells, None] - left[None, :, 0]
                dy = ys[cells, None] - left[None, :, 1]
                nearest[cells] = (dx * dx + dy * dy).min(axis=1)

    def _placeable(self) -> None:
        # Clear of every dead zone and inside the inset, or an eye's centre.
        clear = np.greater_equal(self.nearest_square[0], CLEAR_SQUARE, out=self._closer)
        np.logical_and(clear, self.nearest_square[1] >= CLEAR_SQUARE, out=clear)
        np.logical_and(clear, self.grid.inside_inset, out=clear)
        np.logical_or(clear, self._eye_on_centre, out=clear)
        self.rows[_PLACEABLE] = clear
