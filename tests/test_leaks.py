"""Nothing leaks and nothing is over-released: for every public member, on
its success and its error paths, the reference counts of the arguments come
back to where they were, repeating the call 10,000 times grows neither the
Python heap (tracemalloc) nor the native one, and the heap types are held
exactly once per live instance."""

import copy
import ctypes
import functools
import gc
import sys
import tracemalloc

import pytest

import quelmar as qm

B, W = qm.Color.BLACK, qm.Color.WHITE
EDGES = [qm.BoardEdge.LEFT, qm.BoardEdge.RIGHT, qm.BoardEdge.TOP, qm.BoardEdge.BOTTOM]
REPS = 10_000
WARM_UP = 100


def stone_delta(i, position, captures=()):
    return qm.GameDelta(qm.Stone(i, B if i % 2 == 0 else W, position), list(captures))


def busy_game():
    """Board 9: stones 0 and 2 Black, 3 White, 1 (White) captured by 2,
    leaving a forced eye at (1, 1); Black to move at turn 4."""
    log = [stone_delta(0, (4.5, 4.5)), stone_delta(1, (1.0, 1.0)), stone_delta(2, (7.5, 7.5), [1]),
           stone_delta(3, (7.5, 1.5))]
    return qm.Game.replay(9.0, log)


def ended_game():
    g = qm.Game(9.0)
    g.pass_turn()
    g.pass_turn()
    return g


def self_capture_game():
    # On a board of 4 a stone at the centre leaves no playable space at all.
    g = qm.Game(4.0)
    with pytest.raises(qm.SelfCaptureError):
        g.try_move((2.0, 2.0))
    return g


def id_clash_game():
    # A replayed stone took id 1, which the next move would give its stone.
    return qm.Game.replay(9.0, [qm.GameDelta(qm.Stone(1, W, (7.0, 7.0)))])


def broken_game():
    # Stone 0 replayed after its capture: in play and captured at once.
    log = [stone_delta(0, (2.0, 2.0)), stone_delta(1, (7.0, 7.0), [0]), stone_delta(0, (2.0, 6.5))]
    return qm.Game.replay(9.0, log)


class Case:
    """One call, made as `func(*args, **kwargs)`; `raises` is the exception
    type the call must raise, or None when it must succeed."""

    def __init__(self, name, func, *args, raises=None, **kwargs):
        self.name, self.func, self.args, self.kwargs, self.raises = name, func, args, kwargs, raises

    def run(self, times):
        """Makes the call `times` times; the first must behave as described."""
        call = functools.partial(self.func, *self.args, **self.kwargs)
        if self.raises is None:
            call()
            for _ in range(times - 1):
                call()
            return
        with pytest.raises(self.raises):
            call()
        for _ in range(times - 1):
            try:
                call()
            except self.raises:
                pass

    def watched(self):
        """The arguments and everything inside them whose count must not move."""
        out = []

        def walk(obj):
            # The interpreter's shared small ints and singletons are counted
            # by everyone; their counts say nothing about this call.
            if not (obj is None or isinstance(obj, int) and -5 <= obj <= 256):
                out.append(obj)
            if isinstance(obj, (tuple, list)):
                for item in obj:
                    walk(item)

        for a in self.args:
            walk(a)
        for v in self.kwargs.values():
            walk(v)
        return out


def move_and_undo(game, position):
    game.try_move(position)
    game.undo_move()


def pass_and_undo(game):
    game.pass_turn()
    game.undo_move()


