"""The Gymnasium environment: one agent against a toolkit bot that plays
inside the environment.

    import gymnasium, quelmar_kit.env
    e = gymnasium.make("quelmar_kit/Quelmar-v0", board_size=9.0, opponent="random")
    observation, info = e.reset(seed=1)
    observation, reward, terminated, truncated, info = e.step(e.action_space.sample())

The agent plays `color` ("black", "white", or "either": drawn at each
reset); the opponent is any bot name of `quelmar_kit.bots` (`random` by
default), seeded from the environment's generator at each reset, so a
seeded reset replays the same episode for the same actions. A step plays
the agent's move and then the opponent's answer. Observations, actions
and rewards are those of the PettingZoo environment (`aec`), from the
agent's side; an opponent that resigns or is refused a move loses.
"""

from __future__ import annotations

from typing import Any

import gymnasium
import numpy as np
import quelmar as qm

from .. import limits
from ..bots import NO_LIMIT, RESIGN, Bot, make_bot
from . import render as rendering
from .aec import RENDER_MODES, action_space, observation_space
from .episode import DEFAULT_MAX_MOVES, PASS, Episode, check_action_kind
from .grid import DEFAULT_GRID

COLORS = ("black", "white", "either")
# Bot seeds are drawn below this, so that they stay exact wherever they go.
MAX_BOT_SEED = 2**52


class QuelmarEnv(gymnasium.Env[Any, Any]):
    metadata = {"render_modes": list(RENDER_MODES), "render_fps": 2}

    def __init__(self, board_size: float = 9.0, grid: int = DEFAULT_GRID, actions: str = "box",
                 opponent: str = "random", color: str = "black", komi: float | None = None,
                 max_moves: int = DEFAULT_MAX_MOVES, shaped: bool = False,
                 legal_mask: bool = False, render_mode: str | None = None):
        if render_mode is not None and render_mode not in RENDER_MODES:
            raise limits.SettingError(f"render_mode must be one of {', '.join(RENDER_MODES)} "
                                      f"or None, not {render_mode!r}")
        if color not in COLORS:
            raise limits.SettingError(f"color must be one of {', '.join(COLORS)}, not {color!r}")
        self.actions = check_action_kind(actions)
        self.episode = Episode(board_size, grid, komi, max_moves, bool(shaped))
        self.opponent_name = opponent
        self.opponent: Bot = make_bot(opponent, seed=0)  # refuses a bad name now
        self.color = color
        self.legal_mask = bool(legal_mask)
        self.render_mode = render_mode
        self.agent_color = qm.Color.BLACK
        size = self.episode.grid.size
        self.observation_space = observation_space(size, self.actions)
        self.action_space = action_space(size, self.actions)

    def reset(self, *, seed: int | None = None,
              options: dict[str, Any] | None = None) -> tuple[Any, dict[str, Any]]:
        super().reset(seed=seed)
        rng = self.np_random
        self.episode = self.episode.fresh()
        self.opponent = make_bot(self.opponent_name, seed=int(rng.integers(MAX_BOT_SEED)))
        if self.color == "either":
            self.agent_color = qm.Color.BLACK if rng.integers(2) == 0 else qm.Color.WHITE
        else:
            self.agent_color = qm.Color.BLACK if self.color == "black" else qm.Color.WHITE
        if self.agent_color == qm.Color.WHITE:
            self._opponent_turn()
        return self._observation(), self.episode.info()

    def step(self, action: Any) -> tuple[Any, float, bool, bool, dict[str, Any]]:
        episode = self.episode
        if episode.over:
            raise RuntimeError("the episode is over: call reset() before step()")
        black = episode.play(episode.move_of(self.actions, action))
        if not episode.over:
            black += self._opponent_turn()
        reward = black if self.agent_color == qm.Color.BLACK else -black
        terminated = episode.over and not episode.truncated
        return self._observation(), reward, terminated, episode.truncated, episode.info()

    def _opponent_turn(self) -> float:
        """The opponent's move; answers Black's reward for it."""
        game = self.episode.game
        move = self.opponent.choose(game, NO_LIMIT)
        if move == RESIGN:
            return self.episode.resign()
        if move == PASS:
            return self.episode.play(PASS)
        return self.episode.play(move)

    def _observation(self) -> Any:
        planes = self.episode.planes(self.agent_color)
        if self.actions == "box":
            return planes
        if self.episode.to_move == self.agent_color or self.episode.over:
            mask = self.episode.action_mask(self.legal_mask)
        else:
            mask = np.zeros(self.episode.grid.cells + 1, dtype=np.int8)
        return {"observation": planes, "action_mask": mask}

    def render(self) -> Any:
        return rendering.render(self.render_mode, self.episode)

    def close(self) -> None:
        """Nothing is held open: rendering draws into fresh arrays."""
