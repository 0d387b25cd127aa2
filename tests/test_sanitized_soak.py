"""Many short random games, each operation followed by `validate()`: moves
(snapped, raw and on the lattice), passes, undos, replays of the log, cut
questions and queries, on four board sizes. Run under the sanitizers (see
scripts/sanitized_pytest.sh) this is the count of operations validated per
CI run; the figure is printed."""

import collections
import random

from soak_game import Soak

SIZES = [7.0, 9.0, 13.5, 19.0]
GAMES = 600
OPERATIONS_PER_GAME = 120


def test_random_games_validated_after_every_operation(capsys):
    rng = random.Random(20240611)
    validated = 0
    sizes = set()
    tally = collections.Counter()
    for number in range(GAMES):
        size = SIZES[number % len(SIZES)]
        sizes.add(size)
        soak = Soak(rng, size, tally)
        for _ in range(OPERATIONS_PER_GAME):
            soak.step()
            validated += 1
    assert validated >= 10_000 and len(sizes) == 4
    assert tally["captures"] and tally["SelfCaptureError"] and tally["replays"] and tally["cut questions"]
    with capsys.disabled():
        print(f"\nsoak: {validated} operations validated over {GAMES} games on {len(sizes)} board sizes "
              f"({', '.join(f'{n} {k}' for k, n in sorted(tally.items()))})")
