"""Special numbers everywhere a number goes in: NaNs with several payloads,
infinities, signed zeros, the smallest subnormal, huge values, and values one
ulp either side of the lines that matter (2.0 and 4.0 from a stone, the inset
lines, the board edges), against odd board sizes, on empty and busy boards.
Each answer is checked against a brute-force computation of depth, nearest
placeable point and point containment; exact coincidences that lattice play
makes real are undone and must leave the board as it was, bit for bit."""

import math
import struct
import xml.etree.ElementTree as ElementTree

import pytest

import quelmar as qm
from board_model import Board, bits, contains, forced_eyes, same_point

B, W = qm.Color.BLACK, qm.Color.WHITE
EDGES = [qm.BoardEdge.LEFT, qm.BoardEdge.RIGHT, qm.BoardEdge.TOP, qm.BoardEdge.BOTTOM]
INF = math.inf


def from_bits(bits):
    return struct.unpack("<d", struct.pack("<Q", bits))[0]


def up(x):
    return math.nextafter(x, INF)


def down(x):
    return math.nextafter(x, -INF)


NANS = [from_bits(b) for b in (0x7FF8000000000000, 0x7FF8000000000001, 0xFFF8000000000000, 0x7FF0000000000001,
                                0x7FFFFFFFFFFFFFFF, 0xFFF00000DEADBEEF)]
ABSOLUTE = NANS + [INF, -INF, 0.0, -0.0, 5e-324, -5e-324, 1e300, -1e300, 2.0, 4.0]


EPS = qm.EPSILON


def relative(size, anchor):
    """Values one ulp either side of the board's lines and of the distances
    2 and 4 from `anchor` (a coordinate of a stone), and either side of the
    tolerance bands round those distances."""
    out = []
    for line in (0.0, 1.0, size + -1.0, size, anchor + 2.0, anchor - 2.0, anchor + 4.0, anchor - 4.0):
        out += [down(line), line, up(line)]
    for offset in (2.0 - EPS, 2.0 + EPS, 4.0 - EPS, 4.0 + EPS, 4.0 + 2 * EPS):
        out += [anchor + offset, anchor - offset]
    return out


def territory_guard_passes(size):
    """Whether the partition is built at all: (16 s)² must be a normal float."""
    v = (16 * size) ** 2 if math.isfinite(size) and abs(size) < 1e150 else INF
    return math.isfinite(v) and v >= 2.2250738585072014e-308


# ---------------------------------------------------------------- checks


def check_nearest(game, board, p, sample):
    answer = game.nearest_living_move(p)
    if not (math.isfinite(p[0]) and math.isfinite(p[1])):
        assert answer is None
        return
    if board.depth(p) <= 0:
        assert same_point(answer, p)
        return
    if answer is not None:
        assert board.depth(answer) <= qm.EPSILON, (p, answer)
    if not sample:
        return
    assert answer is not None
    # Within rounding of the boundary, and no sampled playable point nearer.
    assert board.depth(answer) <= qm.EPSILON, (p, answer)
    reach = math.dist(p, answer)
    best = min(math.dist(p, q) for q in sample)
    assert reach <= best + 1e-9, (p, answer, best)


def check_move(game, board, p):
    """Plays p if it is placeable, checks the answer and undoes it; the board
    must then be as it was, to the bit."""
    before = (game.revision, game.dump_svg(), game.deltas())
    try:
        delta = game.try_move(p)
    except qm.NotPlaceableError as e:
        assert not board.placeable(p), p
        assert same_point(e.position, p)
        assert game.revision == before[0]
        return
    except qm.SelfCaptureError as e:
        assert board.placeable(p) and same_point(e.position, p)
        assert game.revision == before[0] + 2
        game.validate()
        return
    assert board.placeable(p), p
    assert same_point(delta.new_stone.position, p)
    game.validate()
    assert game.undo_move() == delta
    game.validate()
    if not delta.captured_stone_ids:
        assert (game.dump_svg(), game.deltas()) == before[1:]


def check_groups(game, points):
    groups = game.groups()
    for g in groups:
        rings = g.rings
        for p in points:
            assert g.contains_point(p) == contains(rings, p), (g, p)
    black, white = game.territory()
    if game.stone_count and territory_guard_passes(game.board_size):
        assert math.isclose(black + white, game.board_size ** 2, rel_tol=1e-9)
    elif game.stone_count:
        assert all(g.is_empty() and g.area == 0.0 for g in groups)
    ElementTree.fromstring(game.dump_svg())


