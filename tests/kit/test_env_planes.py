"""The observation planes against the engine's own answers: a centre marked
placeable is accepted or refused only as self-capture, one not marked is
refused as not placeable; a cell's territory is the colour of the group
whose territory holds its centre; the forced eyes derived from the log are
the ones the engine keeps. And the view kept delta by delta equals the
planes computed afresh from the stones, bit for bit."""

import copy
import math
import random

import numpy as np
import pytest
import quelmar as qm

from quelmar_kit.env import planes as P
from quelmar_kit.env.episode import Episode
from quelmar_kit.env.eyes import ForcedEyes, forced_eyes


def engine_answer(game, point):
    """How the rules take a stone at `point` now: 'ok', 'self' or 'no'."""
    try:
        game.try_move(point)
    except qm.SelfCaptureError:
        return "self"
    except qm.NotPlaceableError:
        return "no"
    game.undo_move()
    return "ok"


def fresh_planes(episode, player):
    """The planes computed from scratch: every stone against every centre,
    the eyes replayed from the log."""
    grid, game = episode.grid, episode.game
    n, own = grid.cells, int(player)
    stones = game.stones()
    out = np.zeros((7, n), np.float32)
    for s in stones:
        out[0 if int(s.color) == own else 1, grid.cell_of(s.position)] = 1
    clear = np.ones(n, bool)
    if stones:
        xy = np.array([s.position for s in stones])
        colours = np.array([int(s.color) for s in stones])
        dx = grid.xs[:, None] - xy[None, :, 0]
        dy = grid.ys[:, None] - xy[None, :, 1]
        distance = np.sqrt(dx * dx + dy * dy)
        clear = (2.0 - distance).max(axis=1) <= qm.EPSILON
        square = dx * dx + dy * dy
        nearest = [np.where(colours == c, square, np.inf).min(axis=1) for c in (0, 1)]
        out[3], out[4] = nearest[own] < nearest[1 - own], nearest[1 - own] < nearest[own]
    eyes = forced_eyes(game.deltas())
    on_eye = np.zeros(n, bool)
    for e in eyes:
        out[5, grid.cell_of(e)] = 1
        on_eye[grid.cell_of(e)] |= grid.centre(grid.cell_of(e)) == e
    out[2] = (grid.inside_inset & clear) | on_eye
    out[6] = own
    return out.reshape(7, grid.size, grid.size)


def random_positions(board, grid, kind, seed, turns):
    """An episode played at random (masked grid cells or snapped box
    points, rare passes), yielded after every turn."""
    rng = random.Random(seed)
    episode = Episode(board, grid, max_moves=turns)
    while not episode.over:
        if kind == "box":
            action = np.array([rng.uniform(-1, 1), rng.uniform(-1, 1),
                               1.0 if rng.random() < 0.01 else -1.0], np.float32)
        else:
            open_cells = np.flatnonzero(episode.action_mask(legal=True)[:-1])
            action = (int(rng.choice(open_cells)) if open_cells.size and rng.random() > 0.01
                      else episode.grid.cells)
        move = episode.move_of(kind, action)
        if move != "pass" and engine_answer(copy.copy(episode.game), move) == "self":
            move = "pass"  # keep the game going past a self-capture
        episode.play(move)
        yield episode


CASES = [(9.0, 9, "grid", 1), (9.0, 13, "box", 2), (12.0, 10, "grid", 3), (7.5, 11, "box", 4),
         (18.0, 19, "box", 5), (9.0, 9, "grid", 6)]


