"""The Python face of Game and Group: member signatures and docstrings,
argument errors, the access rule under re-entry, copies, repr and len, and
the engine's errors arriving as the mapped exceptions with their attributes."""

import copy
import inspect
import math
import random
import struct

import pytest

import quelmar as qm
from expect import raises

B, W = qm.Color.BLACK, qm.Color.WHITE


def bits(x):
    return struct.pack("<d", x)


@pytest.fixture
def game():
    """Black at (4, 4) and (4, 7), White at (8, 4), Black to move at turn 3."""
    g = qm.Game(18.0)
    for p in [(4.0, 4.0), (8.0, 4.0), (4.0, 7.0)]:
        g.try_move(p)
    return g


# ---------------------------------------------------------------- the class


SIGNATURES = {
    "replay": "(board_size, deltas)",
    "stones": "()",
    "stone": "(stone_id)",
    "last_placed_stone": "()",
    "deltas": "()",
    "nearest_living_move": "(position)",
    "dead_stones": "(color)",
    "try_move": "(position)",
    "pass_turn": "()",
    "undo_move": "()",
    "__copy__": "()",
    "__deepcopy__": "(_memo=None)",
    "groups": "()",
    "territory": "()",
    "validate": "()",
    "pair_cuttable": "(a, b)",
    "boundary_cuttable": "(stone_id, edge)",
    "dump_svg": "()",
}
PROPERTIES = ["board_size", "turn", "pending_color", "next_stone_id", "captures", "status", "revision", "stone_count"]


def test_member_signatures(game):
    assert str(inspect.signature(qm.Game)) == "(board_size)"
    for name, sig in SIGNATURES.items():
        assert str(inspect.signature(getattr(game, name))) == sig, name
        assert getattr(qm.Game, name).__doc__ or name.startswith("__"), name
    assert isinstance(inspect.getattr_static(qm.Game, "replay"), staticmethod)


def test_docstrings_follow_the_signature_line():
    assert qm.Game.__doc__.startswith("A game of Quelmar: the board, the rules, and the history to undo them.")
    assert qm.Game.stones.__doc__ == "The stones in play, ascending by id."
    # Signature lines and nothing after them.
    assert qm.Game.__copy__.__doc__ is None and qm.Game.__copy__.__text_signature__ == "($self)"
    assert qm.Game.__deepcopy__.__text_signature__ == "($self, _memo=None)"
    for name in PROPERTIES:
        assert getattr(qm.Game, name).__doc__, name


def test_class_rules(game):
    with pytest.raises(TypeError):
        type("Sub", (qm.Game,), {})
    assert not hasattr(game, "__dict__")
    with pytest.raises(AttributeError):
        game.extra = 1
    for name in PROPERTIES:
        with pytest.raises(AttributeError):
            setattr(game, name, 0)
    raises(TypeError, "cannot create 'quelmar.Group' instances", qm.Group)


def test_repr_len_and_counters(game):
    assert repr(qm.Game(18)) == "Game(board_size=18.0, turn=0, stones=0)"
    assert repr(qm.Game(board_size=1e-5)) == "Game(board_size=1e-5, turn=0, stones=0)"
    assert repr(game) == "Game(board_size=18.0, turn=3, stones=3)"
    assert len(game) == game.stone_count == len(game.stones()) == 3
    assert type(game.board_size) is float and game.board_size == 18.0
    game.pass_turn()
    assert game.next_stone_id == game.turn == 4
    assert game.pending_color == B and game.status == qm.GameStatus.NEXT_PASS_ENDS
    assert game.captures == (0, 0) and type(game.captures) is tuple


# ---------------------------------------------------------------- arguments


@pytest.mark.parametrize(
    "call,exc,text",
    [
        (lambda: qm.Game(board_size="18"), TypeError, "argument 'board_size': must be real number, not str"),
        (lambda: qm.Game(), TypeError, "Game.__new__() missing 1 required positional argument: 'board_size'"),
        (lambda: qm.Game(1, 2), TypeError, "Game.__new__() takes 1 positional arguments but 2 were given"),
        (lambda: qm.Game(size=3), TypeError, "Game.__new__() got an unexpected keyword argument 'size'"),
        (lambda: qm.Game.replay(18), TypeError, "Game.replay() missing 1 required positional argument: 'deltas'"),
    ],
)
def test_constructor_and_replay_call_errors(call, exc, text):
    raises(exc, text, call)