def make_cases():
    g = busy_game()
    empty = qm.Game(9.0)
    ended = ended_game()
    self_capture = self_capture_game()
    clash = id_clash_game()
    broken = broken_game()
    group = g.groups()[0]
    stone = qm.Stone(5, W, (2.5, 3.5))
    delta = qm.GameDelta(stone, [1, 2])
    log = g.deltas()
    Game = qm.Game
    return [
        # Construction and replay.
        Case("Game", Game, 9.0),
        Case("Game keyword", Game, board_size=9),
        Case("Game bad size", Game, "9", raises=TypeError),
        Case("Game no size", Game, raises=TypeError),
        Case("Game two sizes", Game, 9.0, 9.0, raises=TypeError),
        Case("Game unknown keyword", Game, size=9.0, raises=TypeError),
        Case("Game.__new__", Game.__new__, Game, 9.0),
        Case("replay", Game.replay, 9.0, log),
        Case("replay tuple", Game.replay, 9.0, tuple(log)),
        Case("replay bad element", Game.replay, 9.0, [log[0], 7], raises=TypeError),
        Case("replay str", Game.replay, 9.0, "log", raises=TypeError),
        Case("replay bad size", Game.replay, None, log, raises=TypeError),
        Case("replay stone exists", Game.replay, 9.0, [log[0], log[0]], raises=qm.StoneExistsError),
        Case("replay no such stone", Game.replay, 9.0, [stone_delta(0, (4.0, 4.0), [3])], raises=qm.NoSuchStoneError),
        Case("replay captured twice", Game.replay, 9.0, [log[0], stone_delta(1, (8.0, 8.0), [0, 0])],
             raises=qm.CapturedTwiceError),
        Case("replay pass captures", Game.replay, 9.0, [log[0], qm.GameDelta(None, [0])], raises=qm.PassCapturesError),
        Case("replay off board", Game.replay, 9.0, [stone_delta(0, (9.5, 1.0))], raises=qm.OffBoardError),
        Case("replay game over", Game.replay, 9.0, [qm.GameDelta()] * 3, raises=qm.GameOverError),
        # Properties and slots.
        *[Case(name, getattr, g, name) for name in
          ["board_size", "turn", "pending_color", "next_stone_id", "captures", "status", "revision", "stone_count"]],
        Case("set property", setattr, g, "turn", 3, raises=AttributeError),
        Case("len", len, g),
        Case("repr", repr, g),
        Case("copy", copy.copy, g),
        Case("deepcopy", copy.deepcopy, g),
        Case("__deepcopy__ memo", g.__deepcopy__, {}),
        # Queries.
        Case("stones", g.stones),
        Case("stone", g.stone, 0),
        Case("stone captured", g.stone, 1),
        Case("stone negative", g.stone, -1, raises=OverflowError),
        Case("stone huge", g.stone, 10**30, raises=OverflowError),
        Case("stone float", g.stone, 1.0, raises=TypeError),
        Case("last_placed_stone", g.last_placed_stone),
        Case("last_placed_stone none", empty.last_placed_stone),
        Case("deltas", g.deltas),
        Case("nearest_living_move", g.nearest_living_move, (4.6, 4.4)),
        Case("nearest_living_move none", g.nearest_living_move, (float("nan"), 1.0)),
        Case("nearest_living_move list", g.nearest_living_move, [1.0, 1.0], raises=TypeError),
        Case("nearest_living_move short", g.nearest_living_move, (1.0,), raises=TypeError),
        Case("nearest_living_move item", g.nearest_living_move, (1.0, "1"), raises=TypeError),
        Case("dead_stones", g.dead_stones, W),
        Case("dead_stones int", g.dead_stones, 0, raises=TypeError),
        Case("groups", g.groups),
        Case("territory", g.territory),
        Case("validate", g.validate),
        Case("validate broken", broken.validate, raises=qm.BoardError),
        Case("dump_svg", g.dump_svg),
        Case("pair_cuttable", g.pair_cuttable, 0, 2),
        Case("pair_cuttable keywords", g.pair_cuttable, a=2, b=0),
        Case("pair_cuttable same", g.pair_cuttable, 0, 0, raises=qm.CutError),
        Case("pair_cuttable colours", g.pair_cuttable, 0, 3, raises=qm.CutError),
        Case("pair_cuttable missing", g.pair_cuttable, 0, 1, raises=qm.CutError),
        Case("pair_cuttable overflow", g.pair_cuttable, 0, 2**32, raises=OverflowError),
        *[Case(f"boundary_cuttable {e.label}", g.boundary_cuttable, 3, e) for e in EDGES],
        Case("boundary_cuttable missing", g.boundary_cuttable, 9, qm.BoardEdge.TOP, raises=qm.CutError),
        Case("boundary_cuttable bad edge", g.boundary_cuttable, 3, 1, raises=TypeError),
        # Changes, each undone again.
        Case("try_move and undo", move_and_undo, g, (2.5, 7.0)),
        Case("pass and undo", pass_and_undo, g),
        Case("undo empty", empty.undo_move),
        Case("try_move not placeable", g.try_move, (4.5, 5.0), raises=qm.NotPlaceableError),
        Case("try_move off board", g.try_move, (-3.0, 5.0), raises=qm.NotPlaceableError),
        Case("try_move self capture", self_capture.try_move, (2.0, 2.0), raises=qm.SelfCaptureError),
        Case("try_move game over", ended.try_move, (4.0, 4.0), raises=qm.GameOverError),
        Case("try_move stone exists", clash.try_move, (2.0, 2.0), raises=qm.StoneExistsError),
        Case("try_move bad position", g.try_move, (2.0, None), raises=TypeError),
        Case("pass game over", ended.pass_turn, raises=qm.GameOverError),
        # The value classes.
        Case("Stone", qm.Stone, 5, W, (2.5, 3.5)),
        Case("Stone keywords", qm.Stone, position=(2.5, 3.5), color=B, id=7),
        Case("Stone bad colour", qm.Stone, 5, 1, (2.5, 3.5), raises=TypeError),
        Case("Stone bad id", qm.Stone, -5, W, (2.5, 3.5), raises=OverflowError),
        Case("Stone bad position", qm.Stone, 5, W, [2.5, 3.5], raises=TypeError),
        Case("Stone.__new__", qm.Stone.__new__, qm.Stone, 5, W, (2.5, 3.5)),
        *[Case(f"Stone.{name}", getattr, stone, name) for name in ["id", "color", "position"]],
        Case("Stone repr", repr, stone),
        Case("Stone hash", hash, stone),
        Case("Stone eq", stone.__eq__, qm.Stone(5, W, (2.5, 3.5))),
        Case("Stone eq other", stone.__eq__, 5),
        Case("GameDelta", qm.GameDelta, stone, [1, 2]),
        Case("GameDelta pass", qm.GameDelta),
        Case("GameDelta tuple ids", qm.GameDelta, captured_stone_ids=(4, 5)),
        Case("GameDelta bad stone", qm.GameDelta, 5, raises=TypeError),
        Case("GameDelta bad ids", qm.GameDelta, stone, [1, "2"], raises=TypeError),
        Case("GameDelta str ids", qm.GameDelta, stone, "12", raises=TypeError),
        Case("GameDelta id overflow", qm.GameDelta, stone, [1, 2**32], raises=OverflowError),
        *[Case(f"GameDelta.{name}", getattr, delta, name) for name in ["new_stone", "captured_stone_ids", "is_pass"]],
        Case("GameDelta repr", repr, delta),
        Case("GameDelta hash", hash, delta),
        Case("GameDelta eq", delta.__eq__, qm.GameDelta(stone, [1, 2])),
        *[Case(f"Group.{name}", getattr, group, name) for name in
          ["color", "stones", "stone_ids", "rings", "area", "color_seed"]],
        Case("Group.contains_point", group.contains_point, (4.5, 4.5)),
        Case("Group.contains_point bad", group.contains_point, (4.5,), raises=TypeError),
        Case("Group.is_empty", group.is_empty),
        Case("Group repr", repr, group),
        Case("Group eq", group.__eq__, group),
        Case("Group()", qm.Group, raises=TypeError),
        Case("Color.label", getattr, W, "label"),
        Case("Color.opposite", W.opposite),
        Case("Color int", int, W),
        Case("Color repr", repr, W),
        Case("Color hash", hash, W),
        Case("Color eq int", W.__eq__, 1),
        Case("Color eq huge", W.__eq__, 2**70),
        Case("Color()", qm.Color, raises=TypeError),
        Case("BoardEdge.label", getattr, qm.BoardEdge.TOP, "label"),
        Case("CutKind.label", getattr, qm.CutKind.TOO_FAR, "label"),
        Case("GameStatus.has_ended", qm.GameStatus.ENDED.has_ended),
        Case("version", qm.version),
    ]


