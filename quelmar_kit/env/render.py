"""Pictures of an episode: an RGB array (`rgb_array`) and text (`ansi`).

The picture is drawn with numpy alone: territory tinted by the colour of
the nearest stone, dead space shaded, the inset square outlined, stones as
discs of radius 1 and forced eyes as red dots. It is computed from the
game's stones, so it shows exact positions, not the grid.
"""

from __future__ import annotations

from typing import Any

import gymnasium
import numpy as np
import numpy.typing as npt
import quelmar as qm

from . import planes
from .episode import Episode

IMAGE_SIZE = 512
# Territory and dead space are computed on a coarser raster and scaled up:
# their edges are soft anyway, and the work grows with pixels times stones.
TINT_STEP = 4

WOOD = np.array([220, 179, 92], dtype=np.float64)
TINT = {0: np.array([120, 96, 48], dtype=np.float64),    # black territory
        1: np.array([250, 226, 170], dtype=np.float64)}  # white territory
STONE = {0: np.array([25, 25, 25], dtype=np.uint8), 1: np.array([240, 240, 235], dtype=np.uint8)}
EDGE = np.array([90, 90, 90], dtype=np.uint8)
EYE = np.array([210, 30, 30], dtype=np.uint8)
Image = npt.NDArray[np.uint8]


def _pixel_centres(count: int, board_size: float) -> npt.NDArray[np.float64]:
    return (np.arange(count, dtype=np.float64) + 0.5) * (board_size / count)


def rgb_array(episode: Episode, size: int = IMAGE_SIZE) -> Image:
    """The position as a fresh (size, size, 3) uint8 image, y downwards."""
    board = episode.grid.board_size
    stones = episode.game.stones()
    coarse = size // TINT_STEP
    c = _pixel_centres(coarse, board)
    image = np.empty((coarse, coarse, 3), dtype=np.float64)
    image[:] = WOOD
    dead = (c[None, :] < 1.0) | (c[None, :] > board - 1.0) | (c[:, None] < 1.0) | (
        c[:, None] > board - 1.0)
    if stones:
        xs = np.array([s.position[0] for s in stones])
        ys = np.array([s.position[1] for s in stones])
        colours = np.array([int(s.color) for s in stones])
        dx = c[None, :, None] - xs[None, None, :]
        dy = c[:, None, None] - ys[None, None, :]
        distance = np.sqrt(dx * dx + dy * dy)
        nearest = np.argmin(distance, axis=2)
        owner = colours[nearest]
        for colour, tint in TINT.items():
            image[owner == colour] = 0.55 * image[owner == colour] + 0.45 * tint
        dead |= distance.min(axis=2) < qm.STONE_DIAMETER
    image[dead] *= 0.8
    picture = np.repeat(np.repeat(image.astype(np.uint8), TINT_STEP, 0), TINT_STEP, 1)
    picture = np.ascontiguousarray(np.pad(
        picture, ((0, size - picture.shape[0]), (0, size - picture.shape[1]), (0, 0)), mode="edge"))
    scale = size / board
    inset = [int(round(scale)), int(round((board - 1.0) * scale))]
    for at in inset:
        picture[inset[0]:inset[1] + 1, min(at, size - 1)] = EDGE
        picture[min(at, size - 1), inset[0]:inset[1] + 1] = EDGE
    for stone in stones:
        _disc(picture, stone.position, qm.STONE_RADIUS, scale, STONE[int(stone.color)], EDGE)
    for eye in episode.view.eyes:
        _disc(picture, eye, 0.15, scale, EYE, None)
    return picture


def _disc(picture: Image, centre: tuple[float, float], radius: float, scale: float,
          fill: npt.NDArray[np.uint8], rim: npt.NDArray[np.uint8] | None) -> None:
    """Paints a disc into its bounding box only."""
    size = picture.shape[0]
    px, py, pr = centre[0] * scale, centre[1] * scale, radius * scale
    x0, x1 = max(0, int(px - pr) - 1), min(size, int(px + pr) + 2)
    y0, y1 = max(0, int(py - pr) - 1), min(size, int(py + pr) + 2)
    if x0 >= x1 or y0 >= y1:
        return
    gx = np.arange(x0, x1) + 0.5 - px
    gy = np.arange(y0, y1) + 0.5 - py
    r = np.sqrt(gx[None, :] ** 2 + gy[:, None] ** 2)
    box = picture[y0:y1, x0:x1]
    box[r <= pr] = fill
    if rim is not None:
        box[(r <= pr) & (r > pr - max(1.0, scale * 0.08))] = rim


def ansi(episode: Episode) -> str:
    """The grid as text, one character a cell: X and O for Black's and
    White's stones, * for a forced eye, + and - for placeable centres in
    Black's and White's territory, . for other placeable centres, and a
    space where no stone may go. A header line gives the turn and score."""
    g = episode.grid.size
    black_side = episode.planes(qm.Color.BLACK).reshape(len(planes.CHANNELS), -1) != 0.0
    chars = np.full(episode.grid.cells, " ", dtype="<U1")
    placeable = black_side[planes.PLACEABLE]
    chars[placeable] = "."
    chars[placeable & black_side[planes.OWN_TERRITORY]] = "+"
    chars[placeable & black_side[planes.OPPONENT_TERRITORY]] = "-"
    chars[black_side[planes.FORCED_EYES]] = "*"
    chars[black_side[planes.OWN_STONES]] = "X"
    chars[black_side[planes.OPPONENT_STONES]] = "O"
    black, white = episode.game.territory()
    mover = "Black" if episode.to_move == qm.Color.BLACK else "White"
    status = episode.result.text if episode.result is not None else f"{mover} to move"
    header = (f"turn {episode.game.turn}, {status}; territory Black {black:.2f}, "
              f"White {white:.2f}, komi {episode.komi:g}")
    rows = ["".join(chars[r * g:(r + 1) * g]) for r in range(g)]
    border = "+" + "-" * g + "+"
    return "\n".join([header, border, *("|" + row + "|" for row in rows), border]) + "\n"



def render(mode: str | None, episode: Episode) -> Any:
    """What an environment's render() answers in `mode`: nothing (with
    Gymnasium's warning) when it was made without one."""
    if mode is None:
        gymnasium.logger.warn("render() was called without a render_mode")
        return None
    if mode == "ansi":
        return ansi(episode)
    return rgb_array(episode)