@pytest.mark.parametrize(
    "method,args,exc,text",
    [
        ("try_move", ([4.0, 4.0],), TypeError, "argument 'position': 'list' object cannot be cast as 'tuple'"),
        ("try_move", ((4.0,),), TypeError, "argument 'position': expected tuple of length 2, but got tuple of length 1"),
        ("try_move", ((4.0, 4.0, 4.0),), TypeError, "argument 'position': expected tuple of length 2, but got tuple of length 3"),
        ("try_move", (), TypeError, "Game.try_move() missing 1 required positional argument: 'position'"),
        ("try_move", ((1.0, 1.0), 2), TypeError, "Game.try_move() takes 1 positional arguments but 2 were given"),
        ("nearest_living_move", (("a", 1.0),), TypeError, "argument 'position': must be real number, not str"),
        ("stone", (-1,), OverflowError, "out of range integral type conversion attempted"),
        ("stone", (10**20,), OverflowError, "Python int too large to convert to C long"),
        ("stone", (1.0,), TypeError, "argument 'stone_id': 'float' object cannot be interpreted as an integer"),
        ("dead_stones", (0,), TypeError, "argument 'color': 'int' object cannot be cast as 'Color'"),
        ("pair_cuttable", (-1, 0), OverflowError, "out of range integral type conversion attempted"),
        ("pair_cuttable", (0, "1"), TypeError, "argument 'b': 'str' object cannot be interpreted as an integer"),
        ("pair_cuttable", (0,), TypeError, "Game.pair_cuttable() missing 1 required positional argument: 'b'"),
        ("boundary_cuttable", (0, 0), TypeError, "argument 'edge': 'int' object cannot be cast as 'BoardEdge'"),
        ("boundary_cuttable", (0, qm.Color.BLACK), TypeError, "argument 'edge': 'Color' object cannot be cast as 'BoardEdge'"),
        ("__deepcopy__", (None, None), TypeError, "Game.__deepcopy__() takes from 0 to 1 positional arguments but 2 were given"),
    ],
)
def test_member_argument_errors_leave_the_game_alone(game, method, args, exc, text):
    revision = game.revision
    raises(exc, text, getattr(game, method), *args)
    assert game.revision == revision


def test_keyword_arguments(game):
    assert game.stone(stone_id=2) == game.stone(2)
    assert game.pair_cuttable(b=2, a=0) == game.pair_cuttable(0, 2)
    assert game.boundary_cuttable(edge=qm.BoardEdge.LEFT, stone_id=0) == game.boundary_cuttable(0, qm.BoardEdge.LEFT)
    assert game.dead_stones(color=W) == game.dead_stones(W)
    assert game.nearest_living_move(position=(9.0, 9.0)) == (9.0, 9.0)


# ---------------------------------------------------------------- access rule


class Reentrant:
    """A coordinate whose float conversion runs `action` first."""

    def __init__(self, action, value=12.0):
        self.action, self.value = action, value

    def __float__(self):
        self.action()
        return self.value


def test_reading_during_an_exclusive_member_is_refused(game):
    before = (game.revision, game.deltas())
    raises(RuntimeError, "Already mutably borrowed", game.try_move, (Reentrant(lambda: game.turn), 12.0))
    assert (game.revision, game.deltas()) == before
    # The access was given back: the game answers and plays again.
    assert game.try_move((12.0, 12.0)).new_stone.id == 3

    class Index:
        def __index__(self):
            return len(game)

    raises(RuntimeError, "Already mutably borrowed", game.pair_cuttable, Index(), 0)
    raises(RuntimeError, "Already mutably borrowed", game.boundary_cuttable, Index(), qm.BoardEdge.TOP)


