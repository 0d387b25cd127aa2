"""Every point `nearest_living_move` answers is placeable, and it answers
None only where nothing is: on boards too small for an inset square, and
for points so far away that their distances overflow."""

import copy
import math

import pytest

import quelmar as qm

B = qm.Color.BLACK
W = qm.Color.WHITE

TINY = [0.0, 1.0, 1.5, 2.0, math.nextafter(2.0, 3.0), -1.0, math.nan, math.inf]


def asked_points(size):
    span = size if math.isfinite(size) and size > 0 else 3.0
    grid = [i * span / 8 for i in range(-2, 11)]
    return [(x, y) for x in grid for y in grid] + [(1.0, 1.0), (0.5, 0.25), (-1e300, 1e300), (5e-324, 1.0)]


def assert_placeable_or_none(game, p):
    answer = game.nearest_living_move(p)
    if answer is None:
        return None
    trial = copy.copy(game)
    try:
        trial.try_move(answer)
    except qm.SelfCaptureError:
        pass  # placeable; the rules then refuse a stone with no space left
    trial.validate()
    return answer


@pytest.mark.parametrize("size", TINY, ids=repr)
def test_nearest_living_move_on_boards_without_an_inset_square(size):
    game = qm.Game(size)
    answers = {assert_placeable_or_none(game, p) for p in asked_points(size)}
    if math.isnan(size) or size < 2.0:
        assert answers <= {None}
    if size == 2.0:
        assert answers == {None, (1.0, 1.0)}


@pytest.mark.parametrize("size", [0.5, 1.0, 1.5])
def test_a_forced_eye_on_a_tiny_board_is_its_nearest_living_move(size):
    # A replayed log places stones wherever the board is, and a capture
    # leaves a forced eye, the only placeable point such a board has.
    eye = (size / 2, size / 2)
    game = qm.Game.replay(size, [qm.GameDelta(qm.Stone(0, B, eye)),
                                 qm.GameDelta(qm.Stone(1, W, (0.0, size)), [0])])
    for p in asked_points(size):
        assert game.nearest_living_move(p) == eye
        assert_placeable_or_none(game, p)


FAR = [(-1e300, 1e300), (1e200, 5.0), (1e154, 1e154), (1.7976931348623157e308, -1.7976931348623157e308),
       (-1e300, 5.0), (5.0, 1e300)]


@pytest.mark.parametrize("p", FAR, ids=repr)
def test_points_beyond_overflowing_distances_still_snap_onto_the_board(p):
    game = qm.Game(18.0)
    game.try_move((9.0, 9.0))
    answer = assert_placeable_or_none(game, p)
    assert answer is not None
    # The nearest placeable point lies on the inset square's boundary, on
    # the side that faces p (or its corner).
    assert all(1.0 <= c <= 17.0 for c in answer)
    assert 1.0 in answer or 17.0 in answer
