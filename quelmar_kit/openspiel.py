"""quelmar for OpenSpiel: importing this module registers the grid game as
the Python game `python_quelmar` (the `openspiel` extra).

    import pyspiel, quelmar_kit.openspiel
    game = pyspiel.load_game("python_quelmar", {"board_size": 9.0, "grid": 9})

Sequential, deterministic, perfect information, zero-sum, rewarded at the
end: +1 to the winner by area scoring with the komi, -1 to the loser, 0
each for a draw. Action a < G*G plays exactly at the centre of cell a
(row a // G, column a % G); action G*G passes. The legal actions are
exactly the moves the rules accept: the placeable centres less those the
rules refuse as self-capture (found by probing each one, cached per
state), and the pass. Two passes end the game; so does `max_moves` turns,
scored as it stands. Applying an action outside the legal ones raises
ValueError and changes nothing.

Observation tensors are the environments' planes (`quelmar_kit.env.planes`)
from the observing player's side. States clone and serialize as OpenSpiel's
Python games do (serialization pickles the state, so deserialize only text
you trust).
"""

from __future__ import annotations

from typing import Any

import numpy as np
# OpenSpiel ships no type information (pyspiel is a compiled module
# without stubs); its names are Any here.
import pyspiel  # type: ignore[import-not-found]
import quelmar as qm
from open_spiel.python.observation import IIGObserverForPublicInfoGame  # type: ignore[import-untyped]

from . import scoring
from .env import render
from .env.episode import DEFAULT_MAX_MOVES, PASS, Episode, grid_cell
from .env.grid import DEFAULT_GRID
from .env.planes import CHANNELS

GAME_NAME = "python_quelmar"
DEFAULTS: dict[str, Any] = {"board_size": 9.0, "grid": DEFAULT_GRID,
                            "komi": scoring.DEFAULT_KOMI, "max_moves": DEFAULT_MAX_MOVES}

_GAME_TYPE = pyspiel.GameType(
    short_name=GAME_NAME,
    long_name="quelmar (Python, grid actions)",
    dynamics=pyspiel.GameType.Dynamics.SEQUENTIAL,
    chance_mode=pyspiel.GameType.ChanceMode.DETERMINISTIC,
    information=pyspiel.GameType.Information.PERFECT_INFORMATION,
    utility=pyspiel.GameType.Utility.ZERO_SUM,
    reward_model=pyspiel.GameType.RewardModel.TERMINAL,
    max_num_players=2,
    min_num_players=2,
    provides_information_state_string=True,
    provides_information_state_tensor=False,
    provides_observation_string=True,
    provides_observation_tensor=True,
    parameter_specification=DEFAULTS)


def _episode(params: dict[str, Any]) -> Episode:
    return Episode(float(params["board_size"]), int(params["grid"]), float(params["komi"]),
                   int(params["max_moves"]))


class QuelmarGame(pyspiel.Game):  # type: ignore[misc]
    """The game with its parameters, which every state shares."""

    def __init__(self, params: dict[str, Any] | None = None):
        settings = {**DEFAULTS, **(params or {})}
        probe = _episode(settings)  # checks every setting before OpenSpiel sees them
        self.settings = settings
        self.first = probe  # every state starts as a fresh copy of it, sharing its grid
        info = pyspiel.GameInfo(
            num_distinct_actions=probe.grid.cells + 1,
            max_chance_outcomes=0,
            num_players=2,
            min_utility=-1.0,
            max_utility=1.0,
            utility_sum=0.0,
            max_game_length=probe.max_moves)
        super().__init__(_GAME_TYPE, info, settings)

    def new_initial_state(self) -> QuelmarState:
        return QuelmarState(self)

    def make_py_observer(self, iig_obs_type: Any = None, params: Any = None) -> Any:
        if iig_obs_type is None or (iig_obs_type.public_info and not iig_obs_type.perfect_recall):
            return PlanesObserver(self.settings, params)
        return IIGObserverForPublicInfoGame(iig_obs_type, params)


class QuelmarState(pyspiel.State):  # type: ignore[misc]
    """A position. Its whole content is the episode (the engine's game and
    the grid's view of it) and the cached legal actions."""

    def __init__(self, game: QuelmarGame):
        super().__init__(game)
        self.episode = game.first.fresh()
        self._legal: list[int] | None = None

    def current_player(self) -> int:
        if self.episode.over:
            return int(pyspiel.PlayerId.TERMINAL)
        return int(self.episode.to_move)

    def _legal_actions(self, player: int) -> list[int]:
        if self._legal is None:
            mask = self.episode.action_mask(legal=True)
            self._legal = [int(a) for a in np.flatnonzero(mask)]
        return list(self._legal)

    def _apply_action(self, action: int) -> None:
        episode = self.episode
        cell = grid_cell(episode.grid, action)
        move = PASS if cell == episode.grid.cells else episode.grid.centre(cell)
        try:
            episode.play(move, forfeit=False)
        except qm.StonePlayError as refusal:
            raise ValueError(f"action {cell} is not legal here: {refusal}") from None
        self._legal = None

    def _action_to_string(self, player: int, action: int) -> str:
        grid = self.episode.grid
        if action == grid.cells:
            return "pass"
        x, y = grid.centre(action)
        return f"({x:g}, {y:g})"

    def is_terminal(self) -> bool:
        return self.episode.over

    def returns(self) -> list[float]:
        result = self.episode.result
        if result is None or result.winner is None:
            return [0.0, 0.0]
        black = 1.0 if result.winner == qm.Color.BLACK else -1.0
        return [black, -black]

    def __str__(self) -> str:
        return render.ansi(self.episode)


class PlanesObserver:
    """OpenSpiel's observer of a state: the planes of one player, as a flat
    tensor and a (channels, G, G) view of it."""

    def __init__(self, settings: dict[str, Any], params: Any):
        if params:
            raise ValueError(f"the observer takes no parameters, not {params!r}")
        g = int(settings["grid"])
        self.tensor = np.zeros(len(CHANNELS) * g * g, np.float32)
        self.dict = {"observation": self.tensor.reshape(len(CHANNELS), g, g)}

    def set_from(self, state: QuelmarState, player: int) -> None:
        color = qm.Color.BLACK if player == 0 else qm.Color.WHITE
        self.tensor[:] = state.episode.planes(color).ravel()

    def string_from(self, state: QuelmarState, player: int) -> str:
        return render.ansi(state.episode)


pyspiel.register_game(_GAME_TYPE, QuelmarGame)
