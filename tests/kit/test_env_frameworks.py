"""The environments under the frameworks' own checkers (PettingZoo's
api_test and seed_test, Gymnasium's check_env and AsyncVectorEnv,
OpenSpiel's random_sim_test and MCTS bot), and the episode rules they do
not check: rewards by the toolkit's scoring, the illegal-move rule,
hostile actions and settings, pickling and pictures."""

import copy
import importlib.util
import os
import pickle
import subprocess
import sys
import warnings
from pathlib import Path

import gymnasium
import numpy as np
import pyspiel
import pytest
import quelmar as qm
from gymnasium.utils.env_checker import check_env
from open_spiel.python.algorithms import mcts
from open_spiel.python.bots import uniform_random
from pettingzoo.test import api_test, seed_test

import quelmar_kit.openspiel  # noqa: F401  (registers python_quelmar)
from quelmar_kit import limits, scoring
from quelmar_kit.env import ENV_ID, ActionError, env, raw_env, render

ROOT = Path(__file__).resolve().parents[2]
SMALL = dict(board_size=9.0, grid=9, max_moves=60)
# What api_test says of every dict observation, PettingZoo's Go included.
DICT_OBSERVATION_NOTES = ("Observation is not a NumPy array",
                          "Observation space for each agent probably should be")


def unexpected(caught):
    return [str(w.message) for w in caught
            if not str(w.message).startswith(DICT_OBSERVATION_NOTES)]


@pytest.mark.parametrize("actions", ["box", "grid"])
def test_pettingzoo_api_and_seed_tests_pass(actions):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        for settings in (SMALL, dict(board_size=7.5, grid=6, max_moves=30, shaped=True),
                         dict(board_size=9.0, grid=9, max_moves=40, legal_mask=True)):
            api_test(env(actions=actions, **settings), num_cycles=300)
        seed_test(lambda: env(actions=actions, **SMALL), num_cycles=100)
    assert unexpected(caught) == []


def play_out(e, choose):
    """Plays an AEC episode to its end; answers each agent's total reward."""
    totals = {a: 0.0 for a in e.possible_agents}
    for agent in e.agent_iter():
        observation, reward, terminated, truncated, info = e.last()
        totals[agent] += reward
        e.step(None if terminated or truncated else choose(e, agent, observation))
    return totals, info


def test_two_passes_score_the_board_and_the_mover_of_a_refused_move_loses():
    e = raw_env(actions="grid", komi=2.5, **SMALL)
    e.reset()
    centre = 4 * 9 + 4
    moves = iter([centre, 81, 81])
    totals, info = play_out(e, lambda *_: next(moves))
    game = e.episode.game
    result = scoring.result_of(game, 2.5, "two-passes")
    assert (info["result"], info["reason"], result.text) == ("B+78.5", "two-passes", "B+78.5")
    assert totals == {"black_0": 1.0, "white_0": -1.0}

    e.reset()
    refused = iter([centre, centre])  # White plays on Black's stone: not placeable
    totals, info = play_out(e, lambda *_: next(refused))
    assert (info["result"], info["reason"]) == ("B+F", "illegal-move")
    assert "no stone may be placed" in info["refusal"]
    assert totals == {"black_0": 1.0, "white_0": -1.0}


def test_a_move_cap_truncates_and_shaped_rewards_add_up_to_the_margin():
    e = raw_env(actions="grid", shaped=True, legal_mask=True, board_size=9.0, grid=9,
                max_moves=16)
    e.reset(seed=3)
    rng = np.random.default_rng(3)

    def stone_anywhere_legal(e, agent, observation):
        cells = np.flatnonzero(observation["action_mask"][:-1])
        return cells[rng.integers(cells.size)] if cells.size else 81

    totals, info = play_out(e, stone_anywhere_legal)
    assert e.truncations == {} and info["reason"] == "move-cap"
    game = e.episode.game
    margin = scoring.margin_of(game.territory(), 0.0) / 81.0
    result = scoring.result_of(game, 0.0, "move-cap")
    outcome = 0.0 if result.winner is None else (1.0 if result.winner == qm.Color.BLACK else -1.0)
    assert totals["black_0"] == pytest.approx(margin + outcome)
    assert totals["white_0"] == pytest.approx(-totals["black_0"])