def check_cuts(game):
    stones = game.stones()
    for a in stones:
        for e in EDGES:
            assert isinstance(game.boundary_cuttable(a.id, e), qm.CutKind)
        for b in stones:
            if a.id != b.id and a.color == b.color:
                assert isinstance(game.pair_cuttable(a.id, b.id), qm.CutKind)
    game.validate()


# ---------------------------------------------------------------- board sizes


SIZES = [0.0, -0.0, -1.0, *NANS[:3], INF, -INF, 1e300, 1.0, 1.5, 2.0, up(2.0), 4.0, down(4.0), up(4.0), 5e-324, 18.0]


def size_id(s):
    return f"{s!r}/{bits(s):x}"


@pytest.mark.parametrize("size", SIZES, ids=size_id)
def test_board_size_crossed_with_every_numeric_argument(size):
    game = qm.Game(size)
    assert bits(game.board_size) == bits(size)
    assert repr(game).startswith("Game(board_size=")
    game.validate()
    board = Board(game)
    values = ABSOLUTE + relative(size, size / 2 if math.isfinite(size) else 3.0)
    coordinates = [(v, w) for v in values for w in (1.0, size / 2, v)] + [(w, v) for v in values for w in (1.0, 3.0)]
    # On the empty board, then with whatever of a few stones the board takes.
    for p in coordinates:
        check_nearest(game, board, p, None)
        check_move(game, board, p)
    log = []
    for i, p in enumerate([(1.0, 1.0), (size / 2, size / 2), (size, size), (0.0, -0.0), (size + -1.0, 1.0)]):
        delta = qm.GameDelta(qm.Stone(i, B if i % 2 == 0 else W, p))
        on_board = 0 <= p[0] <= size and 0 <= p[1] <= size
        try:
            candidate = qm.Game.replay(size, log + [delta])
        except qm.OffBoardError as e:
            assert not on_board and e.stone == i and same_point(e.position, p)
            continue
        except qm.StoneExistsError:
            continue
        assert on_board
        log.append(delta)
        game = candidate
    game.validate()
    board = Board(game)
    # Undoing a capture re-carves circles, which may trace the outline from
    # another start; a fresh replay of the same log draws what this one did.
    drawn = game.dump_svg()
    for p in coordinates:
        check_nearest(game, board, p, None)
        check_move(game, board, p)
    check_groups(game, coordinates)
    check_cuts(game)
    replayed = qm.Game.replay(size, game.deltas())
    assert replayed.stones() == game.stones() and replayed.dump_svg() == drawn


def drawing_and_snaps(game):
    s = game.board_size if math.isfinite(game.board_size) else 18.0
    points = [(s * i / 7, s * j / 7) for i in range(-1, 9) for j in range(-1, 9)]
    return game.dump_svg(), [None if q is None else (bits(q[0]), bits(q[1])) for q in map(game.nearest_living_move, points)]


@pytest.mark.parametrize("size", SIZES, ids=size_id)
def test_a_stone_anywhere_on_the_board_undoes_to_the_empty_board(size):
    # Replayed stones go where no move may: onto the edges, the inset lines,
    # the corners, exactly onto the vertices the edge lines are built with.
    empty = drawing_and_snaps(qm.Game(size))
    values = [v for v in ABSOLUTE + relative(size, size / 2) + [2.0 * size, size / 2, size + 1.0]
              if 0 <= v <= size]
    for x in values:
        for y in values:
            game = qm.Game.replay(size, [qm.GameDelta(qm.Stone(0, B, (x, y)))])
            game.validate()
            game.undo_move()
            game.validate()
            assert drawing_and_snaps(game) == empty, (x, y)


# ---------------------------------------------------------------- busy boards


def busy_board():
    """Board 18 with stones on the inset lines, in a corner, 2.0 and 4.0 from
    one another, and a capture that left a forced eye."""
    log = [(0, (9.0, 9.0), []), (1, (1.0, 1.0), []), (2, (11.0, 9.0), []), (3, (13.0, 9.0), []),
           (4, (17.0, 17.0), []), (5, (9.0, 1.0), []), (6, (5.0, 9.0), [1]), (7, (1.0, 13.0), [])]
    deltas = [qm.GameDelta(qm.Stone(i, B if i % 2 == 0 else W, p), c) for i, p, c in log]
    return qm.Game.replay(18.0, deltas)


