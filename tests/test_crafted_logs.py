"""Logs built by hand rather than by play: a heap of dead zones is refused
before it costs anything, and a long replay stops at Ctrl-C."""

import math
import os
import pickle
import random
import signal
import subprocess
import sys
import textwrap
import time

import pytest

import quelmar as qm

B = qm.Color.BLACK
W = qm.Color.WHITE
LIMIT = 32  # dead zones one dead zone may overlap


def stone_delta(i, p):
    return qm.GameDelta(qm.Stone(i, B if i % 2 == 0 else W, p))


class CraftedPickle:
    """Unpickles as the replay of any log, as a hostile pickle would."""

    def __init__(self, log):
        self.log = log

    def __reduce__(self):
        return qm.Game.replay, (18.0, self.log)


HEAPS = {
    "one point": lambda i: (9.0, 9.0),
    "2x2 square": lambda i: (8.0 + 2.0 * random.Random(i).random(), 8.0 + 2.0 * random.Random(-i).random()),
    "row on 16 units": lambda i: (1.0 + 16.0 * i / 999, 9.0),
}


@pytest.mark.parametrize("heap", HEAPS)
def test_a_heap_of_dead_zones_is_refused_at_the_first_stone_past_the_limit(heap):
    at = HEAPS[heap]
    log = [stone_delta(i, at(i)) for i in range(1000)]
    with pytest.raises(qm.DeltaError) as refused:
        qm.Game.replay(18.0, log)
    assert type(refused.value) is qm.DeltaError
    stone = refused.value.stone
    assert str(refused.value) == f"stone {stone}'s dead zone would overlap more than {LIMIT} others"
    # Everything before that stone replays, and that stone overlaps too many.
    game = qm.Game.replay(18.0, log[:stone])
    game.validate()
    near = [s for s in game.stones() if math.dist(s.position, at(stone)) <= 4.0 + qm.EPSILON]
    assert len(near) > LIMIT
    with pytest.raises(qm.DeltaError):
        pickle.loads(pickle.dumps(CraftedPickle(log)))


def test_a_heap_at_the_limit_replays_and_plays_on():
    log = [stone_delta(i, (9.0, 9.0 + 0.001 * i)) for i in range(LIMIT + 1)]
    game = qm.Game.replay(18.0, log)
    game.validate()
    assert pickle.loads(pickle.dumps(game)).deltas() == log
    refused = game.revision
    with pytest.raises(qm.DeltaError):
        game.try_move(game.nearest_living_move((9.0, 9.0)))  # still placeable, but one too many
    assert game.revision == refused
    delta = game.try_move((3.0, 3.0))
    assert game.undo_move() == delta
    game.validate()


def test_snapped_play_stays_far_below_the_limit():
    most = 0
    for seed in range(6):
        rng = random.Random(seed)
        size = (14.0, 25.0)[seed % 2]
        game = qm.Game(size)
        for _ in range(int(size * size)):
            p = game.nearest_living_move((rng.uniform(0, size), rng.uniform(0, size)))
            try:
                game.try_move(p)
            except qm.SelfCaptureError:
                continue
            most = max(most, sum(math.dist(s.position, p) <= 4.0 + qm.EPSILON for s in game.stones()) - 1)
    assert 8 <= most <= LIMIT // 2


INTERRUPTED = textwrap.dedent("""
    import sys
    import quelmar as qm
    n = int(sys.argv[1])
    log = [qm.GameDelta(qm.Stone(i, qm.Color.BLACK if i % 2 == 0 else qm.Color.WHITE,
                                 (5.0 * (i % 2000) + 2.0, 5.0 * (i // 2000) + 2.0))) for i in range(n)]
    print("ready", flush=True)
    try:
        qm.Game.replay(20000.0, log)
        print("finished", flush=True)
    except KeyboardInterrupt:
        print("interrupted", flush=True)
""")


def sigint_as_usual():
    """Run in a child before it starts: SIGINT back to its default. A shell
    without job control starts background commands with SIGINT ignored,
    and a child would inherit that and never see the Ctrl-C a test sends."""
    signal.signal(signal.SIGINT, signal.SIG_DFL)


def test_ctrl_c_stops_a_long_replay_within_a_tenth_of_a_second():
    child = subprocess.Popen([sys.executable, "-c", INTERRUPTED, "600000"], stdout=subprocess.PIPE, text=True,
                             preexec_fn=sigint_as_usual)
    try:
        assert child.stdout.readline().strip() == "ready"
        time.sleep(0.15)  # well into the conversion of the log or its replay
        os.kill(child.pid, signal.SIGINT)
        sent = time.monotonic()
        outcome = child.stdout.readline().strip()
        latency = time.monotonic() - sent
    finally:
        child.kill()
        child.wait()
        child.stdout.close()
    assert outcome == "interrupted"
    assert latency < 0.1
