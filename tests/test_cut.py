"""Cut questions from Python: the refusals, the quick answers, the inclusive
distance limits, the enemy pair the probe wedges into a gap, the cache
(shared by a question and its mirror, kept by far changes, dropped by near
ones), and probes that leave the position exactly as they found it."""

import itertools
import math

import pytest

import quelmar as qm
from recorded_games import CAPTURE_WITHOUT_OWN_SPACE, CORNER_CAPTURE, CORNER_CAPTURE_IDS, self_play

B, W = qm.Color.BLACK, qm.Color.WHITE
CONNECTED, CUTTABLE, TOO_FAR = qm.CutKind.CONNECTED, qm.CutKind.CUTTABLE, qm.CutKind.TOO_FAR
EDGES = [qm.BoardEdge.LEFT, qm.BoardEdge.RIGHT, qm.BoardEdge.TOP, qm.BoardEdge.BOTTOM]
MAX_PAIR, MAX_EDGE = qm.MAX_PAIR_CUT_DISTANCE, qm.MAX_BOUNDARY_CUT_DISTANCE


def board(stones, size=18.0):
    """A position from a hand-made log: stone i is stones[i]."""
    return qm.Game.replay(size, [qm.GameDelta(qm.Stone(i, c, p)) for i, (c, p) in enumerate(stones)])


def fresh(game):
    """The same position with an empty cache."""
    return qm.Game.replay(game.board_size, game.deltas())


def played(moves):
    game = qm.Game(18.0)
    for point in moves:
        game.try_move(point)
    return game


def distance(p, q):
    return math.sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]))


# ---------------------------------------------------------------- refusals


@pytest.fixture
def corner():
    """The recorded game whose last move captured stone 9."""
    return played(CORNER_CAPTURE)


@pytest.mark.parametrize(
    "ask, text, stones",
    [
        (lambda g: g.pair_cuttable(0, 999), "no stone 999 is on the board", [999]),
        (lambda g: g.pair_cuttable(999, 0), "no stone 999 is on the board", [999]),
        (lambda g: g.pair_cuttable(998, 999), "no stone 998 is on the board", [998]),
        (lambda g: g.pair_cuttable(999, 999), "no stone 999 is on the board", [999]),
        (lambda g: g.pair_cuttable(0, 0), "stone 0 cannot be cut from itself", [0]),
        (lambda g: g.pair_cuttable(0, 1), "stones 0 and 1 are not the same colour", [0, 1]),
        (lambda g: g.pair_cuttable(1, 0), "stones 1 and 0 are not the same colour", [1, 0]),
        (lambda g: g.pair_cuttable(1, 9), "no stone 9 is on the board", [9]),  # captured
        (lambda g: g.boundary_cuttable(9, qm.BoardEdge.TOP), "no stone 9 is on the board", [9]),
        (lambda g: g.boundary_cuttable(2**32 - 1, qm.BoardEdge.LEFT),
         "no stone 4294967295 is on the board", [2**32 - 1]),
    ],
    ids=["b missing", "a missing", "a reported first", "both the same and missing", "itself",
         "colours", "colours in argument order", "captured", "edge", "largest id"],
)
def test_refusals_name_the_stones(corner, ask, text, stones):
    assert CORNER_CAPTURE_IDS == [9]
    before = (corner.revision, corner.dump_svg())
    with pytest.raises(qm.CutError) as info:
        ask(corner)
    assert type(info.value) is qm.CutError and info.value.args == (text,)
    assert info.value.stones == stones
    assert (corner.revision, corner.dump_svg()) == before


# ---------------------------------------------------------------- quick answers and limits


def test_a_touching_pair_is_connected_without_a_search():
    # A white stone between them would cut at once if anything looked.
    assert board([(B, (6.0, 9.0)), (B, (8.0, 9.0)), (W, (7.0, 9.0))]).pair_cuttable(0, 1) == CONNECTED
    assert board([(B, (6.0, 9.0)), (B, (9.0, 9.0)), (W, (7.5, 9.0))]).pair_cuttable(0, 1) == CUTTABLE


@pytest.mark.parametrize("edge, stone, enemy", [
    (qm.BoardEdge.LEFT, (1.5, 9.0), (0.75, 9.0)),
    (qm.BoardEdge.TOP, (9.0, 1.5), (9.0, 0.75)),
    (qm.BoardEdge.RIGHT, (16.5, 9.0), (17.25, 9.0)),
    (qm.BoardEdge.BOTTOM, (9.0, 16.5), (9.0, 17.25)),
])
def test_a_stone_close_to_an_edge_is_connected_without_a_search(edge, stone, enemy):
    assert board([(B, stone), (W, enemy)]).boundary_cuttable(0, edge) == CONNECTED
    # One further out, with the enemy on the same line, is cut.
    further = tuple(9.0 + (c - 9.0) * 6.5 / 7.5 for c in stone)
    between = tuple((a + f) / 2 for a, f in zip(further, enemy))
    assert board([(B, further), (W, between)]).boundary_cuttable(0, edge) == CUTTABLE


