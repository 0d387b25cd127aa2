"""Two hundred seeded snapped games answer exactly what they answered when
the golden file was recorded: logs, snapped points, refusals and their
texts, groups with their rings, territory, dead stones, cut answers, SVG
dumps and counters. Speed work must keep every answer bit for bit."""

import json

import pytest

import golden_games

GOLDEN = json.loads(golden_games.GOLDEN.read_text())["games"]


@pytest.mark.parametrize("chunk", range(10))
def test_snapped_games_answer_as_recorded(chunk):
    broken = []
    for entry in GOLDEN[chunk::10]:
        got = golden_games.digests(golden_games.play(entry["seed"]))
        broken += [f"game {entry['seed']} (size {entry['size']}): {c}"
                   for c in golden_games.CATEGORIES if got[c] != entry["digests"][c]]
    assert not broken, "answers changed; see `python tests/golden_games.py --show SEED CATEGORY`:\n" + \
        "\n".join(broken)
