#!/usr/bin/env python3
"""Environment steps per second beside the bare engine work of the same
steps, measured in lockstep: every 100 steps of the PettingZoo environment
(`step()`, then `last()` for the next observation) are followed by the
same moves on a plain engine `Game` (the snap to the nearest placeable
point for box actions, then `try_move`, or `pass_turn`), each side timed
on the thread's CPU clock. Both sides meet the machine in the same state,
so the ratio holds on a busy machine; it is the median over `--rounds`
runs, and the rates are CPU-time rates.

    python bench/rl_env.py [--boards 9 18] [--grids 19 32] [--steps N]
                           [--actions box grid] [--rounds R] [--seed S]

`env()` is the environment in PettingZoo's order-enforcing wrapper, as
users make it; `raw_env` is without it. Box actions pass with probability
1/50 (a uniformly sampled box passes half the time and ends every episode
within a few turns); grid actions pick a placeable centre uniformly, or
pass with the same probability. The random numbers are drawn before the
clocks start; the grid policy's pick from the mask is on the
environment's clock (a flatnonzero of the mask, about a microsecond).
"""

from __future__ import annotations

import argparse
import statistics
import time
from typing import Any

import numpy as np
import quelmar as qm

from quelmar_kit.env import env as make_env
from quelmar_kit.env import raw_env

PASS_CHANCE = 1 / 50


CHUNK = 100  # steps of the environment, then the same steps of the engine


def lockstep(board: float, grid: int, kind: str, steps: int, seed: int, max_moves: int,
             raw: bool) -> tuple[float, float, int, float]:
    """CPU seconds in the environment and in the bare engine for `steps`
    steps, the moves played, and the mean number of stones in play. The
    two alternate every CHUNK steps, each on the thread's CPU clock, so
    that neither is charged for time the machine gave to others."""
    e: Any = (raw_env if raw else make_env)(board_size=board, grid=grid, actions=kind,
                                            max_moves=max_moves)
    rng = np.random.default_rng(seed)
    boxes = rng.uniform(-1.0, 1.0, (steps, 3)).astype(np.float32)
    boxes[:, 2] = np.where(rng.random(steps) < PASS_CHANCE, 1.0, -1.0)
    picks = rng.random(steps)
    centres = (np.arange(grid, dtype=np.float64) + 0.5) * (board / grid)
    e.reset(seed=seed)
    game = qm.Game(board)
    in_env = in_engine = 0.0
    played = stones = 0
    clock = time.thread_time
    observation, _, terminated, truncated, _ = e.last()
    for first in range(0, steps, CHUNK):
        # The environment's chunk: what it plays is noted for the engine's.
        moves: list[tuple[float, float] | str | None] = []
        start = clock()
        for i in range(first, min(steps, first + CHUNK)):
            if terminated or truncated:
                e.step(None)
                if not e.agents:
                    e.reset()
                    moves.append("new game")
                observation, _, terminated, truncated, _ = e.last()
                continue
            if kind == "box":
                action: object = boxes[i]
                target = None if boxes[i, 2] > 0.0 else (
                    (float(boxes[i, 0]) + 1.0) * 0.5 * board,
                    (float(boxes[i, 1]) + 1.0) * 0.5 * board)
            else:
                open_cells = np.flatnonzero(observation["action_mask"][:-1])
                if open_cells.size == 0 or boxes[i, 2] > 0.0:
                    action, target = grid * grid, None
                else:
                    cell = int(open_cells[int(picks[i] * open_cells.size)])
                    action = cell
                    target = (float(centres[cell % grid]), float(centres[cell // grid]))
            moves.append(target)
            e.step(action)
            observation, _, terminated, truncated, _ = e.last()
        middle = clock()
        # The engine's chunk: the same moves on a plain game.
        for move in moves:
            if move == "new game":
                game = qm.Game(board)
            elif move is None:
                game.pass_turn()
            else:
                point = move
                if kind == "box":
                    snapped = game.nearest_living_move(point)  # type: ignore[arg-type]
                    point = point if snapped is None else snapped
                try:
                    game.try_move(point)  # type: ignore[arg-type]
                except qm.StonePlayError:
                    pass  # the environment ended the episode: a new game follows
        end = clock()
        in_env += middle - start
        in_engine += end - middle
        played += sum(1 for m in moves if m != "new game")
        stones += game.stone_count
    return in_env, in_engine, played, stones / max(1, steps // CHUNK)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--boards", type=float, nargs="+", default=[9.0, 18.0])
    parser.add_argument("--grids", type=int, nargs="+", default=[19, 32])
    parser.add_argument("--actions", nargs="+", default=["box", "grid"], choices=["box", "grid"])
    parser.add_argument("--steps", type=int, default=3000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--max-moves", type=int, default=400)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    print(f"{'actions':>7} {'board':>5} {'G':>3} {'stones':>6} {'env steps/s':>12} "
          f"{'engine steps/s':>15} {'env/engine':>11} {'raw_env/engine':>15}")
    for kind in args.actions:
        for board in args.boards:
            for grid in args.grids:
                rows: dict[bool, list[tuple[float, float, float]]] = {False: [], True: []}
                stones = []
                for r in range(args.rounds):
                    for raw in (False, True):
                        in_env, in_engine, played, mean_stones = lockstep(
                            board, grid, kind, args.steps, args.seed + r, args.max_moves, raw)
                        rows[raw].append((args.steps / in_env, played / in_engine,
                                          in_env / in_engine))
                        stones.append(mean_stones)
                wrapped, bare = rows[False], rows[True]
                print(f"{kind:>7} {board:5g} {grid:3d} {statistics.median(stones):6.1f} "
                      f"{statistics.median(r[0] for r in wrapped):12.0f} "
                      f"{statistics.median(r[1] for r in wrapped):15.0f} "
                      f"{statistics.median(r[2] for r in wrapped):10.2f}x "
                      f"{statistics.median(r[2] for r in bare):14.2f}x", flush=True)


if __name__ == "__main__":
    main()
