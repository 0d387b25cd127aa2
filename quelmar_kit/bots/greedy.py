"""The greedy player: one ply of look-ahead.

It tries every candidate point (a grid of targets snapped to the nearest
placeable points, see `candidates`) on a copy of the game, and keeps the
move whose outcome is best for it: its territory less the opponent's,
plus `capture` for each stone the move takes (territory already counts a
capture through the area it gives back; the bonus breaks near ties towards
taking stones). Passing is worth the margin as it stands, so it passes
when no move gains, and at once when the opponent has passed and the
score with komi is already a win. It never resigns.
"""

from __future__ import annotations

import copy
import random

import quelmar as qm

from ..scoring import DEFAULT_KOMI, margin_of
from .base import NO_LIMIT, PASS, Limit, Move
from .candidates import candidates
from .random_bot import seeded_random

DEFAULT_PER_SIDE = 8
DEFAULT_CAPTURE = 1.0


def lead_of(territory: tuple[float, float], color: qm.Color, komi: float) -> float:
    """How far `color` is ahead with `komi` to White (negative: behind)."""
    margin = margin_of(territory, komi)
    return margin if color == qm.Color.BLACK else -margin


class GreedyBot:
    def __init__(self, seed: int | None = None, grid: int = DEFAULT_PER_SIDE,
                 capture: float = DEFAULT_CAPTURE):
        if grid < 1:
            raise ValueError(f"grid must be positive, not {grid}")
        if not capture >= 0.0:
            raise ValueError(f"capture must be zero or more, not {capture}")
        self.rng: random.Random = seeded_random(seed)
        self.grid, self.capture = grid, capture
        options = [f"grid={grid}"] if grid != DEFAULT_PER_SIDE else []
        options += [f"capture={capture:g}"] if capture != DEFAULT_CAPTURE else []
        self.name = "greedy" + (":" + ",".join(options) if options else "")

    def choose(self, game: qm.Game, limit: Limit = NO_LIMIT,
               komi: float = DEFAULT_KOMI) -> Move:
        if game.status.has_ended():
            return PASS
        me = game.pending_color
        standing = lead_of(game.territory(), me, komi)
        if game.status == qm.GameStatus.NEXT_PASS_ENDS and standing > 0.0:
            return PASS  # passing ends the game, and wins it
        probe = copy.copy(game)
        best: Move = PASS
        best_value = standing
        for point in candidates(probe, self.grid, self.rng):
            try:
                delta = probe.try_move(point)
            except qm.SelfCaptureError:
                continue  # refused: the probe is as it was
            value = (lead_of(probe.territory(), me, komi)
                     + self.capture * len(delta.captured_stone_ids))
            probe.undo_move()
            if value > best_value:
                best, best_value = point, value
        return best
