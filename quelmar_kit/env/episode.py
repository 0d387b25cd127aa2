"""One game as the environments play it: the engine's game, the grid's
view of it, and the rules of an episode on top of the rules of the game.

- Actions. A box action is three numbers in [-1, 1]: x and y scaled to the
  board and played at the nearest placeable point (the engine's
  `nearest_living_move`), or a pass when the third is above 0 (or when no
  point of the board is placeable). A grid action is a cell, played exactly
  at its centre, or G*G, a pass.
- A move the rules refuse (a self-capture, or a grid cell whose centre is
  not placeable) ends the episode and its mover loses, as a referee scores
  an illegal move (`B+F` / `W+F`). The random play of the frameworks'
  checkers meets it now and then and carries on with the next episode.
- The episode ends by two passes (terminated) or after `max_moves` turns
  (truncated); both are scored by area with the komi (`quelmar_kit.scoring`).
- Rewards: +1 to the winner, -1 to the loser, 0 each for a draw, given when
  the episode ends. With shaping on, each turn also gives Black the change
  in Black's margin (from 0 before the first turn) divided by the board's
  area, and White its opposite; these add up to the final margin over the
  area.

The game is the single source of truth: the view only follows its deltas.
"""

from __future__ import annotations

import math
import operator
from typing import Literal, Union

import numpy as np
import quelmar as qm

from .. import limits, scoring
from .grid import Grid
from .planes import BoardView, Planes

ActionKind = Literal["box", "grid"]
ACTION_KINDS: tuple[ActionKind, ...] = ("box", "grid")
PASS: Literal["pass"] = "pass"
Move = Union[tuple[float, float], Literal["pass"]]

# As quelmar-selfplay: long enough for most games on boards up to about 18.
DEFAULT_MAX_MOVES = 400
MAX_MAX_MOVES = 1_000_000


class ActionError(ValueError):
    """An action that is not one of the action space's; one line."""


def check_max_moves(value: object) -> int:
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
        raise limits.SettingError(f"max_moves must be a whole number, not {value!r}")
    if not 1 <= value <= MAX_MAX_MOVES:
        raise limits.SettingError(f"max_moves must be between 1 and {MAX_MAX_MOVES}, "
                                  f"not {value}")
    return int(value)


def check_action_kind(value: object) -> ActionKind:
    for kind in ACTION_KINDS:
        if value == kind:
            return kind
    raise limits.SettingError(f"actions must be 'box' or 'grid', not {value!r}")


def box_move(game: qm.Game, action: object) -> Move:
    """The move a box action names in `game`."""
    if isinstance(action, np.ndarray) and action.dtype.kind in "fiu":
        values = action
    else:
        try:
            values = np.asarray(action, dtype=np.float64)
        except (TypeError, ValueError):
            raise ActionError(f"a box action is three numbers, not {action!r:.80}") from None
    if values.shape != (3,):
        raise ActionError(f"a box action has shape (3,), not {values.shape}")
    # Three Python floats (exact from float32): cheaper than numpy here.
    x, y, pass_ = (float(v) for v in values.tolist())
    if not (math.isfinite(x) and math.isfinite(y) and math.isfinite(pass_)):
        raise ActionError(f"a box action must be finite, not {[x, y, pass_]}")
    if pass_ > 0.0:
        return PASS
    size = game.board_size
    x, y = min(1.0, max(-1.0, x)), min(1.0, max(-1.0, y))
    point = game.nearest_living_move(((x + 1.0) * 0.5 * size, (y + 1.0) * 0.5 * size))
    return PASS if point is None else point


def grid_cell(grid: Grid, action: object) -> int:
    """The cell a grid action names, or `grid.cells` for a pass."""
    if isinstance(action, (bool, np.bool_)):
        raise ActionError(f"a grid action is a whole number, not {action!r}")
    try:
        cell = operator.index(action)  # type: ignore[arg-type]
    except TypeError:
        if isinstance(action, np.ndarray) and action.shape == () and action.dtype.kind in "iu":
            cell = int(action)
        else:
            raise ActionError(f"a grid action is a whole number, not {action!r:.80}") from None
    if not 0 <= cell <= grid.cells:
        raise ActionError(f"a grid action lies between 0 and {grid.cells}, not {cell}")
    return cell


def grid_move(grid: Grid, action: object) -> Move:
    cell = grid_cell(grid, action)
    return PASS if cell == grid.cells else grid.centre(cell)


