"""Arguments that fight back: conversions that call into the same game, raise,
answer the wrong type or drop the last reference to the game or to the
sequence being read; sequences whose length lies or whose items change while
they are read; exception classes tampered with; and logs mutated one field at
a time, replayed against a model of what the log implies. Every case ends in
the specified exception or a correct answer, with the game still valid."""

import gc
import math
import struct
import sys
import threading

import pytest

import quelmar as qm
from recorded_games import CORNER_CAPTURE, GROUP_CAPTURE

B, W = qm.Color.BLACK, qm.Color.WHITE
EDGES = [qm.BoardEdge.LEFT, qm.BoardEdge.RIGHT, qm.BoardEdge.TOP, qm.BoardEdge.BOTTOM]


def position_game():
    """Black at (4, 4) and (4, 7), White at (8, 4); Black to move."""
    g = qm.Game(18.0)
    for p in [(4.0, 4.0), (8.0, 4.0), (4.0, 7.0)]:
        g.try_move(p)
    return g


def fingerprint(game):
    return (game.revision, game.turn, game.deltas(), game.stones(), game.dump_svg())


class Coordinate:
    """A number whose float or index conversion runs `action` first."""

    def __init__(self, action, value=12.0):
        self.action, self.value = action, value

    def __float__(self):
        self.action()
        return self.value

    def __index__(self):
        self.action()
        return int(self.value)


# ---------------------------------------------------------------- re-entry

# What a conversion may do to the game it is converting for, and which
# access that needs.
EXCLUSIVE_ACTIONS = {
    "undo_move": lambda g: g.undo_move(),
    "try_move": lambda g: g.try_move((14.0, 14.0)),
    "pass_turn": lambda g: g.pass_turn(),
    "pair_cuttable": lambda g: g.pair_cuttable(0, 2),
    "boundary_cuttable": lambda g: g.boundary_cuttable(0, qm.BoardEdge.LEFT),
}
SHARED_ACTIONS = {
    "turn": lambda g: g.turn,
    "captures": lambda g: g.captures,
    "deltas": lambda g: g.deltas(),
    "stones": lambda g: g.stones(),
    "groups": lambda g: g.groups(),
    "validate": lambda g: g.validate(),
    "dump_svg": lambda g: g.dump_svg(),
    "nearest_living_move": lambda g: g.nearest_living_move((9.0, 9.0)),
    "repr": repr,
    "len": len,
    "copy": lambda g: g.__copy__(),
}

# Each member that converts a number, whether it holds the game exclusively,
# how to call it with the re-entrant number in place, and the number.
MEMBERS = {
    "try_move": (True, lambda g, c: g.try_move((c, 12.0)), 12.0),
    "try_move y": (True, lambda g, c: g.try_move((12.0, c)), 12.0),
    "pair_cuttable a": (True, lambda g, c: g.pair_cuttable(c, 2), 0),
    "pair_cuttable b": (True, lambda g, c: g.pair_cuttable(0, c), 2),
    "boundary_cuttable": (True, lambda g, c: g.boundary_cuttable(c, qm.BoardEdge.LEFT), 0),
    "nearest_living_move": (False, lambda g, c: g.nearest_living_move((c, 12.0)), 12.0),
    "nearest_living_move y": (False, lambda g, c: g.nearest_living_move((3.0, c)), 12.0),
    "stone": (False, lambda g, c: g.stone(c), 1),
}


@pytest.mark.parametrize("member", MEMBERS)
@pytest.mark.parametrize("action", [*EXCLUSIVE_ACTIONS, *SHARED_ACTIONS])
def test_conversion_that_calls_back_into_the_same_game(member, action):
    game = position_game()
    exclusive_member, call, value = MEMBERS[member]
    exclusive_action = action in EXCLUSIVE_ACTIONS
    act = {**EXCLUSIVE_ACTIONS, **SHARED_ACTIONS}[action]
    before = fingerprint(game)
    conflict = exclusive_member or exclusive_action
    if conflict:
        text = "Already borrowed" if exclusive_action else "Already mutably borrowed"
        with pytest.raises(RuntimeError) as info:
            call(game, Coordinate(lambda: act(game), value))
        assert type(info.value) is RuntimeError and str(info.value) == text
        assert fingerprint(game) == before
    else:
        seen = []
        answer = call(game, Coordinate(lambda: seen.append(act(game)), value))
        assert len(seen) == 1
        # Reading during a read changes nothing: the same answer as without.
        assert answer == call(game, value)
    game.validate()
    # The access was given back either way.
    assert game.try_move((12.0, 12.0)).new_stone.id == 3
    game.validate()


