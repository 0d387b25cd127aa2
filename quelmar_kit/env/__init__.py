"""Reinforcement-learning environments for quelmar (the `rl` extra: numpy,
gymnasium, pettingzoo).

- `env(board_size=9.0, actions="box" | "grid", grid=19, ...)` and
  `raw_env`: the PettingZoo AEC environment, agents `black_0` and
  `white_0` (`aec`).
- `QuelmarEnv`, registered with Gymnasium as `quelmar_kit/Quelmar-v0`
  when this package is imported: one agent against a toolkit bot (`single`).
- Observation planes and their channels: `planes`; the rules of an
  episode (actions, illegal moves, ends, rewards): `episode`.

`quelmar_kit.openspiel` registers the grid game with OpenSpiel.
"""

import gymnasium

from .aec import AGENTS, env, raw_env
from .episode import DEFAULT_MAX_MOVES, ActionError, Episode
from .grid import DEFAULT_GRID, Grid
from .planes import CHANNELS, BoardView
from .single import QuelmarEnv

__all__ = [
    "AGENTS", "CHANNELS", "DEFAULT_GRID", "DEFAULT_MAX_MOVES", "ENV_ID", "ActionError",
    "BoardView", "Episode", "Grid", "QuelmarEnv", "env", "raw_env",
]

ENV_ID = "quelmar_kit/Quelmar-v0"

if ENV_ID not in gymnasium.registry:
    gymnasium.register(id=ENV_ID, entry_point="quelmar_kit.env.single:QuelmarEnv")