@pytest.mark.parametrize("actions, action, words", [
    ("box", np.array([np.nan, 0, -1], np.float32), "must be finite"),
    ("box", np.zeros(4, np.float32), "shape (3,), not (4,)"),
    ("box", "left", "three numbers, not 'left'"),
    ("box", 0.5, "shape (3,), not ()"),
    ("box", [0.0, "x", 1.0], "three numbers"),
    ("grid", 82, "between 0 and 81, not 82"),
    ("grid", -1, "between 0 and 81, not -1"),
    ("grid", 3.0, "whole number, not 3.0"),
    ("grid", True, "whole number, not True"),
    ("grid", 10**30, "between 0 and 81"),
])
def test_a_bad_action_is_refused_in_one_line_and_changes_nothing(actions, action, words):
    e = raw_env(actions=actions, **SMALL)
    e.reset()
    before = e.episode.game.deltas()
    with pytest.raises(ActionError, match=None) as raised:
        e.step(action)
    assert words in str(raised.value) and "\n" not in str(raised.value)
    assert e.episode.game.deltas() == before and e.agent_selection == "black_0"


@pytest.mark.parametrize("settings, words", [
    (dict(board_size=2.0), "board size must be between 4 and 1000"),
    (dict(board_size=float("nan")), "finite"),
    (dict(grid=1), "grid must be between 2 and 256, not 1"),
    (dict(grid=10**6), "not 1000000"),
    (dict(grid=9.5), "whole number"),
    (dict(actions="joystick"), "'box' or 'grid'"),
    (dict(komi=1e9), "komi"),
    (dict(max_moves=0), "between 1 and"),
    (dict(render_mode="human"), "render_mode"),
])
def test_bad_settings_are_refused_in_one_line(settings, words):
    with pytest.raises(limits.SettingError, match=None) as raised:
        raw_env(**settings)
    assert words in str(raised.value)


def test_an_environment_pickles_and_renders():
    e = raw_env(actions="grid", render_mode="rgb_array", **SMALL)
    e.reset()
    for action in (4 * 9 + 4, 1 * 9 + 1):
        e.step(action)
    again = pickle.loads(pickle.dumps(e))
    again.reset()
    again.step(4 * 9 + 4)
    assert again.episode.game.deltas() == e.episode.game.deltas()[:1]
    picture = e.render()
    assert picture.shape == (512, 512, 3) and picture.dtype == np.uint8
    for stone in e.episode.game.stones():  # each stone in its colour at its centre
        x, y = (int(c * 512 / 9.0) for c in stone.position)
        assert np.array_equal(picture[y, x], render.STONE[int(stone.color)])
    text = raw_env(actions="grid", render_mode="ansi", **SMALL)
    text.reset()
    text.step(4 * 9 + 4)
    board = text.render()
    assert "X" in board and "White to move" in board


@pytest.mark.parametrize("actions, color", [("box", "black"), ("grid", "white"),
                                             ("box", "either")])
def test_gymnasium_check_env_passes(actions, color):
    made = gymnasium.make(ENV_ID, actions=actions, color=color, **SMALL)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        check_env(made.unwrapped)
    assert [str(w.message) for w in caught] == []
    observation, info = made.reset(seed=5)
    assert made.observation_space.contains(observation)
    made.close()