def test_conversion_that_plays_on_another_game_is_fine():
    game, other = position_game(), position_game()
    delta = game.try_move((Coordinate(lambda: other.try_move((14.0, 14.0))), 12.0))
    assert delta.new_stone.position == (12.0, 12.0) and other.turn == 4
    assert qm.Game(Coordinate(lambda: other.undo_move(), 9.0)).board_size == 9.0 and other.turn == 3
    game.validate()
    other.validate()


def test_exclusive_access_survives_an_exception_inside_the_conversion():
    game = position_game()

    def nested():
        with pytest.raises(RuntimeError, match="Already borrowed"):
            game.undo_move()
        raise ValueError("after the refusal")

    with pytest.raises(ValueError, match="after the refusal"):
        game.try_move((Coordinate(nested), 12.0))
    assert game.turn == 3 and game.undo_move().new_stone.id == 2
    game.validate()


def test_another_thread_meets_the_access_rule_while_a_conversion_waits():
    game = position_game()
    inside, release = threading.Event(), threading.Event()
    seen = []

    def wait_inside():
        inside.set()
        assert release.wait(10)

    def other_thread():
        assert inside.wait(10)
        for call in (game.undo_move, lambda: game.turn, lambda: game.try_move((14.0, 14.0))):
            try:
                call()
            except RuntimeError as e:
                seen.append(str(e))
        release.set()

    helper = threading.Thread(target=other_thread)
    helper.start()
    delta = game.try_move((Coordinate(wait_inside), 12.0))
    helper.join()
    assert seen == ["Already borrowed", "Already mutably borrowed", "Already borrowed"]
    assert delta.new_stone.id == 3 and game.turn == 4
    game.validate()


def test_collector_callbacks_that_reenter_during_a_member():
    game = position_game()
    before = fingerprint(game)
    outcomes = []

    def callback(phase, info):
        if phase == "start":
            for call in (lambda: game.turn, lambda: game.pair_cuttable(0, 2)):
                try:
                    outcomes.append(call())
                except RuntimeError as e:
                    outcomes.append(str(e))

    gc.callbacks.append(callback)
    old = gc.get_threshold()
    try:
        # Thresholds of one to six allocations shift where in the calls
        # the collections fall.
        for threshold in range(1, 7):
            gc.set_threshold(threshold)
            for _ in range(10):
                groups = game.groups()
                game.stones()
                game.dead_stones(B)
                try:
                    game.try_move((4.0, 4.5))
                except qm.NotPlaceableError:
                    pass
    finally:
        gc.set_threshold(*old)
        gc.callbacks.remove(callback)
    # A collection inside an exclusive member saw the game refused; the
    # ones between members read and asked freely.
    assert "Already mutably borrowed" in outcomes and 3 in outcomes
    assert groups == game.groups() and fingerprint(game)[1:] == before[1:]
    game.validate()


# ---------------------------------------------------------------- wrong answers


class Returns:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value

    def __index__(self):
        return self.value


class OnlyIndex:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Raises:
    def __init__(self, error):
        self.error = error

    def __float__(self):
        raise self.error

    def __index__(self):
        raise self.error


@pytest.mark.parametrize("bad, error, text", [
    (Returns("4"), TypeError, "argument 'position': Returns.__float__ returned non-float (type str)"),
    (Returns(None), TypeError, "argument 'position': Returns.__float__ returned non-float (type NoneType)"),
    (Returns(4), TypeError, "argument 'position': Returns.__float__ returned non-float (type int)"),
    (OnlyIndex(4.0), TypeError, "argument 'position': __index__ returned non-int (type float)"),
    (OnlyIndex(10**400), OverflowError, "int too large to convert to float"),
    (10**400, OverflowError, "int too large to convert to float"),
    (Raises(ValueError("no")), ValueError, "no"),
    (Raises(TypeError("no")), TypeError, "argument 'position': no"),
    (Raises(MemoryError("pretend")), MemoryError, "pretend"),
    (Raises(KeyboardInterrupt()), KeyboardInterrupt, ""),
    (1j, TypeError, "argument 'position': must be real number, not complex"),
])
def test_coordinate_conversion_failures(bad, error, text):
    game = position_game()
    before = fingerprint(game)
    for call in (game.try_move, game.nearest_living_move):
        with pytest.raises(error) as info:
            call((bad, 5.0))
        assert type(info.value) is error and str(info.value) == text
        with pytest.raises(error):
            call((5.0, bad))
    with pytest.raises(error):
        qm.Stone(0, B, (bad, 1.0))
    with pytest.raises(error):
        qm.Game(bad)
    with pytest.raises(error):
        qm.Game.replay(bad, [])
    assert fingerprint(game) == before
    game.validate()