def test_changing_during_a_shared_member_is_refused(game):
    raises(RuntimeError, "Already borrowed", game.nearest_living_move, (Reentrant(game.pass_turn), 12.0))
    raises(RuntimeError, "Already borrowed", game.stone, type("I", (), {"__index__": lambda s: game.undo_move()})())
    assert game.turn == 3
    # Two shared holders at once are fine.
    seen = []
    assert game.nearest_living_move((Reentrant(lambda: seen.append(game.turn)), 12.0)) == (12.0, 12.0)
    assert seen == [3]


def test_exclusive_within_exclusive_is_refused(game):
    def nested():
        game.try_move((14.0, 14.0))

    raises(RuntimeError, "Already borrowed", game.try_move, (Reentrant(nested), 12.0))
    assert game.turn == 3


# ---------------------------------------------------------------- copies and answers


@pytest.mark.parametrize("clone", [copy.copy, copy.deepcopy, lambda g: g.__deepcopy__({}), lambda g: g.__deepcopy__(_memo=None)])
def test_copies_are_independent(game, clone):
    other = clone(game)
    assert type(other) is qm.Game and other is not game
    snapshot = (game.revision, game.deltas(), game.stones(), game.captures)
    other.try_move((12.0, 12.0))
    other.pass_turn()
    assert (game.revision, game.deltas(), game.stones(), game.captures) == snapshot
    game.undo_move()
    assert other.turn == 5 and len(other) == 4


def test_answers_are_fresh_copies(game):
    stones = game.stones()
    stones.clear()
    assert len(game.stones()) == 3
    deltas = game.deltas()
    game.undo_move()
    assert len(deltas) == 3 and len(game.deltas()) == 2
    assert game.status is not game.status and game.status == game.status


def test_pass_undo_and_the_end_of_the_game():
    g = qm.Game(18.0)
    revision = g.revision
    assert g.undo_move() is None and g.revision == revision
    assert g.pass_turn() is None
    assert g.status == qm.GameStatus.NEXT_PASS_ENDS
    g.pass_turn()
    assert g.status == qm.GameStatus.ENDED and g.status.has_ended() and g.turn == 2
    for play in (g.pass_turn, lambda: g.try_move((30.0, 30.0)), lambda: g.try_move((9.0, 9.0))):
        err = raises(qm.GameOverError, "the game ended on two passes and takes no further turns", play)
        assert not isinstance(err, qm.DeltaError) and err.args == (str(err),)
    assert g.turn == 2
    undone = g.undo_move()
    assert undone.is_pass and g.status == qm.GameStatus.NEXT_PASS_ENDS and g.turn == 1


def test_last_placed_stone_follows_the_last_committed_turn(game):
    assert game.last_placed_stone() == game.stone(2)
    game.pass_turn()
    assert game.last_placed_stone() is None
    game.undo_move()
    assert game.last_placed_stone() == qm.Stone(2, B, (4.0, 7.0))
    assert qm.Game(9).last_placed_stone() is None


def test_move_answer_is_the_last_logged_delta(game):
    delta = game.try_move((12.0, 12.0))
    assert delta == game.deltas()[-1]
    assert delta == qm.GameDelta(qm.Stone(3, W, (12.0, 12.0)), [])
    assert game.revision == 9 + 3


# ---------------------------------------------------------------- move errors


@pytest.mark.parametrize("position", [(30.0, 30.0), (-1.0, 4.0), (math.nan, 4.0), (4.5, 4.0), (0.5, 9.0)])
def test_not_placeable(game, position):
    revision = game.revision
    with pytest.raises(qm.NotPlaceableError) as info:
        game.try_move(position)
    err = info.value
    assert bits(err.position[0]) == bits(position[0]) and err.position[1] == position[1]
    assert not hasattr(err, "stone")
    assert str(err).startswith("no stone may be placed at (")
    assert game.revision == revision


def test_not_placeable_message_uses_plain_numbers():
    raises(qm.NotPlaceableError, "no stone may be placed at (30, 30.5)", qm.Game(18).try_move, (30.0, 30.5))