@pytest.mark.parametrize("vertical", [False, True])
def test_the_pair_distance_limit_is_inclusive(vertical):
    def pair(offset):
        a, b = (0.5, 3.0), (0.5 + offset, 3.0)
        if vertical:
            a, b = a[::-1], b[::-1]
        return board([(B, a), (B, b)], size=6.0), distance(a, b)

    at, d = pair(MAX_PAIR)
    assert d == MAX_PAIR
    assert at.pair_cuttable(0, 1) != TOO_FAR and at.pair_cuttable(1, 0) != TOO_FAR
    beyond, d = pair(math.nextafter(MAX_PAIR, math.inf))
    assert d > MAX_PAIR
    assert beyond.pair_cuttable(0, 1) == TOO_FAR and beyond.pair_cuttable(1, 0) == TOO_FAR


@pytest.mark.parametrize("edge", EDGES, ids=lambda e: e.label)
def test_the_edge_distance_limit_is_inclusive(edge):
    s = 6.0

    def stone(gap):
        near = {qm.BoardEdge.LEFT: (gap, 3.0), qm.BoardEdge.RIGHT: (s - gap, 3.0),
                qm.BoardEdge.TOP: (3.0, gap), qm.BoardEdge.BOTTOM: (3.0, s - gap)}[edge]
        foot = {qm.BoardEdge.LEFT: (0.0, 3.0), qm.BoardEdge.RIGHT: (s, 3.0),
                qm.BoardEdge.TOP: (3.0, 0.0), qm.BoardEdge.BOTTOM: (3.0, s)}[edge]
        return board([(B, near)], size=s), distance(near, foot)

    at, d = stone(MAX_EDGE)
    assert d == MAX_EDGE and at.boundary_cuttable(0, edge) != TOO_FAR
    beyond, d = stone(math.nextafter(MAX_EDGE, math.inf))
    assert d > MAX_EDGE and beyond.boundary_cuttable(0, edge) == TOO_FAR


# ---------------------------------------------------------------- the search


GAP = [(B, (7.0, 9.0)), (B, (10.4, 9.0))]  # 3.4 apart, midpoint (8.7, 9)


def test_an_enemy_pair_fits_into_an_open_gap():
    assert board(GAP).pair_cuttable(0, 1) == CUTTABLE


def test_a_filled_gap_leaves_no_room_for_the_enemy_pair():
    assert board(GAP + [(B, (8.7, 9.0))]).pair_cuttable(0, 1) == CONNECTED
    # Enemy stones already in the gap are cut points all the same.
    wedged = GAP + [(B, (8.7, 9.0)), (W, (8.7, 7.8)), (W, (8.7, 10.2))]
    assert board(wedged).pair_cuttable(0, 1) == CUTTABLE


def test_with_nothing_playable_and_no_enemy_near_the_line_survives():
    grid = [(B, (x, y)) for x in (1.0, 3.0, 5.0) for y in (1.0, 3.0, 5.0)]
    game = board(grid, size=6.0)
    assert game.nearest_living_move((3.0, 3.0)) is None
    assert game.pair_cuttable(0, 4) == CONNECTED  # (1, 1) and (3, 3), past the quick answer


# ---------------------------------------------------------------- the cache


def test_a_pair_and_its_mirror_share_one_answer_until_a_stone_lands_near_it():
    # The white stone is more than 4.02 from the midpoint (8.7, 9), yet it
    # decides where the probe's second stone can go.
    base = GAP + [(B, (8.2, 6.2))]
    far = (W, (11.0, 5.4))
    assert distance(far[1], (8.7, 9.0)) > 4.02
    assert board(base + [far]).pair_cuttable(0, 1) == CONNECTED
    assert board(base).pair_cuttable(0, 1) == CUTTABLE and board(base).pair_cuttable(1, 0) == CUTTABLE

    game = board(base + [far])
    assert game.pair_cuttable(0, 1) == CONNECTED
    game.undo_move()  # takes the far stone back: nothing near the midpoint changed
    assert game.pair_cuttable(1, 0) == CONNECTED  # the mirror question finds the same entry
    assert fresh(game).pair_cuttable(1, 0) == CUTTABLE

    game.try_move((16.0, 16.0))
    assert game.pair_cuttable(0, 1) == CONNECTED

    at = (8.7 - 4.02, 9.0)
    beyond = (math.nextafter(at[0], -math.inf), 9.0)
    assert distance(at, (8.7, 9.0)) == 4.02 and distance(beyond, (8.7, 9.0)) > 4.02
    game.try_move(beyond)
    assert game.pair_cuttable(0, 1) == CONNECTED
    game.undo_move()
    game.try_move(at)
    assert game.pair_cuttable(0, 1) == fresh(game).pair_cuttable(0, 1) == CUTTABLE