@pytest.mark.parametrize("bad, error", [
    (Returns("4"), TypeError),
    (Returns(4.0), TypeError),
    (Returns(-1), OverflowError),
    (Returns(2**32), OverflowError),
    (Returns(2**80), OverflowError),
    (Raises(ValueError("no")), ValueError),
    (Raises(ArithmeticError("no")), ArithmeticError),
])
def test_id_conversion_failures(bad, error):
    game = position_game()
    before = fingerprint(game)
    calls = [lambda: game.stone(bad), lambda: game.pair_cuttable(bad, 2), lambda: game.pair_cuttable(0, bad),
             lambda: game.boundary_cuttable(bad, qm.BoardEdge.TOP), lambda: qm.Stone(bad, B, (1.0, 1.0)),
             lambda: qm.GameDelta(None, [0, bad])]
    for call in calls:
        with pytest.raises(error) as info:
            call()
        assert type(info.value) is error
        if error is TypeError:
            assert str(info.value).startswith("argument '")
    assert fingerprint(game) == before
    game.validate()


def test_a_float_subclass_answer_is_taken_by_value():
    class Half(float):
        def __float__(self):
            return 99.0

    game = position_game()
    with pytest.warns(DeprecationWarning):
        assert game.nearest_living_move((Returns(Half(12.5)), 12.0)) == (12.5, 12.0)
    # A float subclass passed directly is read by value, not by __float__.
    assert game.nearest_living_move((Half(12.5), 12.0)) == (12.5, 12.0)


# ---------------------------------------------------------------- lost references


def live_games():
    """References to the Game class: one per live game, plus a fixed number.
    (Asserting on a call that names the class directly would count the
    assertion's own temporary too.)"""
    gc.collect()
    return sys.getrefcount(qm.Game)


def test_conversion_that_drops_the_last_reference_to_the_game():
    baseline = live_games()
    holder = [position_game()]

    def forget():
        holder.clear()
        gc.collect()

    # The call itself keeps the game alive until it returns, then it goes.
    delta = holder[0].try_move((Coordinate(forget), 12.0))
    assert delta.new_stone.position == (12.0, 12.0)
    assert live_games() == baseline
    holder.append(position_game())
    bound = holder[0].nearest_living_move
    assert bound((Coordinate(forget), 12.0)) == (12.0, 12.0)
    del bound
    assert live_games() == baseline


class Backed:
    """A sequence read through __getitem__ whose storage its own items can
    take away while it is being read."""

    def __init__(self, items, length=None):
        self.items = items
        self.length = length

    def __len__(self):
        return len(self.items) if self.length is None else self.length

    def __getitem__(self, i):
        if self.items is None or i >= len(self.items):
            raise IndexError(i)
        return self.items[i]


def test_item_that_drops_the_sequence_it_is_read_from():
    seq = Backed(None)
    seq.items = [3, Coordinate(lambda: setattr(seq, "items", None), 5), 7]
    # The item being read survives; the rest of the sequence is gone.
    assert qm.GameDelta(None, seq).captured_stone_ids == [3, 5]
    log = [qm.GameDelta(qm.Stone(0, B, (4.0, 4.0)))]

    class Dropping(Backed):
        def __getitem__(self, i):
            item = super().__getitem__(i)
            if i == 0:
                self.items = None
            return item

    # Replay reads the first delta, then finds the log gone.
    assert qm.Game.replay(18.0, Dropping(log * 3)).deltas() == log


def test_items_that_change_the_list_while_it_is_read():
    ids = [1, 2, 3]
    ids.insert(1, Coordinate(lambda: ids.append(9) if len(ids) < 6 else None, 4))
    assert qm.GameDelta(None, ids).captured_stone_ids == [1, 4, 2, 3, 9]
    shrinking = [1, 2, 3, 4]
    shrinking[1] = Coordinate(lambda: shrinking.clear(), 8)
    assert qm.GameDelta(None, shrinking).captured_stone_ids == [1, 8]
    swapped = [1, 2, 3]
    swapped[0] = Coordinate(lambda: swapped.__setitem__(2, "three"), 1)
    with pytest.raises(TypeError, match="argument 'captured_stone_ids'"):
        qm.GameDelta(None, swapped)
    widened = [1, 2, 3]
    widened[0] = Coordinate(lambda: widened.__setitem__(1, 2**32), 1)
    with pytest.raises(OverflowError):
        qm.GameDelta(None, widened)


