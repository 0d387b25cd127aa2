"""Hand-built and recorded positions for each rule of play: captures, self-
capture, forced eyes, the end of the game, and undo of each of them."""

import math

import pytest

import quelmar as qm
from recorded_games import (CAPTURE_WITHOUT_OWN_SPACE, CAPTURE_WITHOUT_OWN_SPACE_IDS,
                            CORNER_CAPTURE, CORNER_CAPTURE_IDS, GROUP_CAPTURE, GROUP_CAPTURE_IDS)

CENTRE = (9.0, 9.0)


def ring(centre, radius, count=6):
    cx, cy = centre
    return [(cx + radius * math.cos(k * 2 * math.pi / count), cy + radius * math.sin(k * 2 * math.pi / count))
            for k in range(count)]


def surround_centre_stone():
    """Black rings a White stone at the centre; the sixth Black stone captures it."""
    game = qm.Game(18.0)
    stones = ring(CENTRE, 3.0)
    game.try_move(stones[0])
    game.try_move(CENTRE)
    for p in stones[1:-1]:
        assert game.try_move(p).captured_stone_ids == []
        game.pass_turn()
    return game, stones[-1]


def play(moves):
    game = qm.Game(18.0)
    for p in moves[:-1]:
        game.try_move(p)
    return game, moves[-1]


def state(game):
    return (game.stones(), game.deltas(), game.captures, game.turn, game.status,
            [(g.stone_ids, g.rings) for g in game.groups()])


@pytest.mark.parametrize("setup, expected", [
    (surround_centre_stone, [1]),
    (lambda: play(CORNER_CAPTURE), CORNER_CAPTURE_IDS),
    (lambda: play(GROUP_CAPTURE), GROUP_CAPTURE_IDS),
    (lambda: play(CAPTURE_WITHOUT_OWN_SPACE), CAPTURE_WITHOUT_OWN_SPACE_IDS),
], ids=["open", "corner", "group", "own-group-without-space"])
def test_capture_leaves_eyes_and_undoes(setup, expected):
    game, move = setup()
    before = state(game)
    victims = [game.stone(i) for i in expected]
    assert all(v is not None and v.color != game.pending_color for v in victims)
    mover = game.pending_color
    delta = game.try_move(move)
    assert delta.captured_stone_ids == expected
    assert delta.captured_stone_ids == sorted(delta.captured_stone_ids)
    assert game.captures[int(mover)] - before[2][int(mover)] == len(expected)
    for v in victims:
        assert game.stone(v.id) is None
        # A captured stone leaves a forced eye at its centre: placeable, and
        # its own nearest living move.
        assert game.nearest_living_move(v.position) == v.position
    game.validate()
    assert game.undo_move() == delta
    assert state(game) == before
    game.validate()


def test_capture_while_own_group_had_no_space_reports_only_the_enemy():
    game, move = play(CAPTURE_WITHOUT_OWN_SPACE)
    mover = game.pending_color
    stone = qm.Stone(game.next_stone_id, mover, move)
    # Without the captures, the mover's new stone would itself be dead.
    probe = qm.Game.replay(18.0, game.deltas() + [qm.GameDelta(stone)])
    assert stone.id in [s.id for s in probe.dead_stones(mover)]
    delta = game.try_move(move)
    assert stone.id not in delta.captured_stone_ids
    assert game.stone(stone.id) == stone


def test_self_capture_is_refused_with_the_board_unchanged():
    game = qm.Game(18.0)
    for p in ring(CENTRE, 3.0):
        game.try_move(p)
        game.pass_turn()
    game.undo_move()  # White to move
    before = state(game)
    revision = game.revision
    with pytest.raises(qm.SelfCaptureError) as err:
        game.try_move(CENTRE)
    assert str(err.value) == "a White stone at (9, 9) would capture only White's own stones"
    assert err.value.position == CENTRE
    assert err.value.color == qm.Color.WHITE
    assert isinstance(err.value, qm.StonePlayError)
    assert state(game) == before
    assert game.revision == revision + 2
    game.validate()


