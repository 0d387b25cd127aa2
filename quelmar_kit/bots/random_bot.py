"""The random player: a random point of the board, snapped to the nearest
placeable point. A point whose stone would only capture the mover's own is
skipped; after `tries` such points, or when no point is placeable, it
passes. It never resigns."""

from __future__ import annotations

import copy
import random

import quelmar as qm

from ..scoring import DEFAULT_KOMI
from .base import NO_LIMIT, PASS, Limit, Move

DEFAULT_TRIES = 20


def seeded_random(seed: int | None) -> random.Random:
    """A generator for `seed` (fresh entropy for None). Seeded through text,
    because `random.Random(n)` gives -n and n the same sequence."""
    return random.Random(None if seed is None else f"quelmar:{seed}")


class RandomBot:
    def __init__(self, seed: int | None = None, tries: int = DEFAULT_TRIES):
        if tries < 1:
            raise ValueError(f"tries must be positive, not {tries}")
        self.rng = seeded_random(seed)
        self.tries = tries
        self.name = "random" if tries == DEFAULT_TRIES else f"random:tries={tries}"

    def choose(self, game: qm.Game, limit: Limit = NO_LIMIT,
               komi: float = DEFAULT_KOMI) -> Move:
        if game.status.has_ended():
            return PASS
        probe: qm.Game | None = None
        size = game.board_size
        for _ in range(self.tries):
            target = (self.rng.uniform(0.0, size), self.rng.uniform(0.0, size))
            point = game.nearest_living_move(target)
            if point is None:
                return PASS  # the board is full
            if probe is None:
                probe = copy.copy(game)
            try:
                probe.try_move(point)
            except qm.SelfCaptureError:
                continue  # refused: the probe is as it was
            return point
        return PASS