def test_an_edge_answer_is_dropped_by_distance_from_the_anchors_midpoint():
    # The stone is 2.5 from the left edge: the search centres on the foot
    # (0, 9), the cache on (1.25, 9). The white stone is within 4.02 of the
    # first and not of the second.
    base = [(B, (2.5, 9.0)), (B, (1.0, 6.5))]
    near_foot = (W, (0.2, 5.05))
    assert distance(near_foot[1], (0.0, 9.0)) <= 4.02 < distance(near_foot[1], (1.25, 9.0))
    assert board(base).boundary_cuttable(0, qm.BoardEdge.LEFT) == CONNECTED

    game = board(base + [near_foot])
    assert game.boundary_cuttable(0, qm.BoardEdge.LEFT) == CUTTABLE
    game.undo_move()
    assert game.boundary_cuttable(0, qm.BoardEdge.LEFT) == CUTTABLE
    assert fresh(game).boundary_cuttable(0, qm.BoardEdge.LEFT) == CONNECTED

    at = (1.25 + 4.02, 9.0)
    assert distance(at, (1.25, 9.0)) <= 4.02
    game.try_move(at)
    assert game.boundary_cuttable(0, qm.BoardEdge.LEFT) == CONNECTED


def test_a_near_move_and_its_undo_each_drop_the_answer():
    game = board(GAP)
    assert game.pair_cuttable(0, 1) == CUTTABLE
    game.try_move((8.7, 10.6))  # black, closing the gap from above
    assert game.pair_cuttable(1, 0) == CONNECTED
    game.undo_move()
    assert game.pair_cuttable(0, 1) == CUTTABLE


def test_a_pass_keeps_every_answer():
    game = board(GAP + [(B, (8.2, 6.2)), (W, (11.0, 5.4))])
    assert game.pair_cuttable(0, 1) == CONNECTED
    game.undo_move()
    game.pass_turn()
    game.undo_move()
    assert game.pair_cuttable(0, 1) == CONNECTED != fresh(game).pair_cuttable(0, 1)


# ---------------------------------------------------------------- probes leave no trace


def observations(game):
    size = game.board_size
    probes = [(x * size / 7, y * size / 7) for x in range(8) for y in range(8)]
    return (game.revision, game.deltas(), game.groups(), game.territory(), game.dump_svg(),
            [game.nearest_living_move(p) for p in probes], [game.dead_stones(c) for c in (B, W)])


def every_question(game):
    """Every pair question between same-colour stones and every edge question."""
    stones = game.stones()
    answers = {}
    for a, b in itertools.permutations(stones, 2):
        if a.color == b.color:
            answers[a.id, b.id] = game.pair_cuttable(a.id, b.id)
    for s, edge in itertools.product(stones, EDGES):
        answers[s.id, edge.label] = game.boundary_cuttable(s.id, edge)
    return answers


POSITIONS = [
    ("mid-play", lambda: self_play(1, 30)),
    ("busy", lambda: self_play(2, 90)),
    ("captures", lambda: played(CAPTURE_WITHOUT_OWN_SPACE)),
    ("gap", lambda: board(GAP + [(W, (8.7, 12.0))])),
]


@pytest.mark.parametrize("make", [m for _, m in POSITIONS], ids=[n for n, _ in POSITIONS])
def test_questions_leave_the_position_exactly_as_they_found_it(make):
    game = make()
    before = observations(game)
    answers = every_question(game)
    assert set(answers.values()) <= {CONNECTED, CUTTABLE, TOO_FAR}
    game.validate()
    assert observations(game) == before
    # Asked again, from the cache; and a fresh board of the same log agrees.
    assert every_question(game) == answers
    assert every_question(fresh(game)) == answers


@pytest.mark.parametrize("seed", range(3))
def test_a_question_and_its_mirror_agree_when_computed_afresh(seed):
    game = self_play(seed, 60)
    stones = game.stones()
    for a, b in itertools.combinations(stones, 2):
        if a.color == b.color and distance(a.position, b.position) <= MAX_PAIR:
            assert fresh(game).pair_cuttable(a.id, b.id) == fresh(game).pair_cuttable(b.id, a.id)