def test_forced_eye_is_cleared_by_a_stone_within_two_and_restored_by_undo():
    game, move = surround_centre_stone()
    game.try_move(move)
    game.pass_turn()
    eye = CENTRE
    assert game.nearest_living_move(eye) == eye
    # The placeable point nearest a spot just under 2.0 from the eye.
    near = game.nearest_living_move((eye[0] + 1.9, eye[1] + 0.3))
    assert near is not None and math.dist(near, eye) <= 2.0
    game.try_move(near)
    assert game.nearest_living_move(eye) != eye
    game.undo_move()
    assert game.nearest_living_move(eye) == eye
    game.validate()


def test_stone_on_the_eye_removes_it():
    game, move = surround_centre_stone()
    game.try_move(move)
    game.pass_turn()
    game.try_move(CENTRE)  # exactly on the eye: placeable
    assert game.stone(game.turn - 1).position == CENTRE
    game.validate()


def test_pass_cycle_and_end_of_game():
    game = qm.Game(18.0)
    game.try_move((4.0, 4.0))
    assert game.pass_turn() is None
    assert game.status == qm.GameStatus.NEXT_PASS_ENDS
    assert game.last_placed_stone() is None
    game.try_move((10.0, 10.0))
    assert game.status == qm.GameStatus.PLAYING
    game.pass_turn()
    game.pass_turn()
    assert game.status == qm.GameStatus.ENDED and game.status.has_ended()
    assert game.turn == 5
    for call in (game.pass_turn, lambda: game.try_move((15.0, 15.0)), lambda: game.try_move((float("nan"), 1.0))):
        with pytest.raises(qm.GameOverError) as err:
            call()
        assert str(err.value) == "the game ended on two passes and takes no further turns"
    assert game.turn == 5
    # An ended game still answers every query.
    assert len(game.groups()) >= 1 and game.territory()[0] > 0
    assert game.undo_move().is_pass
    assert game.status == qm.GameStatus.NEXT_PASS_ENDS
    with pytest.raises(qm.GameOverError):
        qm.Game.replay(18.0, [qm.GameDelta()] * 3)


def test_not_placeable_positions():
    game = qm.Game(18.0)
    game.try_move((9.0, 9.0))
    for position in [(9.0 + 2.0 - 1e-6, 9.0), (30.0, 30.0), (float("nan"), 3.0), (float("inf"), 3.0),
                     (0.5, 9.0), (-0.0, -0.0)]:
        with pytest.raises(qm.NotPlaceableError) as err:
            game.try_move(position)
        assert err.value.position == position or math.isnan(position[0])
        assert not hasattr(err.value, "stone")
    assert game.turn == 1
    game.try_move((9.0 + 2.0 - 1e-8, 9.0))


@pytest.mark.parametrize("log, error, stone", [
    ([qm.GameDelta(qm.Stone(0, qm.Color.BLACK, (4.0, 4.0))), qm.GameDelta(qm.Stone(0, qm.Color.WHITE, (9.0, 9.0)))],
     qm.StoneExistsError, 0),
    ([qm.GameDelta(qm.Stone(0, qm.Color.BLACK, (4.0, 4.0)), [3])], qm.NoSuchStoneError, 3),
    ([qm.GameDelta(qm.Stone(0, qm.Color.BLACK, (4.0, 4.0))), qm.GameDelta(qm.Stone(1, qm.Color.WHITE, (9.0, 9.0)), [0, 0])],
     qm.CapturedTwiceError, 0),
    ([qm.GameDelta(None, [1])], qm.PassCapturesError, None),
    ([qm.GameDelta(qm.Stone(7, qm.Color.BLACK, (-1.0, 2.5)))], qm.OffBoardError, 7),
    ([qm.GameDelta(qm.Stone(7, qm.Color.BLACK, (float("nan"), 2.5)))], qm.OffBoardError, 7),
    ([qm.GameDelta(qm.Stone(4294967295, qm.Color.BLACK, (4.0, 4.0))), qm.GameDelta(qm.Stone(4294967295, qm.Color.BLACK, (9.0, 9.0)))],
     qm.StoneExistsError, 4294967295),
])
def test_replay_refuses_bad_logs(log, error, stone):
    with pytest.raises(error) as err:
        qm.Game.replay(18.0, log)
    assert isinstance(err.value, qm.DeltaError)
    if stone is not None:
        assert err.value.stone == stone
    if error is qm.OffBoardError and stone == 7 and log[0].new_stone.position[0] == -1.0:
        assert str(err.value) == "stone 7's centre (-1, 2.5) is not on the board"
        assert err.value.position == (-1.0, 2.5)