def test_self_capture_is_refused_with_position_and_color():
    # Small crowded boards produce a self-capture quickly; search, bounded.
    for seed in range(40):
        rng = random.Random(seed)
        g = qm.Game(7.0)
        for _ in range(80):
            point = g.nearest_living_move((rng.uniform(0, 7), rng.uniform(0, 7)))
            if point is None:
                break
            before = (g.deltas(), g.stones(), g.captures, g.turn, g.status, g.revision)
            color = g.pending_color
            try:
                g.try_move(point)
            except qm.SelfCaptureError as err:
                assert err.position == point and err.color == color and type(err.color) is qm.Color
                name = "Black" if color == B else "White"
                assert str(err).startswith(f"a {name} stone at (") and str(err).endswith(f"only {name}'s own stones")
                after = (g.deltas(), g.stones(), g.captures, g.turn, g.status, g.revision - 2)
                assert after == before
                return
    pytest.fail("no self-capture found")


# ---------------------------------------------------------------- replay

S = lambda i, c, x, y: qm.Stone(i, c, (x, y))  # noqa: E731


@pytest.mark.parametrize(
    "deltas,exc,text,attrs",
    [
        ([qm.GameDelta(captured_stone_ids=[3])], qm.PassCapturesError, "a delta that places no stone cannot capture one", {}),
        ([qm.GameDelta(S(7, B, -1.0, 2.5))], qm.OffBoardError, "stone 7's centre (-1, 2.5) is not on the board", {"stone": 7, "position": (-1.0, 2.5)}),
        ([qm.GameDelta(S(0, B, 4, 4)), qm.GameDelta(S(0, W, 9, 9))], qm.StoneExistsError, "stone 0 is already on the board", {"stone": 0}),
        ([qm.GameDelta(S(0, B, 4, 4), [5])], qm.NoSuchStoneError, "stone 5 is not on the board and cannot be captured", {"stone": 5}),
        ([qm.GameDelta(S(4, B, 4, 4), [4])], qm.NoSuchStoneError, "stone 4 is not on the board and cannot be captured", {"stone": 4}),
        (
            [qm.GameDelta(S(9, W, 9, 9)), qm.GameDelta(S(1, B, 4, 4), [9, 9])],
            qm.CapturedTwiceError,
            "stone 9 is captured twice by the same delta",
            {"stone": 9},
        ),
        ([qm.GameDelta(), qm.GameDelta(), qm.GameDelta()], qm.GameOverError, "the game ended on two passes and takes no further turns", {}),
    ],
)
def test_replay_refusals_raise_the_mapped_exception(deltas, exc, text, attrs):
    err = raises(exc, text, qm.Game.replay, 18.0, deltas)
    for name, value in attrs.items():
        assert getattr(err, name) == value
    assert set(vars(err)) == set(attrs)


def test_replay_converts_the_whole_log_before_applying(game):
    bad = game.deltas() + [qm.GameDelta(captured_stone_ids=[1]), "not a delta"]
    raises(TypeError, "argument 'deltas': 'str' object cannot be cast as 'GameDelta'", qm.Game.replay, 18.0, bad)
    raises(TypeError, "argument 'deltas': Can't extract `str` to `Vec`", qm.Game.replay, 18.0, "abc")
    raises(TypeError, "argument 'deltas': 'generator' object cannot be cast as 'Sequence'", qm.Game.replay, 18.0, (d for d in []))
    raises(TypeError, "argument 'board_size': must be real number, not NoneType", qm.Game.replay, None, bad)


def test_replay_reproduces_the_game(game):
    game.pass_turn()
    for deltas in (game.deltas(), tuple(game.deltas())):
        again = qm.Game.replay(game.board_size, deltas)
        for read in (lambda g: g.stones(), lambda g: g.deltas(), lambda g: g.captures, lambda g: g.turn, lambda g: g.status):
            assert read(again) == read(game)


