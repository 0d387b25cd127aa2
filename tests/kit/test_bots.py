"""The bots: none changes the game it is given; the search bot is
reproducible for a seed at a fixed playout count, keeps a time limit,
passes when passing wins, and two of them end a game by two passes."""

import copy
import time

import pytest

import quelmar as qm
from quelmar_kit.bots import (PASS, BotNameError, Limit, MctsBot, bot_names, candidates,
                              make_bot)
from quelmar_kit.game_loop import play_game

BOTS = ["random", "greedy", "mcts:playouts=30"]


def snapshot(game):
    return (game.deltas(), game.revision, game.turn, game.status, game.captures,
            game.stones(), game.territory())


def positions():
    """An empty board, games in play (one where a pass ends the game next,
    one full of captures on a small board), and a game that has ended."""
    yield qm.Game(9.0)
    for size, seed, turns in [(9.0, 1, 12), (5.0, 2, 30), (13.0, 3, 25)]:
        finished = play_game(size, make_bot("random", seed), make_bot("random", seed + 9),
                             max_moves=turns)
        yield finished.game
    passed = play_game(9.0, make_bot("random", 4), make_bot("random", 5), max_moves=9).game
    passed.pass_turn()
    yield passed
    ended = qm.Game(9.0)
    ended.try_move((3.0, 3.0))
    ended.pass_turn()
    ended.pass_turn()
    yield ended


@pytest.mark.parametrize("given", BOTS)
def test_a_bot_never_changes_the_game_it_is_given(given):
    bot = make_bot(given, 7)
    for game in positions():
        before = snapshot(game)
        move = bot.choose(game, komi=0.5)
        assert snapshot(game) == before
        assert move == PASS or isinstance(move, tuple)
        if game.status.has_ended():
            assert move == PASS
        elif move != PASS:
            game.try_move(move)  # every answer is a move the rules allow


def test_the_search_bot_is_reproducible_for_a_seed_at_a_fixed_playout_count():
    def moves(seed):
        game, played = qm.Game(9.0), []
        black, white = make_bot("mcts:playouts=25", seed), make_bot("greedy", 1)
        while not game.status.has_ended() and game.turn < 16:
            move = (black if game.turn % 2 == 0 else white).choose(game)
            game.pass_turn() if move == PASS else game.try_move(move)
            played.append(move)
        return played

    assert moves(3) == moves(3)
    assert moves(3) != moves(4)


def test_a_search_bot_passes_when_passing_wins():
    game = qm.Game(9.0)
    game.try_move((4.5, 4.5))   # black holds the whole board
    game.pass_turn()            # white passes: a black pass ends the game
    bot = MctsBot(1, playouts=50)
    assert bot.choose(game, komi=0.5) == PASS
    assert bot.analysis["comment"] == "passing wins"
    assert make_bot("greedy").choose(game, komi=0.5) == PASS
    # Behind when the opponent passes: passing would lose, so it plays on.
    behind = qm.Game(9.0)
    behind.try_move((4.5, 4.5))
    behind.try_move((1.0, 1.0))  # white holds a corner
    behind.pass_turn()
    assert behind.territory()[1] < 20.0
    assert bot.choose(behind, komi=0.5) != PASS


def test_two_search_bots_end_their_game_by_two_passes():
    finished = play_game(9.0, make_bot("mcts:playouts=40", 1), make_bot("mcts:playouts=40", 2),
                         max_moves=200, komi=0.5)
    assert finished.reason == "two-passes"
    assert finished.result(0.5).winner is not None


def test_a_time_limit_bounds_the_search():
    game = play_game(13.0, make_bot("random", 1), make_bot("random", 2), max_moves=20).game
    bot = make_bot("mcts:playouts=1000000", 1)
    started = time.perf_counter()
    move = bot.choose(game, Limit(time=0.2))
    assert time.perf_counter() - started < 2.0  # one playout past the limit, at most
    assert bot.analysis["playouts"] >= 1 and (move == PASS or isinstance(move, tuple))


def test_candidates_are_distinct_placeable_points_of_the_board():
    for game in positions():
        if game.status.has_ended():
            continue
        points = candidates.candidates(game, 7)
        assert len(points) == len(set(points)) <= 49
        low, high = 1.0 - qm.EPSILON, game.board_size - 1.0 + qm.EPSILON
        for x, y in points:
            assert low <= x <= high and low <= y <= high
            try:
                copy.copy(game).try_move((x, y))
            except qm.SelfCaptureError:
                pass  # placeable, and refused by the rules: the bots drop these


@pytest.mark.parametrize("given, name", [
    ("mcts", "mcts"),
    ("mcts:grid=7", "mcts"),                   # the default, left out
    ("mcts: explore=0.5 , playouts=80", "mcts:playouts=80,explore=0.5"),
    ("greedy:grid=5", "greedy:grid=5"),
    ("random:tries=20", "random"),
])
def test_a_bot_is_named_by_its_text_without_defaults(given, name):
    assert make_bot(given).name == name
    assert make_bot(name).name == name


@pytest.mark.parametrize("given, words", [
    ("mcts:playouts=0", "playouts must be positive"),
    ("mcts:time=-1", "time must be positive"),
    ("mcts:explore=nan", "explore must be zero or more"),
    ("mcts:rollout=1e9", "rollout must be from 0 to 100"),
    ("mcts:depth=3", "mcts has no option 'depth'"),
    ("greedy:capture=-1", "capture must be zero or more"),
])
def test_bad_bot_options_are_refused_with_one_line(given, words):
    with pytest.raises(BotNameError) as refused:
        make_bot(given)
    assert words in str(refused.value)


def test_every_bot_is_registered():
    assert bot_names() == ["greedy", "mcts", "random"]
