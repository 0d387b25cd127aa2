"""The G x G grid of cells that observations are drawn on and that grid
actions name.

Cell (row, col) is the square [col, col + 1) x [row, row + 1) in units of
size / G; row follows y and col follows x, so a plane prints the way the
board is drawn (y grows downwards). A cell's centre is one fixed float
pair, the same bits wherever it is used: a grid action plays exactly
there, so the stones of a grid game, and the forced eyes their captures
leave, sit exactly on centres.
"""

from __future__ import annotations

import math
import operator

import numpy as np
import numpy.typing as npt
import quelmar as qm

from .. import limits

# Fine enough that a cell is about one stone radius on the usual board 18
# and half of one on board 9, and the input size of networks trained on
# 19 x 19 boards. Observations keep this size whatever the board size.
DEFAULT_GRID = 19
MIN_GRID = 2
# A plane of 256 x 256 float32 cells is 256 KiB; past that an observation
# costs more than the move it follows.
MAX_GRID = 256

FloatArray = npt.NDArray[np.float64]
BoolArray = npt.NDArray[np.bool_]


def check_grid(value: object) -> int:
    """`value` as a grid size, or SettingError (one line)."""
    if isinstance(value, bool):
        raise limits.SettingError(f"the grid must be a whole number, not {value!r}")
    try:
        grid = operator.index(value)  # type: ignore[arg-type]
    except TypeError:
        raise limits.SettingError(
            f"the grid must be a whole number, not {type(value).__name__}") from None
    if not MIN_GRID <= grid <= MAX_GRID:
        raise limits.SettingError(f"the grid must be between {MIN_GRID} and {MAX_GRID}, "
                                  f"not {grid}")
    return grid


class Grid:
    """The cells of a board of `board_size` drawn `grid` to a side."""

    def __init__(self, board_size: float, grid: int):
        self.board_size = limits.check_board_size(board_size)
        self.size = check_grid(grid)
        self.cells = self.size * self.size
        self._per_unit = self.size / self.board_size  # cells per board unit
        # One coordinate per row or column; every centre is built from these.
        self.centres: FloatArray = (np.arange(self.size, dtype=np.float64) + 0.5) * (
            self.board_size / self.size)
        rows, cols = np.divmod(np.arange(self.cells), self.size)
        # Flat arrays, one entry per cell in row-major order.
        self.xs: FloatArray = self.centres[cols]
        self.ys: FloatArray = self.centres[rows]
        # A centre outside the inset square is never placeable: the same
        # four penetrations the rules compute for the board's edges.
        far = self.board_size + (-1.0)
        edge_depth = np.maximum.reduce([1.0 - self.xs, 1.0 - self.ys, self.xs - far, self.ys - far])
        self.inside_inset: BoolArray = edge_depth <= qm.EPSILON

    # A grid never changes after it is made: copies of an episode (a search
    # cloning states) share it.
    def __copy__(self) -> Grid:
        return self

    def __deepcopy__(self, memo: object) -> Grid:
        return self

    def centre(self, cell: int) -> tuple[float, float]:
        """The point a grid action plays at."""
        row, col = divmod(cell, self.size)
        return (float(self.centres[col]), float(self.centres[row]))

    def cell_of(self, point: tuple[float, float]) -> int:
        """The flat index of the cell holding `point` (a point on the far
        edge belongs to the last cell)."""
        last = self.size - 1
        col = min(last, max(0, math.floor(point[0] * self._per_unit)))
        row = min(last, max(0, math.floor(point[1] * self._per_unit)))
        return row * self.size + col

    def is_centre(self, point: tuple[float, float], cell: int) -> bool:
        """Whether `point` is exactly the centre of `cell`, bit for bit."""
        return point == self.centre(cell)