def test_replay_accepts_logs_no_move_would_make():
    g = qm.Game.replay(18.0, [qm.GameDelta(S(5, B, 4, 4)), qm.GameDelta(S(9, B, 10, 10))])
    assert g.turn == 2 and g.next_stone_id == 2 and [s.id for s in g.stones()] == [5, 9]


# ---------------------------------------------------------------- cut questions


def test_cut_errors_carry_the_ids_asked_about(game):
    err = raises(qm.CutError, "stones 0 and 1 are not the same colour", game.pair_cuttable, 0, 1)
    assert err.stones == [0, 1]
    assert raises(qm.CutError, "stones 1 and 0 are not the same colour", game.pair_cuttable, 1, 0).stones == [1, 0]
    assert raises(qm.CutError, "stone 2 cannot be cut from itself", game.pair_cuttable, 2, 2).stones == [2]
    assert raises(qm.CutError, "no stone 7 is on the board", game.pair_cuttable, 7, 7).stones == [7]
    assert raises(qm.CutError, "no stone 9 is on the board", game.boundary_cuttable, 9, qm.BoardEdge.TOP).stones == [9]


def test_cut_answers_are_cut_kinds(game):
    answer = game.pair_cuttable(0, 2)
    assert type(answer) is qm.CutKind and answer == game.pair_cuttable(2, 0)
    assert game.boundary_cuttable(0, qm.BoardEdge.BOTTOM) == qm.CutKind.TOO_FAR
    g = qm.Game(18.0)
    g.try_move((1.5, 9.0))
    assert g.boundary_cuttable(0, qm.BoardEdge.LEFT) == qm.CutKind.CONNECTED
    g.validate()


# ---------------------------------------------------------------- groups and territory


def test_empty_board_groups_and_territory():
    g = qm.Game(18.0)
    assert g.groups() == []
    black, white = g.territory()
    assert bits(black) == bits(-0.0) and bits(white) == bits(-0.0)


def test_one_stone_owns_the_board():
    g = qm.Game(18.0)
    g.try_move((4.0, 4.0))
    (group,) = g.groups()
    assert group.color == B and group.stone_ids == [0] and group.stones == [qm.Stone(0, B, (4.0, 4.0))]
    assert group.area == 324.0 and group.color_seed == 0 and not group.is_empty()
    assert len(group.rings) == 1 and group.rings[0][0] == group.rings[0][-1]
    assert all(type(p) is tuple and len(p) == 2 for p in group.rings[0])
    assert repr(group) == "Group(color=Color.BLACK, stone_ids=[0], area=324.0)"
    black, white = g.territory()
    assert black == 324.0 and bits(white) == bits(-0.0)
    assert group.contains_point((9.0, 9.0)) and not group.contains_point((19.0, 9.0))
    assert group.contains_point(point=(1, 1))


def test_group_values(game):
    groups = game.groups()
    assert [g.color for g in groups] == sorted((g.color for g in groups), key=int)
    assert sum(g.area for g in groups) == pytest.approx(324.0)
    assert game.territory() == (
        sum((g.area for g in groups if g.color == B), -0.0),
        sum((g.area for g in groups if g.color == W), -0.0),
    )
    first = groups[0]
    assert first == game.groups()[0] and first != groups[-1]
    assert first.__eq__(1) is NotImplemented and first.__lt__(first) is NotImplemented
    assert first.color_seed == first.stone_ids[0]
    raises(TypeError, "argument 'point': 'list' object cannot be cast as 'tuple'", first.contains_point, [1.0, 1.0])
    raises(TypeError, "Group.contains_point() missing 1 required positional argument: 'point'", first.contains_point)
    game.try_move((14.0, 14.0))
    assert first.stone_ids == game.groups()[0].stone_ids  # a copy, not a view
    assert not hasattr(first, "__dict__")
    with pytest.raises(AttributeError):
        first.area = 0.0


def test_validate_and_dump_svg(game):
    assert game.validate() is None
    svg = game.dump_svg()
    assert type(svg) is str and "<svg" in svg and svg.rstrip().endswith("</svg>")
    assert game.dump_svg() == svg
