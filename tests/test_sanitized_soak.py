"""Many short random games, each operation followed by `validate()`: moves
(snapped, raw and on the lattice), passes, undos, replays of the log, cut
questions and queries, on four board sizes. Run under the sanitizers (see
scripts/sanitized_pytest.sh) this is the count of operations validated per
CI run; the figure is printed."""

import collections
import math
import random

import quelmar as qm
from board_model import Board, same_point

SIZES = [7.0, 9.0, 13.5, 19.0]
GAMES = 600
OPERATIONS_PER_GAME = 120
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
        game = self.game
        snapshot = (game.dump_svg(), game.deltas())
        ended = game.status.has_ended()
        placeable = Board(game).placeable(position)
        try:
            delta = game.try_move(position)
        except (qm.NotPlaceableError, qm.SelfCaptureError, qm.GameOverError) as e:
            assert game.deltas() == snapshot[1]
            # Refused as not placeable exactly when the depth says so.
            assert isinstance(e, qm.GameOverError) == ended
            assert ended or isinstance(e, qm.NotPlaceableError) != placeable
            self.tally[type(e).__name__] += 1
            return
        assert placeable
        self.tally["moves"] += 1
        self.tally["captures"] += len(delta.captured_stone_ids)
        self.before.append((snapshot, bool(delta.captured_stone_ids)))

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
        rng, game, size = self.rng, self.game, self.size
        r = rng.random()
        if r < 0.30:
            asked = (rng.uniform(-1, size + 1), rng.uniform(-1, size + 1))
            p = game.nearest_living_move(asked)
            if p is not None:
                board = Board(game)
                # The point itself when it is playable, else within rounding
                # of the boundary.
                assert same_point(p, asked) if board.depth(asked) <= 0 else board.placeable(p)
                self.move(p)
        elif r < 0.42:
            self.move((rng.uniform(0, size), rng.uniform(0, size)))
        elif r < 0.48:
            self.move(lattice_point(rng, size))
        elif r < 0.54:
            self.move(self.near_tolerance(rng))
        elif r < 0.60:
            try:
                snapshot = (game.dump_svg(), game.deltas())
                game.pass_turn()
                self.before.append((snapshot, False))
            except qm.GameOverError:
                assert game.status.has_ended()
        elif r < 0.72:
            undone = game.undo_move()
            if undone is not None:
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
        elif r < 0.78:
            replayed = qm.Game.replay(size, game.deltas())
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
        elif r < 0.90:
            stones = game.stones()
            if stones:
                a = rng.choice(stones)
                self.tally["cut questions"] += 1
                drawn = game.dump_svg()
                if rng.random() < 0.5:
                    game.boundary_cuttable(a.id, rng.choice(EDGES))
                else:
                    friends = [s for s in stones if s.color == a.color and s.id != a.id]
                    if friends:
                        game.pair_cuttable(a.id, rng.choice(friends).id)
                # The probe circles are taken out again without a trace.
                assert game.dump_svg() == drawn
        else:
            black, white = game.territory()
            if game.stone_count:
                assert math.isclose(black + white, size * size, rel_tol=1e-9)
            game.dead_stones(rng.choice([qm.Color.BLACK, qm.Color.WHITE]))
            game.groups()
        self.game.validate()


def test_random_games_validated_after_every_operation(capsys):
    rng = random.Random(20240611)
    validated = 0
    sizes = set()
    tally = collections.Counter()
    for number in range(GAMES):
        size = SIZES[number % len(SIZES)]
        sizes.add(size)
        soak = Soak(rng, size, tally)
        for _ in range(OPERATIONS_PER_GAME):
            soak.step()
            validated += 1
    assert validated >= 10_000 and len(sizes) == 4
    assert tally["captures"] and tally["SelfCaptureError"] and tally["replays"] and tally["cut questions"]
    with capsys.disabled():
        print(f"\nsoak: {validated} operations validated over {GAMES} games on {len(sizes)} board sizes "
              f"({', '.join(f'{n} {k}' for k, n in sorted(tally.items()))})")