@pytest.mark.parametrize("length", [0, 1, 10**18, sys.maxsize, -1, "three", None])
def test_lying_lengths_do_not_matter(length):
    class Lying(Backed):
        def __len__(self):
            if length is None:
                raise ArithmeticError("no length")
            return length

    assert qm.GameDelta(None, Lying([5, 6, 7])).captured_stone_ids == [5, 6, 7]
    log = position_game().deltas()
    assert qm.Game.replay(18.0, Lying(log)).deltas() == log


def test_tuple_subclass_positions_are_read_by_their_contents():
    class Odd(tuple):
        def __len__(self):
            return 7

        def __getitem__(self, i):
            return 0.0

    game = position_game()
    assert game.nearest_living_move(Odd((12.0, 13.0))) == (12.0, 13.0)
    with pytest.raises(TypeError, match="expected tuple of length 2, but got tuple of length 3"):
        game.nearest_living_move(Odd((1.0, 2.0, 3.0)))


def test_replay_that_fails_midway_through_the_sequence_makes_nothing():
    class Failing(Backed):
        def __getitem__(self, i):
            if i == 2:
                raise LookupError("torn log")
            return super().__getitem__(i)

    log = position_game().deltas()
    count = live_games()
    with pytest.raises(LookupError, match="torn log"):
        qm.Game.replay(18.0, Failing(log))
    mixed = log[:2] + [log[2].new_stone]
    with pytest.raises(TypeError, match="argument 'deltas': 'Stone' object cannot be cast as 'GameDelta'"):
        qm.Game.replay(18.0, mixed)
    assert live_games() == count


# ---------------------------------------------------------------- tampered exceptions


def test_exception_class_whose_init_calls_back_into_the_game(monkeypatch):
    game = position_game()
    before = fingerprint(game)

    def init(self, *args):
        Exception.__init__(self, *args)
        game.turn  # the move still holds the game

    monkeypatch.setattr(qm.NotPlaceableError, "__init__", init)
    with pytest.raises(RuntimeError, match="Already mutably borrowed"):
        game.try_move((4.0, 4.5))
    assert fingerprint(game) == before
    game.validate()


def test_exception_attribute_that_cannot_be_set_is_left_off(monkeypatch):
    game = position_game()
    monkeypatch.setattr(qm.SelfCaptureError, "position", property(lambda self: "read-only"), raising=False)
    small = qm.Game(4.0)
    with pytest.raises(qm.SelfCaptureError) as info:
        small.try_move((2.0, 2.0))
    # The failed first attribute is dropped and the second is not set.
    assert info.value.position == "read-only" and not hasattr(info.value, "color")
    assert str(info.value) == "a Black stone at (2, 2) would capture only Black's own stones"
    monkeypatch.setattr(qm.OffBoardError, "__setattr__", lambda self, k, v: (_ for _ in ()).throw(KeyError(k)))
    with pytest.raises(qm.OffBoardError) as info:
        qm.Game.replay(18.0, [qm.GameDelta(qm.Stone(3, W, (19.0, 1.0)))])
    assert not hasattr(info.value, "stone") and not hasattr(info.value, "position")
    small.validate()
    game.validate()


def test_comparisons_never_raise_whatever_the_other_side_does():
    class Hostile:
        def __index__(self):
            raise RuntimeError("index")

        def __eq__(self, other):
            return NotImplemented

    assert (B == Hostile()) is False and (B != Hostile()) is True
    assert (qm.Stone(0, B, (1.0, 1.0)) == Hostile()) is False
    assert (qm.GameDelta() == Hostile()) is False


# ---------------------------------------------------------------- mutated logs


