#!/usr/bin/env python3
"""Runs every change a game makes with one allocation made to fail, for
each allocation the change makes; prints a JSON report on stdout.

Run under the allocator shim (tests/fault_shim.c, loaded with LD_PRELOAD),
which the test that starts this script builds. Each member is called on a
fresh copy of a position: first as it is, counting its allocations, then
once per allocation with that one failing. A call must then either raise
MemoryError and leave the game exactly as it was, or succeed exactly as
the call without failures did. The process must not die."""

import copy
import ctypes
import json
import math
import sys

import quelmar as qm
from recorded_games import CAPTURE_WITHOUT_OWN_SPACE, GROUP_CAPTURE, self_play

shim = ctypes.CDLL(None)
arm = shim.quelmar_fault_arm
arm.argtypes = [ctypes.c_long]
disarm = shim.quelmar_fault_disarm
disarm.restype = ctypes.c_long


def play(moves, size=18.0):
    game = qm.Game(size)
    for p in moves:
        game.try_move(p)
    return game


def snapshot(game):
    """Everything a failed change must leave as it was, to the bit."""
    game.validate()
    groups = [(g.color.label, g.stone_ids, g.rings) for g in game.groups()]
    return (game.stones(), game.deltas(), game.captures, game.turn, int(game.status), game.revision,
            game.stone_count, groups, game.territory(), game.dump_svg())


def searched_pair(game):
    """Two stones of one colour that a cut question searches between: too
    far apart to be connected at a glance, near enough to be asked."""
    stones = game.stones()
    return next((s.id, t.id) for s in stones for t in stones
                if s.id < t.id and s.color == t.color and 2.9 < math.dist(s.position, t.position) < 3.4)


def scenarios():
    """(name, position, member call) triples."""
    small = self_play(4, 30, size=13.5)
    small_move = small.nearest_living_move((6.0, 7.0))
    captured = play(CAPTURE_WITHOUT_OWN_SPACE)  # the last move took 13 stones
    before_capture = play(GROUP_CAPTURE[:-1])
    capture_point = GROUP_CAPTURE[-1]
    a, b = searched_pair(small)
    edge_stone = next(s.id for s in small.stones() if 2.0 <= s.position[0] <= qm.MAX_BOUNDARY_CUT_DISTANCE)
    yield "small game: try_move", small, lambda g: g.try_move(small_move)
    yield "small game: undo_move", small, lambda g: g.undo_move()
    yield "small game: pass_turn", small, lambda g: g.pass_turn()
    yield "small game: pair_cuttable", small, lambda g: g.pair_cuttable(a, b)
    yield "small game: boundary_cuttable", small, lambda g: g.boundary_cuttable(edge_stone, qm.BoardEdge.LEFT)
    yield "group capture: try_move", before_capture, lambda g: g.try_move(capture_point)
    yield "thirteen-stone capture: undo_move", captured, lambda g: g.undo_move()
    yield "thirteen-stone capture: try_move", play(CAPTURE_WITHOUT_OWN_SPACE[:-1]), \
        lambda g: g.try_move(CAPTURE_WITHOUT_OWN_SPACE[-1])


def exercise(name, position, call):
    expected_game = copy.copy(position)
    expected_answer = call(expected_game)
    expected = snapshot(expected_game)
    counting = copy.copy(position)
    arm(0)
    call(counting)
    allocations = disarm()
    report = {"member": name, "allocations": allocations, "memory_errors": 0, "succeeded": 0, "faults": []}
    for k in range(1, allocations + 1):
        game = copy.copy(position)
        before = snapshot(game)
        arm(k)
        try:
            answer = call(game)
            raised = None
        except MemoryError:
            raised = "MemoryError"
        except BaseException as e:  # noqa: BLE001 - every other outcome is a fault
            raised = f"{type(e).__name__}: {e}"
        finally:
            disarm()
        try:
            after = snapshot(game)
        except qm.BoardError as e:
            report["faults"].append(f"k={k}: {raised or 'success'} left a corrupt board: {e}")
            continue
        if raised == "MemoryError":
            report["memory_errors"] += 1
            if after != before:
                differ = [i for i, (x, y) in enumerate(zip(before, after)) if x != y]
                report["faults"].append(f"k={k}: MemoryError changed the game (fields {differ})")
            # Nothing latent: the same call now does what it always does.
            try:
                again = call(game) == expected_answer and snapshot(game) == expected
            except BaseException as e:  # noqa: BLE001
                again = False
            if not again:
                report["faults"].append(f"k={k}: after MemoryError the call no longer answers as before")
        elif raised is None:
            report["succeeded"] += 1
            if answer != expected_answer or after != expected:
                report["faults"].append(f"k={k}: succeeded with another answer or position")
        else:
            report["faults"].append(f"k={k}: raised {raised}")
    return report


def fresh_thread_queries(position):
    """Each allocation of a thread's first calls failing in turn: its
    per-thread state is made on entry, so nothing aborts, and every call
    either answers or raises MemoryError."""
    import threading
    report = {"member": "new thread: groups and territory", "allocations": 0, "memory_errors": 0,
              "succeeded": 0, "faults": []}
    expected = (position.groups(), position.territory())

    def run(k, out):
        game = copy.copy(position)
        arm(k)
        try:
            out.append(("ok", (game.groups(), game.territory())))
        except MemoryError:
            out.append(("MemoryError", None))
        finally:
            out.append(disarm())

    def in_new_thread(k):
        out = []
        thread = threading.Thread(target=run, args=(k, out))
        thread.start()
        thread.join()
        return out

    report["allocations"] = in_new_thread(0)[1]
    for k in range(1, report["allocations"] + 1):
        outcome, answer = in_new_thread(k)[0]
        if outcome == "MemoryError":
            report["memory_errors"] += 1
        elif answer == expected:
            report["succeeded"] += 1
        else:
            report["faults"].append(f"k={k}: answered differently")
    return report


def main():
    reports = [exercise(*s) for s in scenarios()]
    reports.append(fresh_thread_queries(self_play(4, 30, size=13.5)))
    json.dump(reports, sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main())
