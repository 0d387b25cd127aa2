#!/usr/bin/env python3
"""The first-move advantage in a file of records played at komi 0 between
equal players: Black's win rate, Black's mean territory margin, and the
komi that evens the win rate (the median margin: with that komi added to
White, half the games go each way), each with its 95% interval.

    python bench/first_move.py FILE.jsonl

The median's interval comes from order statistics (the ranks a binomial
with p = 1/2 puts 95% around the middle), so it assumes nothing about the
margins' distribution.
"""

import math
import statistics
import sys

from quelmar_kit import records

Z = 1.959963984540054


def median_interval(values):
    ordered = sorted(values)
    n = len(ordered)
    half = Z * math.sqrt(n) / 2
    low = max(0, math.floor(n / 2 - half))
    high = min(n - 1, math.ceil(n / 2 + half) - 1)
    return ordered[low], ordered[high]


def main(path):
    margins, reasons, black_wins, games = [], {}, 0, 0
    for record in records.records_of(path):
        games += 1
        reasons[record.headers.reason] = reasons.get(record.headers.reason, 0) + 1
        black, white = record.outcome.territory
        margins.append(black - white - record.headers.komi)
        black_wins += record.headers.result.startswith("B+")
    rate = black_wins / games
    spread = Z * math.sqrt(rate * (1 - rate) / games)
    mean = statistics.fmean(margins)
    sd = statistics.stdev(margins) if games > 1 else 0.0
    low, high = median_interval(margins)
    print(f"{path}: {games} games ({', '.join(f'{k} {v}' for k, v in sorted(reasons.items()))})")
    print(f"  black won {black_wins} ({rate:.3f} +- {spread:.3f})")
    print(f"  black's margin: mean {mean:+.2f} +- {Z * sd / math.sqrt(games):.2f}, "
          f"sd {sd:.2f}, median {statistics.median(margins):+.2f} [{low:+.2f}, {high:+.2f}]")
    print(f"  the komi that evens the win rate: {statistics.median(margins):.2f} "
          f"(95%: {low:.2f} to {high:.2f})")
    for komi in sorted({0.0, round(statistics.median(margins) * 2) / 2}):
        wins = sum(m > komi for m in margins)
        print(f"  at komi {komi:g}: black would win {wins}/{games} ({wins / games:.3f})")


if __name__ == "__main__":
    main(sys.argv[1])