def bits(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def same_point(p, q):
    return [bits(v) for v in p] == [bits(v) for v in q]


class LogModel:
    """What a log implies for the board, or the first check it fails."""

    def __init__(self, size, log):
        self.error = None
        in_play, captured, counts, passes = {}, {}, [0, 0], 0
        for delta in log:
            stone, ids = delta.new_stone, delta.captured_stone_ids
            self.error = self.first_failure(size, in_play, passes, stone, ids)
            if self.error:
                return
            if stone is not None:
                in_play[stone.id] = stone
                passes = 0
                counts[int(stone.color)] += len(ids)
            else:
                passes += 1
            for i in ids:
                captured[i] = in_play.pop(i)
        self.stones = sorted(in_play.values(), key=lambda s: s.id)
        self.reused = sorted(set(in_play) & set(captured))
        self.captures = tuple(counts)
        self.status = [qm.GameStatus.PLAYING, qm.GameStatus.NEXT_PASS_ENDS, qm.GameStatus.ENDED][passes]

    @staticmethod
    def first_failure(size, in_play, passes, stone, ids):
        if passes == 2:
            return (qm.GameOverError, None)
        if stone is None and ids:
            return (qm.PassCapturesError, None)
        if stone is not None:
            x, y = stone.position
            if not (0 <= x <= size and 0 <= y <= size):
                return (qm.OffBoardError, stone.id)
            if stone.id in in_play:
                return (qm.StoneExistsError, stone.id)
        seen = set()
        for i in ids:
            if i not in in_play:
                return (qm.NoSuchStoneError, i)
            if i in seen:
                return (qm.CapturedTwiceError, i)
            seen.add(i)
        return None


def recorded_log(moves):
    g = qm.Game(18.0)
    for p in moves:
        g.try_move(p)
    g.pass_turn()
    return g.deltas()


def field_mutations(log, i):
    """Copies of delta i, each with one field changed."""
    d = log[i]
    s, ids = d.new_stone, d.captured_stone_ids
    others = [x.new_stone for x in log[:i] if x.new_stone is not None]
    out = [qm.GameDelta(s, ids + [ids[0]] if ids else [s.id if s else 0]), qm.GameDelta(s, ids[1:] + [2**32 - 1]),
           qm.GameDelta(s, list(reversed(ids)) + [others[0].id] if others else [])]
    if s is None:
        return out + [qm.GameDelta(qm.Stone(len(log), B, (9.0, 9.0))), qm.GameDelta(None, [0])]
    x, y = s.position
    out += [qm.GameDelta(None, ids), qm.GameDelta(None, [])]
    out += [qm.GameDelta(qm.Stone(n, s.color, s.position), ids) for n in (s.id + 1, 2**32 - 1, *[o.id for o in others[-2:]])]
    out.append(qm.GameDelta(qm.Stone(s.id, s.color.opposite(), s.position), ids))
    near = [o.position for o in others[-2:]]
    places = [(math.nextafter(x, 0.0), y), (x, math.nextafter(y, 99.0)), (-0.0, y), (18.0, y), (math.nextafter(18.0, 99), y),
              (x, math.nan), (x, -math.inf), *near, *[(px + 2.0, py) for px, py in near],
              *[(px, py - 4.0) for px, py in near]]
    out += [qm.GameDelta(qm.Stone(s.id, s.color, p), ids) for p in places]
    return out


LOGS = {"corner capture": recorded_log(CORNER_CAPTURE), "group capture": recorded_log(GROUP_CAPTURE)}


@pytest.mark.parametrize("name", LOGS)
def test_logs_mutated_one_field_at_a_time(name):
    log = LOGS[name]
    checked = {"refused": 0, "replayed": 0}
    # The deltas that capture, and a spread of the others.
    chosen = sorted({i for i, d in enumerate(log) if d.captured_stone_ids} | set(range(0, len(log), 4)))
    for i in chosen:
        for mutated in field_mutations(log, i):
            mutated_log = log[:i] + [mutated] + log[i + 1:]
            model = LogModel(18.0, mutated_log)
            try:
                game = qm.Game.replay(18.0, mutated_log)
            except (qm.DeltaError, qm.GameOverError) as e:
                assert model.error is not None, (i, mutated)
                kind, stone = model.error
                assert type(e) is kind, (i, mutated, e)
                if stone is not None:
                    assert e.stone == stone
                if kind is qm.OffBoardError:
                    assert same_point(e.position, mutated.new_stone.position)
                checked["refused"] += 1
                continue
            assert model.error is None, (i, mutated, model.error)
            assert game.stones() == model.stones and game.captures == model.captures
            assert game.turn == len(mutated_log) and game.status == model.status
            assert game.deltas() == mutated_log
            if model.reused:
                with pytest.raises(qm.BoardError, match=f"stone {model.reused[0]} is both in play and captured"):
                    game.validate()
            else:
                game.validate()
            again = qm.Game.replay(18.0, game.deltas())
            assert again.stones() == game.stones() and again.dump_svg() == game.dump_svg()
            checked["replayed"] += 1
    assert checked["refused"] > 20 and checked["replayed"] > 20, checked


def test_a_mutated_log_undoes_all_the_way():
    log = LOGS["group capture"]
    i = next(k for k, d in enumerate(log) if d.captured_stone_ids)
    for mutated in field_mutations(log, i):
        try:
            game = qm.Game.replay(18.0, log[:i] + [mutated] + log[i + 1:])
        except (qm.DeltaError, qm.GameOverError):
            continue
        while game.undo_move() is not None:
            if not LogModel(18.0, game.deltas()).reused:
                game.validate()
        assert game.turn == 0 and game.stones() == [] and game.captures == (0, 0)
        game.validate()
