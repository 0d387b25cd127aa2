"""Self-play into records: the example game is the first record, and the
records depend on the seeds alone, not on how many workers played them nor
on whether they ran on a Ray cluster."""

import re
import subprocess
import sys
from pathlib import Path

import pytest

import records
import selfplay

ROOT = Path(__file__).resolve().parent.parent
SMALL = ["--size", "9", "--max-moves", "60", "--seed", "11"]


def test_the_example_game_is_the_first_record(tmp_path, capsys):
    selfplay.main([])
    printed = capsys.readouterr().out
    selfplay.main(["--games", "1", "--out", str(tmp_path / "one.jsonl")])
    [record] = records.read(tmp_path / "one.jsonl")
    turns, = re.findall(r"game over after (\d+) turns", printed)
    black, white = map(int, re.findall(r"captures: black (\d+), white (\d+)", printed)[0])
    assert (record.game.turn, record.outcome.captures) == (int(turns), (black, white))
    assert record.meta["seed"] == 1


def test_records_do_not_depend_on_the_number_of_workers(tmp_path):
    files = {}
    for workers in (1, 2):
        files[workers] = tmp_path / f"w{workers}.jsonl"
        selfplay.main(SMALL + ["--games", "5", "--workers", str(workers),
                               "--out", str(files[workers])])
    assert files[1].read_bytes() == files[2].read_bytes()
    played = records.read(files[1])
    assert [r.meta["seed"] for r in played] == [11, 12, 13, 14, 15]
    # Each record is its seed's game, played again here.
    again = selfplay.play_game(9.0, 13, 60, 20)
    assert played[2].game.deltas() == again.deltas()


@pytest.mark.integration
def test_a_local_ray_cluster_writes_the_records_of_the_process_pool(tmp_path):
    pytest.importorskip("ray")
    def play(out, *backend):
        command = [sys.executable, str(ROOT / "examples" / "selfplay.py"), *SMALL,
                   "--games", "4", "--workers", "2", *backend, "--out", str(out)]
        subprocess.run(command, check=True, timeout=300)
        return out.read_bytes()

    from_ray = play(tmp_path / "ray.jsonl", "--ray", "local")
    assert from_ray == play(tmp_path / "pool.jsonl")
    assert len(records.read(tmp_path / "ray.jsonl")) == 4
