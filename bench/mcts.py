#!/usr/bin/env python3
"""The search bot's speed: playouts per second on boards 9, 18 and 40, and
its own overhead as a ratio to the bare engine work it does.

For each board a position is reached by seeded snapped random play, then
the bot searches it at a fixed playout count twice: once as it runs, and
once through a recording stand-in for the game that notes every engine
call (moves, undos, passes, copies, nearest points, territory, status).
The recorded calls are then replayed alone in a tight loop: that is the
bare engine work of the search, and `bot / bare` is what the bot's Python
adds on top (1.00 would be none). Both timings are medians of a few runs
taken in one process, so the ratio holds on a busy machine.

    python bench/mcts.py [--playouts N] [--rounds R]
"""

import argparse
import copy
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

import quelmar as qm  # noqa: E402

from quelmar_kit.bots import MctsBot, make_bot  # noqa: E402
from quelmar_kit.game_loop import play_game  # noqa: E402

CASES = [(9.0, 6), (18.0, 40), (40.0, 200)]  # board, turns of random play before


class Recorder:
    """A game that notes every call made on it, and on its copies."""

    def __init__(self, game, calls, games):
        self._game, self._calls, self._games = game, calls, games
        self._index = len(games)
        games.append(None)

    def __copy__(self):
        twin = Recorder(copy.copy(self._game), self._calls, self._games)
        self._calls.append((self._index, "__copy__", (), twin._index))
        return twin

    def __getattr__(self, name):
        value = getattr(self._game, name)
        if not callable(value):
            self._calls.append((self._index, name, None, None))
            return value

        def call(*args):
            self._calls.append((self._index, name, args, None))
            return value(*args)
        return call


def replay(root, calls):
    """The recorded calls alone, on copies made as they were."""
    games = {0: root}
    for index, name, args, made in calls:
        game = games[index]
        if name == "__copy__":
            games[made] = copy.copy(game)
        elif args is None:
            getattr(game, name)
        else:
            try:
                getattr(game, name)(*args)
            except qm.SelfCaptureError:
                pass


def median_seconds(run, rounds):
    samples = []
    for _ in range(rounds):
        started = time.perf_counter()
        run()
        samples.append(time.perf_counter() - started)
    return statistics.median(samples)


def measure(size, turns, playouts, rounds):
    game = play_game(size, make_bot("random", 5), make_bot("random", 6), max_moves=turns).game
    name = f"mcts:playouts={playouts}"

    def search():
        MctsBot(1, playouts=playouts).choose(game, komi=0.5)

    calls = []
    recorder = Recorder(game, calls, [])
    make_bot(name, 1).choose(recorder, komi=0.5)  # the same seed: the same calls
    bot = median_seconds(search, rounds)
    bare = median_seconds(lambda: replay(game, calls), rounds)
    moves = sum(1 for _, name, _, _ in calls if name == "try_move")
    return game, bot, bare, moves


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--playouts", type=int, default=0,
                        help="playouts per search (default: 200, 60 and 12 by board)")
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args(argv)
    print(f"quelmar {qm.version()}: search bot, median of {args.rounds} searches")
    print(f"{'board':>5} {'stones':>6} {'playouts':>8} {'search s':>9} {'playouts/s':>10} "
          f"{'moves/s':>8} {'bare s':>8} {'bot/bare':>8}")
    for (size, turns), default in zip(CASES, (200, 60, 12)):
        playouts = args.playouts or default
        game, bot, bare, moves = measure(size, turns, playouts, args.rounds)
        print(f"{size:5g} {game.stone_count:6d} {playouts:8d} {bot:9.3f} {playouts / bot:10.1f} "
              f"{moves / bot:8.0f} {bare:8.3f} {bot / bare:8.2f}", flush=True)


if __name__ == "__main__":
    main()