def busy_coordinates(game):
    anchors = [s.position for s in game.stones()] + list(forced_eyes(game).values())
    out = []
    for ax, ay in anchors[:5]:
        for v in relative(game.board_size, ax):
            out += [(v, ay), (ax, v - ax + ay)]
        for v in NANS[:2] + [INF, -0.0, 5e-324]:
            out += [(v, ay), (ax, v)]
        # Exactly on the circle, at an angle, and one ulp either side.
        for dx, dy in [(2.0 * math.cos(0.7), 2.0 * math.sin(0.7)), (-1.2, 1.6), (1.2, -1.6)]:
            for f in (down, lambda v: v, up):
                out.append((f(ax + dx), ay + dy))
    return out + list(forced_eyes(game).values())


def test_special_coordinates_on_a_busy_board():
    game = busy_board()
    game.validate()
    board = Board(game)
    assert forced_eyes(game)  # the capture left its eye
    sample = board.playable_sample()
    coordinates = busy_coordinates(game)
    for p in coordinates:
        check_nearest(game, board, p, sample)
    for p in coordinates:
        check_move(game, board, p)
    check_groups(game, coordinates + sample[::7])
    check_cuts(game)


def test_special_values_as_stone_values_and_in_logs():
    for v in ABSOLUTE + relative(18.0, 9.0):
        for p in [(v, 3.0), (3.0, v), (v, v)]:
            stone = qm.Stone(0, B, p)
            assert same_point(stone.position, p)
            twin = qm.Stone(0, B, tuple(0.0 if c == 0 else c for c in p))
            assert stone == twin and hash(stone) == hash(twin)  # -0.0 folds, NaN equals itself
            assert hash(qm.GameDelta(stone)) == hash(qm.GameDelta(twin))
            on_board = all(0 <= c <= 18.0 for c in p)
            try:
                game = qm.Game.replay(18.0, [qm.GameDelta(stone)])
            except qm.OffBoardError as e:
                assert not on_board and same_point(e.position, p) and e.stone == 0
            else:
                assert on_board
                game.validate()


IDS = [0, 1, 7, 2**31, 2**32 - 1, True]
BAD_IDS = [(-1, OverflowError), (2**32, OverflowError), (2**63, OverflowError), (-(2**64), OverflowError),
           (1.0, TypeError), (math.nan, TypeError), ("1", TypeError)]


def test_extreme_ids_everywhere_an_id_goes():
    game = busy_board()
    for i in IDS:
        assert qm.Stone(i, W, (1.0, 1.0)).id == i
        assert qm.GameDelta(None, [i, i]).captured_stone_ids == [i, i]
        expected = game.stones()[[s.id for s in game.stones()].index(i)] if i in [s.id for s in game.stones()] else None
        assert game.stone(i) == expected
        for call in [lambda: game.pair_cuttable(i, 0), lambda: game.pair_cuttable(2, i),
                     lambda: game.boundary_cuttable(i, qm.BoardEdge.TOP)]:
            try:
                assert isinstance(call(), qm.CutKind)
            except qm.CutError as e:
                assert i in e.stones or 0 in e.stones
    for i, error in BAD_IDS:
        for call in [lambda: qm.Stone(i, W, (1.0, 1.0)), lambda: qm.GameDelta(None, [0, i]), lambda: game.stone(i),
                     lambda: game.pair_cuttable(0, i), lambda: game.boundary_cuttable(i, qm.BoardEdge.LEFT)]:
            with pytest.raises(error):
                call()
    # The largest id is a stone like any other.
    top = 2**32 - 1
    log = [(top, (2.5, 4.0)), (0, (9.0, 9.0)), (top - 1, (4.5, 5.0))]
    last = qm.Game.replay(18.0, [qm.GameDelta(qm.Stone(i, B, p)) for i, p in log])
    plain = qm.Game.replay(18.0, [qm.GameDelta(qm.Stone(i, B, p)) for i, p in zip([1, 0, 2], [p for _, p in log])])
    assert last.stone(top).position == (2.5, 4.0) and last.turn == 3 and last.next_stone_id == 3
    assert [g.stone_ids for g in last.groups()] == [[0, top - 1, top]]
    for edge in EDGES:
        assert last.boundary_cuttable(top, edge) == plain.boundary_cuttable(1, edge)
    assert last.pair_cuttable(top, top - 1) == plain.pair_cuttable(1, 2)
    last.validate()


# ---------------------------------------------------------------- coincidences


