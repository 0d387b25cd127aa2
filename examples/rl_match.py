#!/usr/bin/env python3
"""Two toolkit bots play episodes through the PettingZoo environment, and
the win rates are printed. Each bot's point becomes a box action (x and y
scaled to [-1, 1]); the environment snaps it to the nearest placeable
point, plays it and scores the episode with the toolkit's scoring.

    python examples/rl_match.py [--black random] [--white random:tries=40]
                                [--episodes 20] [--board 9] [--max-moves 200]
"""

from __future__ import annotations

import argparse
from collections import Counter

import numpy as np

from quelmar_kit.bots import PASS, RESIGN, make_bot
from quelmar_kit.env import env


def as_action(move: object, board: float) -> np.ndarray:
    """A bot's answer as a box action: a pass, or the point scaled to [-1, 1]."""
    if move == PASS or move == RESIGN:  # the environment has no resignation
        return np.array([0.0, 0.0, 1.0])
    x, y = move  # type: ignore[misc]
    return np.array([2.0 * x / board - 1.0, 2.0 * y / board - 1.0, -1.0])


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--black", default="random")
    parser.add_argument("--white", default="random")
    parser.add_argument("--episodes", type=int, default=20)
    parser.add_argument("--board", type=float, default=9.0)
    parser.add_argument("--max-moves", type=int, default=200)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args(argv)
    arena = env(board_size=args.board, actions="box", max_moves=args.max_moves)
    wins: Counter[str] = Counter()
    for episode in range(args.episodes):
        bots = {"black_0": make_bot(args.black, seed=2 * (args.seed + episode)),
                "white_0": make_bot(args.white, seed=2 * (args.seed + episode) + 1)}
        arena.reset(seed=args.seed + episode)
        result = "*"
        for agent in arena.agent_iter():
            _, reward, terminated, truncated, info = arena.last()
            if terminated or truncated:
                result = info["result"]
                if reward > 0:
                    wins[agent] += 1
                arena.step(None)
                continue
            move = bots[agent].choose(arena.unwrapped.episode.game)
            arena.step(as_action(move, args.board))
        if result == "draw":
            wins["draw"] += 1
        print(f"episode {episode + 1}: {result}")
    n = args.episodes
    print(f"Black ({args.black}) {wins['black_0'] / n:.0%}, White ({args.white}) "
          f"{wins['white_0'] / n:.0%}, draws {wins['draw'] / n:.0%} over {n} episodes")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
