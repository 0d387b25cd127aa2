#!/usr/bin/env python3
"""Environment steps per second against the bare engine work of the same
steps, in one run: the PettingZoo environment (`quelmar_kit.env.env`, in
its wrappers) takes a seeded stream of actions and is asked for an
observation before each (`last()`), as a training loop does; the bare
engine replays the same moves (the snap to the nearest placeable point
and `try_move`, or `pass_turn`) on a plain `Game`. The two runs alternate
`--rounds` times and the ratio is the median of the rounds' ratios, so it
holds on a busy machine.

    python bench/rl_env.py [--boards 9 18] [--grids 19 32] [--steps N]
                           [--actions box grid] [--rounds R] [--seed S]

The last column is the same for `raw_env`, without PettingZoo's
order-enforcing wrapper.

Box actions pass with probability 1/50 (a uniformly sampled box passes
half the time and ends every episode within a few turns); grid actions
pick a placeable centre uniformly, or pass with the same probability.
"""

from __future__ import annotations

import argparse
import statistics
import time

import numpy as np
import quelmar as qm

from quelmar_kit.env import env as make_env
from quelmar_kit.env import raw_env

PASS_CHANCE = 1 / 50


def env_run(board: float, grid: int, kind: str, steps: int, seed: int,
            max_moves: int, raw: bool) -> tuple[float, list[object]]:
    """Seconds for `steps` steps of the environment (the dead steps and
    resets at each episode's end included) and the actions it took. The
    random numbers are drawn before the clock starts."""
    e = (raw_env if raw else make_env)(board_size=board, grid=grid, actions=kind,
                                       max_moves=max_moves)
    rng = np.random.default_rng(seed)
    boxes = rng.uniform(-1.0, 1.0, (steps, 3)).astype(np.float32)
    boxes[:, 2] = np.where(rng.random(steps) < PASS_CHANCE, 1.0, -1.0)
    picks = rng.random(steps)
    e.reset(seed=seed)
    taken: list[object] = []
    start = time.perf_counter()
    for i in range(steps):
        observation, _, terminated, truncated, _ = e.last()
        if terminated or truncated:
            e.step(None)
            if not e.agents:
                e.reset()
            continue
        action: object
        if kind == "box":
            action = boxes[i]
        else:
            open_cells = np.flatnonzero(observation["action_mask"][:-1])
            if open_cells.size == 0 or boxes[i, 2] > 0.0:
                action = grid * grid
            else:
                action = int(open_cells[int(picks[i] * open_cells.size)])
        taken.append(action)
        e.step(action)
    spent = time.perf_counter() - start
    return spent, taken


def engine_run(board: float, grid: int, kind: str, actions: list[object],
               max_moves: int) -> tuple[float, float]:
    """Seconds the engine alone takes for the same actions: the same
    points (snapped by `nearest_living_move` for box actions, cell centres
    for grid ones), `try_move` or `pass_turn`, and a new game wherever an
    episode ended; and the mean number of stones in play (its cost, a
    property read a step, is in the engine's time, not the env's)."""
    centres = (np.arange(grid, dtype=np.float64) + 0.5) * (board / grid)
    points: list[tuple[float, float] | None] = []
    for action in actions:
        if kind == "box":
            a = np.clip(np.asarray(action, dtype=np.float64), -1.0, 1.0)
            points.append(None if a[2] > 0.0 else
                          ((float(a[0]) + 1.0) * 0.5 * board, (float(a[1]) + 1.0) * 0.5 * board))
        else:
            cell = int(action)  # type: ignore[call-overload]
            points.append(None if cell == grid * grid else
                          (float(centres[cell % grid]), float(centres[cell // grid])))
    start = time.perf_counter()
    game = qm.Game(board)
    stones = 0
    for point in points:
        if point is None:
            game.pass_turn()
        else:
            if kind == "box":
                snapped = game.nearest_living_move(point)
                point = point if snapped is None else snapped
            try:
                game.try_move(point)
            except qm.StonePlayError:
                game = qm.Game(board)  # the mover forfeits: a new episode
                continue
        stones += game.stone_count
        if game.status.has_ended() or game.turn >= max_moves:
            game = qm.Game(board)
    return time.perf_counter() - start, stones / max(1, len(points))


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
          f"{'engine steps/s':>15} {'env/engine time':>16} {'raw_env/engine':>15}")
    for kind in args.actions:
        for board in args.boards:
            for grid in args.grids:
                ratios, raw_ratios, env_rates, engine_rates, stones = [], [], [], [], []
                for r in range(args.rounds):
                    spent, taken = env_run(board, grid, kind, args.steps, args.seed + r,
                                           args.max_moves, raw=False)
                    bare, mean_stones = engine_run(board, grid, kind, taken, args.max_moves)
                    raw_spent, _ = env_run(board, grid, kind, args.steps, args.seed + r,
                                                   args.max_moves, raw=True)
                    raw_ratios.append(raw_spent / bare)
                    # Per move played: the env's time includes the dead
                    # steps and resets at each episode's end.
                    ratios.append(spent / bare)
                    env_rates.append(args.steps / spent)
                    engine_rates.append(len(taken) / bare)
                    stones.append(mean_stones)
                print(f"{kind:>7} {board:5g} {grid:3d} {statistics.median(stones):6.1f} "
                      f"{statistics.median(env_rates):12.0f} "
                      f"{statistics.median(engine_rates):15.0f} "
                      f"{statistics.median(ratios):15.2f}x "
                      f"{statistics.median(raw_ratios):14.2f}x", flush=True)


if __name__ == "__main__":
    main()
