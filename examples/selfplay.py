#!/usr/bin/env python3
"""A seeded random self-play game: the project's main job.

Random points are snapped onto the playable area with `nearest_living_move`;
a move that would only capture the mover's own stones is skipped, and a
player passes when no move is found. The game ends on two passes in a row
or at the move cap.
"""

import argparse
import random
import sys

import quelmar as qm


def find_move(game: qm.Game, rng: random.Random, tries: int) -> "qm.GameDelta | None":
    """Plays the first random snapped point the rules accept, or None."""
    size = game.board_size
    for _ in range(tries):
        target = (rng.uniform(0.0, size), rng.uniform(0.0, size))
        point = game.nearest_living_move(target)
        if point is None:
            return None  # the board is full
        try:
            return game.try_move(point)
        except qm.SelfCaptureError:
            continue
    return None


def progress(game: qm.Game) -> str:
    black, white = game.territory()
    cb, cw = game.captures
    return (f"turn {game.turn:4d}  stones {game.stone_count:4d}  "
            f"captures {cb}/{cw}  territory {black:7.2f} / {white:7.2f}")


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=float, default=18.0, help="board size (default 18)")
    parser.add_argument("--seed", type=int, default=1, help="random seed (default 1)")
    parser.add_argument("--max-moves", type=int, default=400, help="move cap (default 400)")
    parser.add_argument("--tries", type=int, default=20,
                        help="random points tried before passing (default 20)")
    parser.add_argument("--svg", metavar="PATH", help="write the final position as SVG")
    args = parser.parse_args(argv)

    rng = random.Random(args.seed)
    game = qm.Game(args.size)
    print(f"quelmar {qm.version()}: self-play on a board of {args.size:g}, seed {args.seed}")
    while game.turn < args.max_moves and not game.status.has_ended():
        if find_move(game, rng, args.tries) is None:
            game.pass_turn()
        if game.turn % 20 == 0:
            print(progress(game))

    black, white = game.territory()
    cb, cw = game.captures
    ending = "two passes" if game.status.has_ended() else "the move cap"
    print(f"game over after {game.turn} turns ({ending})")
    print(f"captures: black {cb}, white {cw}")
    print(f"territory: black {black:.2f}, white {white:.2f} of {game.board_size ** 2:g}")
    if args.svg:
        with open(args.svg, "w", encoding="utf-8") as out:
            out.write(game.dump_svg())
        print(f"wrote {args.svg}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