class Episode:
    """A game from the empty board, with the episode's end and rewards."""

    def __init__(self, board_size: float, grid: int | Grid, komi: float | None = None,
                 max_moves: int = DEFAULT_MAX_MOVES, shaped: bool = False):
        # A Grid is fixed by its two sizes; environments hand theirs to each
        # new episode rather than build it again.
        if isinstance(grid, Grid) and grid.board_size == board_size:
            self.grid = grid
        else:
            self.grid = Grid(board_size, grid.size if isinstance(grid, Grid) else grid)
        size = self.grid.board_size
        self.komi = limits.check_komi(scoring.DEFAULT_KOMI if komi is None else komi, size)
        self.max_moves = check_max_moves(max_moves)
        self.shaped = shaped
        self.game = qm.Game(size)
        self.view = BoardView(self.grid)
        self.result: scoring.Result | None = None
        self.refusal: str | None = None  # the engine's words for an illegal move
        # Black's margin as last rewarded: starting from 0 (not from the empty
        # board's -komi) makes the shaped rewards add up to the final margin.
        self._margin = 0.0

    def fresh(self) -> Episode:
        """A new episode with the same settings, from the empty board."""
        return Episode(self.grid.board_size, self.grid, self.komi, self.max_moves, self.shaped)

    @property
    def over(self) -> bool:
        return self.result is not None

    @property
    def truncated(self) -> bool:
        return self.result is not None and self.result.reason == "move-cap"

    @property
    def to_move(self) -> qm.Color:
        return self.game.pending_color

    def play(self, move: Move, forfeit: bool = True) -> float:
        """Plays `move` for the colour to move; answers Black's reward for
        the turn (White's is its opposite). A move the rules refuse loses
        the episode, or with `forfeit` off raises the engine's refusal and
        changes nothing."""
        if self.result is not None:
            raise RuntimeError("the episode is over: reset it")
        if move == PASS:
            self.game.pass_turn()
        else:
            try:
                delta = self.game.try_move(move)
            except qm.StonePlayError as refusal:
                if not forfeit:
                    raise
                self.refusal = str(refusal)
                self.result = scoring.forfeited(self.game.pending_color, "illegal-move")
                return self._outcome()
            self.view.apply(delta)
        reward = 0.0
        if self.shaped:
            margin = scoring.margin_of(self.game.territory(), self.komi)
            reward = (margin - self._margin) / (self.grid.board_size * self.grid.board_size)
            self._margin = margin
        if self.game.status.has_ended():
            self.result = scoring.result_of(self.game, self.komi, "two-passes")
        elif self.game.turn >= self.max_moves:
            self.result = scoring.result_of(self.game, self.komi, "move-cap")
        return reward + self._outcome()

    def resign(self) -> float:
        """The colour to move resigns; answers Black's reward."""
        self.result = scoring.forfeited(self.game.pending_color, "resignation")
        return self._outcome()

    def _outcome(self) -> float:
        """Black's end-of-episode reward, 0 while the episode goes on."""
        if self.result is None or self.result.winner is None:
            return 0.0
        return 1.0 if self.result.winner == qm.Color.BLACK else -1.0

    def move_of(self, kind: ActionKind, action: object) -> Move:
        if kind == "box":
            return box_move(self.game, action)
        return grid_move(self.grid, action)

    def planes(self, player: qm.Color) -> Planes:
        return self.view.planes(player)

    def action_mask(self, legal: bool = False) -> np.ndarray:
        """The grid actions open to the colour to move, as int8 0/1: the
        placeable centres and the pass; with `legal`, less the centres the
        rules would refuse as self-capture (one probe a centre). Once the
        episode is over, only the pass."""
        cells = self.grid.cells
        mask = np.zeros(cells + 1, dtype=np.int8)
        mask[cells] = 1
        if self.result is not None:
            return mask
        placeable = self.view.placeable()
        if legal:
            for cell in np.flatnonzero(placeable):
                placeable[cell] = self.accepts(self.grid.centre(int(cell)))
        mask[:cells] = placeable
        return mask

    def accepts(self, point: tuple[float, float]) -> bool:
        """Whether the rules accept a stone at `point` now. Probes the game
        itself and takes the stone back: undo restores the board exactly."""
        try:
            self.game.try_move(point)
        except qm.StonePlayError:
            return False
        self.game.undo_move()
        return True

    def info(self) -> dict[str, object]:
        """What an environment reports beside the reward: the turn and, once
        over, the result text, the reason and any refusal."""
        info: dict[str, object] = {"turn": self.game.turn}
        if self.result is not None:
            info["result"] = self.result.text
            info["reason"] = self.result.reason
            if self.refusal is not None:
                info["refusal"] = self.refusal
        return info
