"""The PettingZoo environment: two agents, `black_0` and `white_0`, taking
turns on one game (an AEC environment, as PettingZoo's classic games).

    from quelmar_kit.env import env
    e = env(board_size=9.0, actions="grid")
    e.reset(seed=1)
    for agent in e.agent_iter():
        observation, reward, terminated, truncated, info = e.last()
        action = None if terminated or truncated else policy(observation)
        e.step(action)

`actions="box"`: `Box(-1, 1, (3,), float32)` actions and plain planes as
observations (see `planes`); no action mask, since a box cannot be
sampled under one. `actions="grid"`: `Discrete(G*G + 1)` actions and an
observation dict `{"observation": planes, "action_mask": int8 (G*G + 1,)}`
marking the placeable centres and the pass for the agent to move
(`legal_mask=True` also removes the centres the rules would refuse, at
the cost of one probe per centre). Episode rules: `episode`.
"""

from __future__ import annotations

from typing import Any

import gymnasium
import numpy as np
import quelmar as qm
from gymnasium.utils import EzPickle
# PettingZoo ships no type information; its names are Any here.
from pettingzoo import AECEnv  # type: ignore[import-untyped]
from pettingzoo.utils import wrappers  # type: ignore[import-untyped]

from .. import limits
from . import render as rendering
from .episode import DEFAULT_MAX_MOVES, Episode, check_action_kind
from .grid import DEFAULT_GRID
from .planes import CHANNELS, PLANE_DTYPE

AGENTS = ("black_0", "white_0")
RENDER_MODES = ("rgb_array", "ansi")


def _agent_of(color: qm.Color) -> str:
    return AGENTS[int(color)]


def _color_of(agent: str) -> qm.Color:
    return qm.Color.BLACK if agent == AGENTS[0] else qm.Color.WHITE


def observation_space(grid: int, actions: str) -> gymnasium.spaces.Space[Any]:
    planes = gymnasium.spaces.Box(0.0, 1.0, (len(CHANNELS), grid, grid), PLANE_DTYPE)
    if actions == "box":
        return planes
    mask = gymnasium.spaces.Box(0, 1, (grid * grid + 1,), np.int8)
    return gymnasium.spaces.Dict({"observation": planes, "action_mask": mask})


def action_space(grid: int, actions: str) -> gymnasium.spaces.Space[Any]:
    if actions == "box":
        return gymnasium.spaces.Box(-1.0, 1.0, (3,), np.float32)
    return gymnasium.spaces.Discrete(grid * grid + 1)


class raw_env(AECEnv, EzPickle):  # type: ignore[misc]  # noqa: N801 (PettingZoo's name)
    """The environment without PettingZoo's order-enforcing wrapper, which
    `env()` adds."""

    metadata = {"render_modes": list(RENDER_MODES), "name": "quelmar_v0",
                "is_parallelizable": False, "render_fps": 2}

    def __init__(self, board_size: float = 9.0, grid: int = DEFAULT_GRID, actions: str = "box",
                 komi: float | None = None, max_moves: int = DEFAULT_MAX_MOVES,
                 shaped: bool = False, legal_mask: bool = False,
                 render_mode: str | None = None):
        EzPickle.__init__(self, board_size, grid, actions, komi, max_moves, shaped, legal_mask,
                          render_mode)
        super().__init__()
        if render_mode is not None and render_mode not in RENDER_MODES:
            raise limits.SettingError(f"render_mode must be one of {', '.join(RENDER_MODES)} "
                                      f"or None, not {render_mode!r}")
        self.actions = check_action_kind(actions)
        self.legal_mask = bool(legal_mask)
        self.render_mode = render_mode
        # Built once here, checking every setting; reset() starts it anew.
        self.episode = Episode(board_size, grid, komi, max_moves, bool(shaped))
        size = self.episode.grid.size
        self.possible_agents = list(AGENTS)
        self.agents = list(AGENTS)
        self.observation_spaces = {a: observation_space(size, self.actions) for a in AGENTS}
        self.action_spaces = {a: action_space(size, self.actions) for a in AGENTS}
        self._start()

    def observation_space(self, agent: str) -> gymnasium.spaces.Space[Any]:
        return self.observation_spaces[agent]

    def action_space(self, agent: str) -> gymnasium.spaces.Space[Any]:
        return self.action_spaces[agent]

    def reset(self, seed: int | None = None, options: dict[str, Any] | None = None) -> None:
        # The game holds no chance; the seed only seeds `np_random`, which
        # PettingZoo's tools expect to find.
        if seed is not None or not hasattr(self, "np_random"):
            self.np_random, _ = gymnasium.utils.seeding.np_random(seed)
        self.episode = self.episode.fresh()
        self._start()

    def _start(self) -> None:
        self.agents = list(AGENTS)
        self.rewards = {a: 0.0 for a in AGENTS}
        self._cumulative_rewards = {a: 0.0 for a in AGENTS}
        self.terminations = {a: False for a in AGENTS}
        self.truncations = {a: False for a in AGENTS}
        self.infos: dict[str, dict[str, Any]] = {a: {} for a in AGENTS}
        self.agent_selection = AGENTS[0]

    def observe(self, agent: str) -> Any:
        episode = self.episode
        planes = episode.planes(_color_of(agent))
        if self.actions == "box":
            return planes
        if agent == _agent_of(episode.to_move) or episode.over:
            mask = episode.action_mask(self.legal_mask)
        else:
            mask = np.zeros(episode.grid.cells + 1, dtype=np.int8)
        return {"observation": planes, "action_mask": mask}

    def step(self, action: Any) -> None:
        agent = self.agent_selection
        if self.terminations[agent] or self.truncations[agent]:
            self._was_dead_step(action)
            return
        episode = self.episode
        move = episode.move_of(self.actions, action)  # a bad action changes nothing
        self._cumulative_rewards[agent] = 0.0
        black = episode.play(move)
        self.rewards = {AGENTS[0]: black, AGENTS[1]: -black}
        if episode.over:
            self.terminations = {a: not episode.truncated for a in AGENTS}
            self.truncations = {a: episode.truncated for a in AGENTS}
            self.infos = {a: episode.info() for a in AGENTS}
        self.agent_selection = _agent_of(episode.to_move)
        self._accumulate_rewards()

    def render(self) -> Any:
        return rendering.render(self.render_mode, self.episode)

    def close(self) -> None:
        """Nothing is held open: rendering draws into fresh arrays."""

    def state(self) -> np.ndarray:
        """The board from Black's side (PettingZoo's global state)."""
        return self.episode.planes(qm.Color.BLACK)


def env(**kwargs: Any) -> Any:
    """The environment in PettingZoo's order-enforcing wrapper (no step
    before reset, and so on). Its own checks stand in for the action
    wrappers: a box action is clipped to [-1, 1] and refused when not
    finite or not of shape (3,), a grid action refused outside the space,
    each with a one-line ActionError."""
    return wrappers.OrderEnforcingWrapper(raw_env(**kwargs))
