"""Random play checked after every step: validation, counters, undo against
snapshots, replay against the live game, territory, independent copies."""

import copy
import math
import xml.etree.ElementTree as ElementTree

import hypothesis.strategies as st
from hypothesis import HealthCheck, settings
from hypothesis.stateful import RuleBasedStateMachine, initialize, invariant, precondition, rule

import quelmar as qm
from quelmar_kit import records

# Fixed probe positions (as fractions of the board) whose nearest placeable
# points an undo must give back.
PROBES = [(0.5, 0.5), (0.1, 0.9), (0.73, 0.21), (-0.1, 0.4), (1.05, 1.05)]

fraction = st.floats(min_value=-0.05, max_value=1.05, allow_nan=False)


def group_key(g):
    return (int(g.color), g.stone_ids, g.rings)


def snapshot(game):
    size = game.board_size
    return {
        "stones": game.stones(),
        "deltas": game.deltas(),
        "captures": game.captures,
        "status": game.status,
        "groups": [group_key(g) for g in game.groups()],
        "nearest": [game.nearest_living_move((fx * size, fy * size)) for fx, fy in PROBES],
    }


def close_points(a, b):
    if a is None or b is None:
        return a is None and b is None
    return math.isclose(a[0], b[0], abs_tol=1e-9) and math.isclose(a[1], b[1], abs_tol=1e-9)


class GamePlay(RuleBasedStateMachine):
    @initialize(size=st.sampled_from([9.0, 12.5, 18.0, 25.0]))
    def new_game(self, size):
        self.game = qm.Game(size)
        # One entry per committed turn: the snapshot before it, and whether
        # the turn captured (re-carved circles may then differ in last bits).
        self.undo_stack = []

    def _commit(self, before, delta):
        self.undo_stack.append((before, bool(delta.captured_stone_ids)))

    @rule(fx=fraction, fy=fraction)
    def snapped_move(self, fx, fy):
        game, size = self.game, self.game.board_size
        point = game.nearest_living_move((fx * size, fy * size))
        if point is None or game.status.has_ended():
            return
        before = snapshot(game)
        try:
            delta = game.try_move(point)
        except qm.SelfCaptureError as e:
            assert e.position == point and e.color == game.pending_color
            assert snapshot(game) == before
            return
        assert delta == game.deltas()[-1]
        assert delta.new_stone.position == point
        self._commit(before, delta)

    @rule(fx=fraction, fy=fraction)
    def raw_move(self, fx, fy):
        game, size = self.game, self.game.board_size
        position = (fx * size, fy * size)
        before = snapshot(game)
        revision = game.revision
        try:
            delta = game.try_move(position)
        except (qm.NotPlaceableError, qm.GameOverError):
            assert game.revision == revision
            assert snapshot(game) == before
            return
        except qm.SelfCaptureError:
            assert game.revision == revision + 2
            assert snapshot(game) == before
            return
        assert game.revision == revision + 3
        self._commit(before, delta)

    @rule()
    def pass_turn(self):
        before = snapshot(self.game)
        if self.game.status.has_ended():
            try:
                self.game.pass_turn()
            except qm.GameOverError:
                return
            raise AssertionError("a pass after the end was accepted")
        assert self.game.pass_turn() is None
        self.undo_stack.append((before, False))

    @precondition(lambda self: self.undo_stack)
    @rule()
    def undo(self):
        before, captured = self.undo_stack.pop()
        delta = self.game.undo_move()
        assert delta is not None
        after = snapshot(self.game)
        for key in ("stones", "deltas", "captures", "status", "groups"):
            assert after[key] == before[key], key
        if captured:
            assert all(close_points(a, b) for a, b in zip(after["nearest"], before["nearest"]))
        else:
            assert after["nearest"] == before["nearest"]

    @rule()
    def replay_equals_game(self):
        game = self.game
        again = qm.Game.replay(game.board_size, game.deltas())
        assert again.stones() == game.stones()
        assert again.captures == game.captures
        assert again.turn == game.turn
        assert again.status == game.status
        assert again.deltas() == game.deltas()
        assert [group_key(g) for g in again.groups()] == [group_key(g) for g in game.groups()]
        again.validate()

    @rule(fx=fraction, fy=fraction)
    def copy_is_independent(self, fx, fy):
        game = self.game
        twin = copy.deepcopy(game) if fx < 0.5 else copy.copy(game)
        revision, deltas, stones = game.revision, game.deltas(), game.stones()
        point = twin.nearest_living_move((fx * game.board_size, fy * game.board_size))
        if point is not None and not twin.status.has_ended():
            try:
                twin.try_move(point)
            except qm.SelfCaptureError:
                pass
        twin.pass_turn() if not twin.status.has_ended() else twin.undo_move()
        assert game.revision == revision
        assert game.deltas() == deltas
        assert game.stones() == stones
        twin.validate()

    @rule()
    def queries_answer(self):
        game = self.game
        for color in (qm.Color.BLACK, qm.Color.WHITE):
            for s in game.dead_stones(color):
                assert s.color == color
        last = game.last_placed_stone()
        deltas = game.deltas()
        if deltas and not deltas[-1].is_pass:
            assert last == deltas[-1].new_stone
        else:
            assert last is None

    @rule()
    def drawing_parses_as_xml(self):
        root = ElementTree.fromstring(self.game.dump_svg())
        assert root.tag == "{http://www.w3.org/2000/svg}svg"

    @invariant()
    def board_is_consistent(self):
        game = self.game
        game.validate()
        assert len(game) == game.stone_count == len(game.stones())
        assert game.next_stone_id == game.turn
        black, white = game.territory()
        if game.stone_count:
            assert math.isclose(black + white, game.board_size ** 2, rel_tol=1e-9)
        else:
            assert (black, white) == (-0.0, -0.0)

    def teardown(self):
        # The game each run leaves reads back from its record exactly: the
        # same text again (repr tells every float's bits apart), the same
        # stones and the same groups.
        game = self.game
        record = records.record_of(game)
        line = records.encode(record)
        loaded = records.decode(line)
        assert records.encode(loaded) == line
        assert loaded == record
        assert loaded.game.stones() == game.stones()
        assert [group_key(g) for g in loaded.game.groups()] == [group_key(g) for g in game.groups()]


GamePlay.TestCase.settings = settings(
    max_examples=150, stateful_step_count=50, deadline=None,
    suppress_health_check=[HealthCheck.too_slow])
TestGamePlay = GamePlay.TestCase
