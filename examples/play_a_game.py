#!/usr/bin/env python3
"""Two bots play one game; the game is scored and saved as a record.

    python examples/play_a_game.py [OUT.jsonl]
"""

import sys

from quelmar_kit import records
from quelmar_kit.bots import make_bot
from quelmar_kit.game_loop import play_game

komi = 0.5
finished = play_game(9.0, make_bot("random", seed=1), make_bot("random", seed=2), max_moves=120)
record = records.record_of(finished.game, komi=komi, reason=finished.reason,
                           black="random", white="random", event="example")
black, white = finished.game.territory()
print(f"{finished.game.turn} turns, stopped by {finished.reason}")
print(f"territory: black {black:.2f}, white {white:.2f} + komi {komi}")
print(f"result: {record.headers.result}")
if len(sys.argv) > 1:
    records.write_records(sys.argv[1], [record])
    print(f"saved to {sys.argv[1]}")