CASES = make_cases()
IDS = [c.name for c in CASES]


@pytest.mark.parametrize("case", CASES, ids=IDS)
def test_argument_reference_counts_come_back(case):
    watched = case.watched()
    case.run(1)
    # No collection inside the measurement: none of these calls makes a
    # reference cycle, so a count that moved stays moved. Nor may the
    # collector run by itself there, freeing cycles that earlier tests left
    # holding the same arguments: the count would drop by their share.
    gc.collect()
    gc.disable()
    try:
        before = [sys.getrefcount(o) for o in watched]
        case.run(100)
        after = [sys.getrefcount(o) for o in watched]
    finally:
        gc.enable()
    assert after == before, [(repr(o), b, a) for o, b, a in zip(watched, before, after) if a != b]


def native_heap_gauge():
    """Bytes of native heap in use, C++ allocations included: the sanitizer
    allocator's own count when it is loaded, glibc's otherwise; None when
    neither can be asked."""
    process = ctypes.CDLL(None)
    try:
        asan = process.__sanitizer_get_current_allocated_bytes
    except AttributeError:
        pass
    else:
        asan.restype = ctypes.c_size_t
        return asan

    class MallInfo2(ctypes.Structure):
        _fields_ = [(name, ctypes.c_size_t) for name in
                    ["arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks",
                     "keepcost"]]

    try:
        mallinfo2 = process.mallinfo2
    except AttributeError:
        return None
    mallinfo2.restype = MallInfo2
    return lambda: mallinfo2().uordblks + mallinfo2().hblkhd


