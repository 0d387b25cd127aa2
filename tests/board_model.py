"""What a position implies, computed without the engine: depth in dead
space, the forced eyes a log leaves, and point containment in rings, with
the engine's own operand order so that answers agree bit for bit."""

import math
import struct

import quelmar as qm

INF = math.inf


def bits(x):
    return struct.unpack("<Q", struct.pack("<d", x))[0]


def same_point(p, q):
    return p is not None and q is not None and (bits(p[0]), bits(p[1])) == (bits(q[0]), bits(q[1]))


def point_key(p):
    return tuple(bits(0.0 if v == 0 else v) for v in p)


def forced_eyes(game):
    """The forced eyes, rebuilt from the log: every capture leaves one at the
    captured centre, a stone on an eye clears that eye alone, otherwise a
    stone clears every eye within 2.0."""
    eyes, placed = {}, {}
    for delta in game.deltas():
        stone = delta.new_stone
        if stone is None:
            continue
        p = stone.position
        if point_key(p) in eyes:
            del eyes[point_key(p)]
        else:
            for key in [k for k, e in eyes.items() if math.sqrt((e[0] - p[0]) ** 2 + (e[1] - p[1]) ** 2) <= 2.0]:
                del eyes[key]
        placed[stone.id] = p
        for i in delta.captured_stone_ids:
            eyes[point_key(placed[i])] = placed[i]
    return eyes


class Board:
    """What a position implies, computed without the engine."""

    def __init__(self, game):
        self.size = game.board_size
        self.centres = [s.position for s in game.stones()]
        self.eyes = forced_eyes(game)

    def depth(self, p):
        x, y, s = p[0], p[1], self.size
        if not (0 <= x <= s and 0 <= y <= s):
            return INF
        if point_key(p) in self.eyes:
            return -INF
        far = s + -1.0
        depth = -INF
        for v in [1.0 - x, y - far, x - far, 1.0 - y] + [
                2.0 - math.sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy)) for cx, cy in self.centres]:
            if v > depth:
                depth = v
        return depth

    def placeable(self, p):
        return self.depth(p) <= qm.EPSILON

    def playable_sample(self, steps=60):
        """Points of a lattice over the board that are playable, with the eyes."""
        s = self.size
        pts = [(s * i / steps, s * j / steps) for i in range(steps + 1) for j in range(steps + 1)]
        return [p for p in pts if self.depth(p) <= 0] + list(self.eyes.values())


def point_in_polygon(ring, p):
    inside, n = False, len(ring)
    if n < 3:
        return False
    j = n - 1
    for i in range(n):
        (xi, yi), (xj, yj) = ring[i], ring[j]
        if (p[1] < yj) != (p[1] < yi) and p[0] < (p[1] - yi) * (xj - xi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def contains(rings, p):
    return bool(rings) and point_in_polygon(rings[0], p) and not any(point_in_polygon(r, p) for r in rings[1:])