def test_an_async_vector_env_of_two_runs_a_few_hundred_steps():
    vector = gymnasium.vector.AsyncVectorEnv(
        [lambda: gymnasium.make(ENV_ID, actions="grid", opponent="random", **SMALL)] * 2)
    try:
        observations, _ = vector.reset(seed=11)
        ended = 0
        for _ in range(300):
            masks = observations["action_mask"]
            actions = np.array([np.flatnonzero(m)[np.random.default_rng(i).integers(m.sum())]
                                for i, m in enumerate(masks)])
            observations, rewards, terminated, truncated, _ = vector.step(actions)
            ended += int(terminated.sum() + truncated.sum())
        assert observations["observation"].shape == (2, 7, 9, 9) and ended > 0
    finally:
        vector.close()


def test_openspiel_random_sim_test_passes_with_serialization():
    game = pyspiel.load_game("python_quelmar", {"board_size": 9.0, "grid": 7, "max_moves": 40})
    pyspiel.random_sim_test(game, num_sims=5, serialize=True, verbose=False)


def test_openspiel_legal_actions_are_exactly_the_accepted_moves():
    game = pyspiel.load_game("python_quelmar", {"board_size": 9.0, "grid": 9, "max_moves": 80})
    rng = np.random.default_rng(4)
    state = game.new_initial_state()
    refusals = 0
    while not state.is_terminal():
        legal = state.legal_actions()
        grid = state.episode.grid
        for cell in range(grid.cells):
            probe = copy.copy(state.episode.game)
            try:
                probe.try_move(grid.centre(cell))
                accepted = True
            except qm.StonePlayError:
                accepted = False
            assert accepted == (cell in legal), cell
        illegal = sorted(set(range(grid.cells)) - set(legal))
        if illegal:
            before = str(state)
            with pytest.raises(ValueError, match="is not legal here"):
                state.apply_action(illegal[rng.integers(len(illegal))])
            refusals += 1
            assert str(state) == before and state.legal_actions() == legal
        twin = state.clone()
        twin.apply_action(legal[-1])  # a clone goes its own way
        assert twin.history() != state.history() and state.legal_actions() == legal
        # A stone where one is legal, so that the board fills and captures come.
        state.apply_action(legal[rng.integers(len(legal) - 1)] if len(legal) > 1 else legal[0])
    assert refusals > 10 and state.returns()[0] == -state.returns()[1]


def test_openspiel_mcts_plays_a_whole_game_against_a_random_bot():
    game = pyspiel.load_game("python_quelmar", {"board_size": 9.0, "grid": 9, "max_moves": 40})
    rng = np.random.RandomState(3)
    bots = [mcts.MCTSBot(game, 2.0, 20, mcts.RandomRolloutEvaluator(1, rng), random_state=rng),
            uniform_random.UniformRandomBot(1, rng)]
    state = game.new_initial_state()
    while not state.is_terminal():
        state.apply_action(bots[state.current_player()].step(state))
    assert state.returns() in ([1.0, -1.0], [-1.0, 1.0], [0.0, 0.0])
    assert len(state.history()) >= 3


def test_the_toolkit_imports_without_the_rl_packages():
    blocked = "; ".join(f"sys.modules[{m!r}] = None" for m in
                        ("numpy", "gymnasium", "pettingzoo", "pyspiel", "open_spiel"))
    code = (f"import sys; {blocked}; import quelmar_kit, quelmar_kit.records, quelmar_kit.bots, "
            "quelmar_kit.scoring, quelmar_kit.game_loop, quelmar_kit.selfplay")
    env_vars = {**os.environ, "PYTHONPATH": os.pathsep.join(
        filter(None, [str(ROOT), os.environ.get("PYTHONPATH")]))}
    done = subprocess.run([sys.executable, "-c", code], env=env_vars, capture_output=True,
                          text=True, timeout=60)
    assert done.returncode == 0, done.stderr


def test_the_example_plays_bots_through_the_environment(capsys):
    spec = importlib.util.spec_from_file_location("rl_match", ROOT / "examples" / "rl_match.py")
    example = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(example)
    assert example.main(["--episodes", "3", "--max-moves", "30"]) == 0
    printed = capsys.readouterr().out
    assert "episode 3:" in printed and "over 3 episodes" in printed