NATIVE = native_heap_gauge()
# One leaked object of the smallest kind per call would show as 16 bytes a
# call; these bounds leave room only for the interpreter's own caches.
PYTHON_SLACK = 8 * 1024
NATIVE_SLACK = 64 * 1024


@pytest.mark.parametrize("case", CASES, ids=IDS)
def test_ten_thousand_calls_grow_no_heap(case):
    case.run(WARM_UP)
    # No collection here either: whatever the calls leave behind stays
    # counted.
    tracemalloc.start()
    try:
        python_before = tracemalloc.get_traced_memory()[0]
        native_before = NATIVE() if NATIVE else 0
        case.run(REPS)
        native_growth = (NATIVE() if NATIVE else 0) - native_before
        python_growth = tracemalloc.get_traced_memory()[0] - python_before
    finally:
        tracemalloc.stop()
    assert python_growth < PYTHON_SLACK, f"{case.name}: the Python heap grew by {python_growth} bytes"
    assert native_growth < NATIVE_SLACK, f"{case.name}: the native heap grew by {native_growth} bytes"


def type_counts():
    types = [qm.Game, qm.Stone, qm.GameDelta, qm.Group, qm.Color, qm.BoardEdge, qm.CutKind, qm.GameStatus]
    errors = [getattr(qm, name) for name in qm.__all__ if name.endswith("Error")]
    return {t.__name__: sys.getrefcount(t) for t in types + errors}


def test_heap_types_are_held_once_per_live_instance():
    def churn():
        g = busy_game()
        values = [g.stones(), g.deltas(), g.groups(), g.status, g.pending_color, g.pair_cuttable(0, 2),
                  [s.color for s in g.stones()], copy.deepcopy(g), qm.GameStatus.PLAYING.has_ended()]
        for call, error in [(lambda: g.try_move((4.5, 5.0)), qm.NotPlaceableError),
                            (lambda: g.pair_cuttable(0, 3), qm.CutError),
                            (lambda: qm.Game.replay(9.0, [qm.GameDelta()] * 3), qm.GameOverError),
                            (lambda: broken_game().validate(), qm.BoardError),
                            (lambda: self_capture_game().try_move((2.0, 2.0)), qm.SelfCaptureError)]:
            with pytest.raises(error) as info:
                call()
            values.append(info.value)
        return values

    churn()
    gc.collect()
    before = type_counts()
    for _ in range(300):
        churn()
    gc.collect()
    assert type_counts() == before
    # While instances live, each holds its type once more; freeing them
    # gives every reference back.
    kept = [qm.Stone(i, B, (1.0, 1.0)) for i in range(1000)]
    assert type_counts()["Stone"] == before["Stone"] + 1000
    colours = [s.color for s in kept]
    assert type_counts()["Color"] == before["Color"] + 1000
    del kept, colours
    assert type_counts() == before


def test_exception_attributes_hold_their_values_alone():
    g = busy_game()
    position = (4.5, 5.0)
    count = sys.getrefcount(position)
    with pytest.raises(qm.NotPlaceableError) as info:
        g.try_move(position)
    # The attribute is a new tuple, not the argument.
    assert info.value.position == position and info.value.position is not position
    assert sys.getrefcount(position) == count
    # Held by the exception's attribute dict alone; the message by its args.
    assert gc.get_referrers(info.value.position) == [vars(info.value)]
    message = info.value.args[0]
    assert gc.get_referrers(message) == [info.value.args]
