"""One random game at a time, each operation checked: moves (snapped, raw,
on the lattice and at the tolerance rims of stones), passes, undos, replays
of the log, cut questions and queries. After every operation the game
validates; an undo gives back the log and, until a capture is re-carved,
the drawing of the position before; a replay equals the game. Shared by
the sanitized soak test and bench/soak.py, which count what was reached in
a `collections.Counter`."""

import math

import quelmar as qm
from board_model import Board, forced_eyes, same_point

EDGES = [qm.BoardEdge.LEFT, qm.BoardEdge.RIGHT, qm.BoardEdge.TOP, qm.BoardEdge.BOTTOM]

# Distances from a stone at which the crossing tests change their minds:
# touching, and touching give or take the tolerance.
RIMS = [2.0, 4.0, 4.0 + qm.EPSILON, 4.0 - qm.EPSILON, 4.0 + 1.5 * qm.EPSILON, 2.0 + qm.EPSILON]


def lattice_point(rng, size):
    # Whole and half units make exact tangencies and shared crossings common.
    return (rng.randrange(0, int(2 * size) + 1) / 2.0, rng.randrange(0, int(2 * size) + 1) / 2.0)


class Soak:
    def __init__(self, rng, size, tally):
        self.rng, self.size, self.tally = rng, size, tally
        self.game = qm.Game(size)
        # For checking undo, before each committed turn: ((drawing or None,
        # log), whether the turn captured).
        self.before = []
        # Whether an undone capture re-carved circles on this board.
        self.recarved = False

    def forget_drawings(self):
        self.before = [((None, log), captured) for (svg, log), captured in self.before]

    def move(self, position):
        game, tally = self.game, self.tally
        snapshot = (game.dump_svg(), game.deltas())
        ended = game.status.has_ended()
        board = Board(game)
        placeable = board.placeable(position)
        try:
            delta = game.try_move(position)
        except (qm.NotPlaceableError, qm.SelfCaptureError, qm.GameOverError) as e:
            assert game.deltas() == snapshot[1]
            # Refused as not placeable exactly when the depth says so.
            assert isinstance(e, qm.GameOverError) == ended
            assert ended or isinstance(e, qm.NotPlaceableError) != placeable
            tally[type(e).__name__] += 1
            return
        assert placeable
        captured = len(delta.captured_stone_ids)
        tally["moves"] += 1
        tally["captures"] += captured
        tally["multi-stone captures"] += captured >= 2
        # Each captured stone leaves an eye; the stone played clears the
        # eyes it lands on or near.
        eyes_after = len(forced_eyes(game))
        tally["forced eyes made"] += captured
        tally["forced eyes cleared"] += len(board.eyes) + captured - eyes_after
        self.before.append((snapshot, bool(captured)))

    def near_tolerance(self, rng):
        """A point at one of the RIMS from a stone, along an axis or a
        diagonal, where the arithmetic is exact or nearly so."""
        stones = self.game.stones()
        if not stones:
            return lattice_point(rng, self.size)
        x, y = rng.choice(stones).position
        d = rng.choice(RIMS)
        dx, dy = rng.choice([(1, 0), (0, 1), (-1, 0), (0, -1), (0.6, 0.8), (-0.8, 0.6)])
        return (x + d * dx, y + d * dy)

    def step(self):
        r = self.rng.random()
        if r < 0.30:
            self.snapped_move()
        elif r < 0.42:
            self.move((self.rng.uniform(0, self.size), self.rng.uniform(0, self.size)))
        elif r < 0.48:
            self.move(lattice_point(self.rng, self.size))
        elif r < 0.54:
            self.move(self.near_tolerance(self.rng))
        elif r < 0.60:
            self.pass_turn()
        elif r < 0.72:
            self.undo()
        elif r < 0.78:
            self.replay()
        elif r < 0.90:
            self.cut_question()
        else:
            self.queries()
        self.game.validate()

    def snapped_move(self):
        game, size = self.game, self.size
        asked = (self.rng.uniform(-1, size + 1), self.rng.uniform(-1, size + 1))
        p = game.nearest_living_move(asked)
        if p is not None:
            board = Board(game)
            # The point itself when it is playable, else within rounding of
            # the boundary.
            assert same_point(p, asked) if board.depth(asked) <= 0 else board.placeable(p)
            self.move(p)

    def pass_turn(self):
        game = self.game
        try:
            snapshot = (game.dump_svg(), game.deltas())
            game.pass_turn()
            self.before.append((snapshot, False))
            self.tally["passes"] += 1
        except qm.GameOverError:
            assert game.status.has_ended()

    def undo(self):
        game = self.game
        if game.undo_move() is None:
            assert not self.before
            return
        self.tally["undos"] += 1
        (svg, log), captured = self.before.pop()
        assert game.deltas() == log
        # Without a capture to re-carve, the structure comes back whole.
        if not captured and svg is not None:
            assert game.dump_svg() == svg
        # Re-carved circles trace from other starts, and so does every
        # earlier position reached by undoing through them.
        if captured:
            self.forget_drawings()
            self.recarved = True

    def replay(self):
        game = self.game
        replayed = qm.Game.replay(self.size, game.deltas())
        assert replayed.stones() == game.stones() and replayed.captures == game.captures
        assert replayed.status == game.status and replayed.turn == game.turn
        # Until a capture is undone the two boards were carved alike.
        if not self.recarved:
            assert replayed.dump_svg() == game.dump_svg()
        self.game = replayed
        self.tally["replays"] += 1
        # The replayed board carved its circles afresh, in log order.
        self.forget_drawings()
        self.recarved = False

    def cut_question(self):
        game, rng = self.game, self.rng
        stones = game.stones()
        if not stones:
            return
        a = rng.choice(stones)
        drawn = game.dump_svg()
        if rng.random() < 0.5:
            verdict = game.boundary_cuttable(a.id, rng.choice(EDGES))
        else:
            friends = [s for s in stones if s.color == a.color and s.id != a.id]
            if not friends:
                return
            verdict = game.pair_cuttable(a.id, rng.choice(friends).id)
        self.tally["cut questions"] += 1
        self.tally[f"cut {verdict.label}"] += 1
        # The probe circles are taken out again without a trace.
        assert game.dump_svg() == drawn

    def queries(self):
        game = self.game
        black, white = game.territory()
        if game.stone_count:
            assert math.isclose(black + white, self.size * self.size, rel_tol=1e-9)
        game.dead_stones(self.rng.choice([qm.Color.BLACK, qm.Color.WHITE]))
        game.groups()