def probe(game):
    """Everything an undo must give back, as Python can see it."""
    s = game.board_size
    points = [(s * i / 29, s * j / 29) for i in range(-1, 31) for j in range(-1, 31)]
    nearest = [game.nearest_living_move(p) for p in points]
    return (game.dump_svg(), [None if q is None else (bits(q[0]), bits(q[1])) for q in nearest],
            [(g.stone_ids, g.rings) for g in game.groups()], game.territory(), game.deltas(), game.stones())


COINCIDENCES = {
    # Both circles cross the inset line y = 1 at exactly (5, 1), and touch.
    "two circles, one crossing on an inset line": ([(3.0, 1.0)], (7.0, 1.0)),
    # Crossings at (6, 6) from three circles, the third tangent to the first.
    "three circles through one point": ([(8.0, 6.0), (6.0, 8.0)], (4.0, 6.0)),
    "a fourth circle through the same point": ([(8.0, 6.0), (6.0, 8.0), (4.0, 6.0)], (6.0, 4.0)),
    # The circle crosses y = 1 exactly at the inset corner (1, 1), a vertex
    # the edge line already has.
    "a crossing on the inset corner": ([], (3.0, 1.0)),
    "two circles and two edges through the corner": ([(3.0, 1.0)], (1.0, 3.0)),
    # Exactly 2.0 from the line: the circle only touches it.
    "a circle tangent to an inset line": ([(9.0, 9.0)], (9.0, 3.0)),
    "a stone exactly 2.0 from another": ([(9.0, 9.0)], (11.0, 9.0)),
    "a stone exactly 4.0 from two others": ([(5.0, 9.0), (13.0, 9.0)], (9.0, 9.0)),
    "a stone one ulp beyond 2.0": ([(9.0, 9.0)], (up(11.0), 9.0)),
    "a stone on the far inset corner": ([(15.0, 17.0)], (17.0, 17.0)),
    # Within the tolerances of touching, but not touching: a chain of three
    # circles a hair over 4.0 apart must not meet at all.
    "circles just over 4.0 apart": ([(9.0 - (4.0 + 1e-7), 9.0), (9.0 - (4.0 + 1e-7), 9.0 - (4.0 + 1e-7))], (9.0, 9.0)),
    "circles just under 4.0 apart": ([(9.0 - (4.0 - 1e-7), 9.0), (9.0 - (4.0 - 1e-7), 9.0 - (4.0 - 1e-7))], (9.0, 9.0)),
    "circles one EPSILON past touching": ([(5.0, 9.0), (5.0, 9.0 - (4.0 + 2e-7))], (9.0 + 2e-7, 9.0)),
    "a circle just inside touching an inset line": ([(9.0, 9.0)], (9.0, 3.0 - 2.5e-8)),
}


@pytest.mark.parametrize("name", COINCIDENCES)
def test_exact_coincidences_undo_bit_for_bit(name):
    stones, move = COINCIDENCES[name]
    game = qm.Game(18.0)
    for p in stones:
        game.try_move(p)
    game.validate()
    before = probe(game)
    delta = game.try_move(move)
    assert delta.captured_stone_ids == []
    game.validate()
    check_groups(game, [move, (6.0, 6.0), (5.0, 1.0), (1.0, 1.0)])
    check_cuts(game)
    after = game.dump_svg()
    assert game.undo_move() == delta
    game.validate()
    assert probe(game) == before
    # The same carves in the same order build the same structure.
    assert qm.Game.replay(18.0, game.deltas() + [delta]).dump_svg() == after


def test_a_snap_between_circles_overlapping_by_the_tolerance_is_playable():
    # The two circles overlap by EPSILON less an ulp or two, so they only
    # touch and the first one's arc runs inside the second; the boundary
    # point nearest the question lies a few ulps past EPSILON deep there.
    game = qm.Game.replay(9.0, [
        qm.GameDelta(qm.Stone(0, qm.Color.BLACK, (8.0, 2.8269298345355014))),
        qm.GameDelta(qm.Stone(1, qm.Color.WHITE, (8.0, 6.826929734535502))),
    ])
    assert Board(game).depth((8.0, 4.826929834535502)) > qm.EPSILON
    snapped = game.nearest_living_move((8.235547942211902, 5.046244140019759))
    assert Board(game).placeable(snapped)
    assert math.dist(snapped, (8.0, 4.826929834535502)) < 1e-8
    assert game.try_move(snapped).new_stone.position == snapped
    game.validate()