@pytest.mark.parametrize("board, grid, kind, seed", CASES)
def test_every_plane_agrees_with_the_engine(board, grid, kind, seed):
    reached = {"captures": 0, "eyes on centres": 0, "refused as self-capture": 0,
               "boundary centres": 0}
    for turn, episode in enumerate(random_positions(board, grid, kind, seed, 70)):
        game, g = episode.game, episode.grid
        player = episode.to_move
        observed = episode.planes(player)
        for viewer in (qm.Color.BLACK, qm.Color.WHITE):
            assert np.array_equal(episode.planes(viewer), fresh_planes(episode, viewer))
        if turn % 3 or game.status.has_ended():
            continue  # the engine's answers on every third position in play
        flat = observed.reshape(7, -1)
        probe = copy.copy(game)
        for cell in range(g.cells):
            answer = engine_answer(probe, g.centre(cell))
            assert (answer != "no") == bool(flat[P.PLACEABLE, cell]), (cell, answer)
            reached["refused as self-capture"] += answer == "self"
        groups = game.groups()
        stones = game.stones()
        for cell in range(g.cells):
            centre = g.centre(cell)
            if not stones:
                assert not (flat[P.OWN_TERRITORY, cell] or flat[P.OPPONENT_TERRITORY, cell])
                continue
            d = [min(((centre[0] - s.position[0]) ** 2 + (centre[1] - s.position[1]) ** 2
                      for s in stones if s.color == c), default=math.inf)
                 for c in (qm.Color.BLACK, qm.Color.WHITE)]
            if d[0] == d[1]:
                # On the boundary between the colours: neither plane claims it.
                assert not (flat[P.OWN_TERRITORY, cell] or flat[P.OPPONENT_TERRITORY, cell])
                reached["boundary centres"] += 1
            if abs(math.sqrt(d[0]) - math.sqrt(d[1])) < 1e-9:
                continue  # either group's territory may hold a centre this near the boundary
            [owner] = [grp.color for grp in groups if grp.contains_point(centre)]
            own = flat[P.OWN_TERRITORY, cell] == 1
            assert own == (owner == player) and own != (flat[P.OPPONENT_TERRITORY, cell] == 1)
        eyes = forced_eyes(game.deltas())
        for eye in eyes:
            # An eye is placeable wherever it lies, dead zones or not.
            assert engine_answer(probe, eye) != "no" and probe.nearest_living_move(eye) == eye
            reached["eyes on centres"] += g.is_centre(eye, g.cell_of(eye))
        for delta in game.deltas():
            for stone_id in delta.captured_stone_ids:
                reached["captures"] += 1
                gone = next(d.new_stone.position for d in game.deltas()
                            if d.new_stone is not None and d.new_stone.id == stone_id)
                depth = max((2.0 - math.dist(gone, s.position) for s in stones), default=-1)
                if gone not in eyes and depth > qm.EPSILON:
                    # A removed eye inside a dead zone is refused again.
                    assert engine_answer(probe, gone) == "no"
        assert probe.deltas() == game.deltas()
    if kind == "grid" and board == 9.0:
        assert reached["captures"] and reached["eyes on centres"], reached
        assert reached["boundary centres"] and reached["refused as self-capture"], reached


def test_the_clear_distance_is_the_rules_test_without_a_square_root():
    rng = random.Random(7)
    for _ in range(20000):
        angle = rng.uniform(0, 2 * math.pi)
        r = 2.0 + rng.uniform(-3e-7, 3e-7)
        dx, dy = r * math.cos(angle), r * math.sin(angle)
        square = dx * dx + dy * dy
        assert (square >= P.CLEAR_SQUARE) == (2.0 - math.sqrt(square) <= qm.EPSILON)
    # The engine draws the same line: a lone stone and points either side.
    game = qm.Game(10.0)
    game.try_move((5.0, 5.0))
    edge = math.sqrt(P.CLEAR_SQUARE)
    assert engine_answer(game, (5.0 + edge, 5.0)) == "ok"
    assert engine_answer(game, (5.0 + math.nextafter(edge, 0), 5.0)) == "no"


@pytest.mark.parametrize("stone, eyes, removed", [
    ((5.0, 5.0), [(5.0, 5.0), (6.0, 5.0)], [(5.0, 5.0)]),     # exactly on an eye: that one only
    ((5.0, 7.0), [(5.0, 5.0), (8.0, 5.0)], [(5.0, 5.0)]),     # 2.0 away: removed
    ((5.0, 7.000001), [(5.0, 5.0)], []),                      # a little farther: kept
    ((-0.0, 5.0), [(0.0, 5.0), (1.0, 5.0)], [(0.0, 5.0)]),    # -0.0 is 0.0
])
def test_a_stone_removes_the_eye_it_lands_on_or_those_within_two(stone, eyes, removed):
    kept = ForcedEyes()
    kept.play((50.0, 50.0), eyes)
    assert kept.play(stone, [(9.0, 9.0)]) == (removed, [(9.0, 9.0)])
    assert sorted(kept) == sorted([e for e in eyes if e not in removed] + [(9.0, 9.0)])
