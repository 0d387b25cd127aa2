"""quelmar-match: engines that fail lose their game with the right reason
within their time; a match between engine processes writes the records of
the same match played in-process; colours alternate, openings are played
with both colours, an SPRT stops the match, and Ctrl-C leaves a valid file.
"""

import dataclasses
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

from quelmar_kit import records
from quelmar_kit.cli import UserError
from quelmar_kit.match import stats
from quelmar_kit.match.cli import main
from quelmar_kit.match.jobs import MatchJob, MatchSettings, play_match_job
from quelmar_kit.match.players import parse_player
from quelmar_kit.match.referee import Rules
from quelmar_kit.protocol.client import EngineLimits
from quelmar_kit.timecontrol import TimeControl

from processes import sigint_as_usual

ROOT = Path(__file__).resolve().parents[2]
FAKE = str(Path(__file__).with_name("fake_engine.py"))
ENV = {**os.environ, "PYTHONPATH": os.pathsep.join(filter(None, [str(ROOT), os.environ.get("PYTHONPATH")]))}
ENGINE = f"engine:{sys.executable} -m quelmar_kit.protocol"


def fake(mode):
    return parse_player(f"engine:{sys.executable} {FAKE} {mode}")


@pytest.mark.parametrize("mode, reason, words", [
    ("hang", "time", "did not answer genmove in time"),
    ("exit", "crash", "exited with code 3 during genmove"),
    ("garbage", "bad-answer", "which is not an answer"),
    ("illegal", "illegal-move", "no stone may be placed at (-3.5, 100)"),
    ("silent", "time", "did not answer name in time"),
    ("noise", "bad-answer", "longer than 1048576 bytes"),
    ("refuse", "bad-answer", "refused: I do not like that move"),
])
def test_a_failing_engine_loses_its_game_with_its_reason_within_its_time(mode, reason, words):
    rules = Rules(9.0, 0.0, 50, TimeControl("move", 1.0), margin=0.5)
    limits = EngineLimits(start=3.0, answer_bytes=1 << 20)
    for index in (0, 1):  # the fake engine as black, then as white
        settings = MatchSettings(rules, fake(mode), parse_player("random"), limits)
        started = time.monotonic()
        played = play_match_job(MatchJob(index, 7, settings))
        assert time.monotonic() - started < 15
        record = records.decode(played.line)
        loser = "B" if index == 0 else "W"
        assert record.headers.reason == reason
        assert played.a_score == 0.0 and played.result.startswith("W+" if loser == "B" else "B+")
        assert words in record.meta["forfeit"]
        name = record.headers.black if index == 0 else record.headers.white
        assert name == (f"fake-{mode}" if mode != "silent" else f"{sys.executable} {FAKE} silent")


def test_what_an_engine_says_cannot_make_its_record_unreadable():
    settings = MatchSettings(Rules(9.0, 0.0, 20), fake("babble"), parse_player("random"))
    played = play_match_job(MatchJob(0, 3, settings))
    record = records.decode(played.line)
    assert record.headers.reason == "move-cap" and len(record.headers.black) == 200
    assert all(note.analysis is None for note in record.notes)
    assert len(played.line) < 20000


def _without_notes(path):
    return [records.encode(dataclasses.replace(r, notes=())) for r in records.read_records(path)]


def test_engine_processes_write_the_records_of_the_same_match_played_in_process(tmp_path):
    args = ["--games", "3", "--size", "9", "--seed", "40", "--max-moves", "60"]
    bots = ("mcts:playouts=12", "greedy")
    assert main([*bots, *args, "--out", str(tmp_path / "here.jsonl")]) == 0
    engines = [f"{ENGINE} --bot {bot}" for bot in bots]
    assert main([*engines, *args, "--out", str(tmp_path / "engines.jsonl")]) == 0
    here = _without_notes(tmp_path / "here.jsonl")
    assert here == _without_notes(tmp_path / "engines.jsonl")
    # The notes differ only in the time each move took.
    analyses = [[n.analysis for n in r.notes] for f in ("here", "engines")
                for r in records.read_records(tmp_path / f"{f}.jsonl")]
    assert analyses[:3] == analyses[3:] and any(analyses[0])
    assert [r.headers.black for r in records.read_records(tmp_path / "here.jsonl")] == \
        ["mcts:playouts=12", "greedy", "mcts:playouts=12"]


def test_openings_are_played_once_with_each_colour(tmp_path):
    source = tmp_path / "source.jsonl"
    main(["random", "random", "--games", "2", "--max-moves", "6", "--out", str(source)])
    out = tmp_path / "games.jsonl"
    assert main(["greedy", "random", "--games", "4", "--openings", str(source),
                 "--opening-turns", "4", "--out", str(out)]) == 0
    openings = [r.deltas[:4] for r in records.read_records(source)]
    played = records.read_records(out)
    assert [r.meta["opening"] for r in played] == [0, 0, 1, 1]
    assert [r.deltas[:4] for r in played] == [openings[0], openings[0], openings[1], openings[1]]
    assert [r.headers.black for r in played] == ["greedy", "random", "greedy", "random"]
    assert all(note is None for r in played for note in r.notes[:4])


@pytest.mark.parametrize("args, words", [
    (["nobody", "random"], "no bot is called 'nobody'"),
    (["engine:", "random"], "names no command"),
    (["engine:no-such-engine --fast", "random"], "there is no program 'no-such-engine'"),
    (["random", "random", "--sprt", "10,5"], "elo0 must be below elo1"),
    (["random", "random", "--game-time", "10+x"], "MAIN or MAIN+INCREMENT"),
    (["random", "random", "--move-time", "1", "--game-time", "5"], "not allowed with"),
    (["random", "random", "--opening-turns", "3"], "cuts the openings"),
])
def test_bad_arguments_stop_with_one_line(args, words, capsys):
    with pytest.raises(SystemExit) as stop:
        main(args)
    assert stop.value.code == 2 and words in capsys.readouterr().err


def test_a_bad_openings_file_is_refused_before_any_game(tmp_path, capsys):
    source = tmp_path / "source.jsonl"
    main(["random", "random", "--games", "1", "--size", "13", "--max-moves", "4",
          "--out", str(source)])
    out = tmp_path / "games.jsonl"
    with pytest.raises(UserError) as refused:
        main(["random", "random", "--openings", str(source), "--out", str(out)])
    assert "is on a board of 13, the match's is 9" in str(refused.value)
    assert not out.exists()


def test_an_sprt_stops_the_match_once_it_decides(capsys):
    assert main(["greedy", "random", "--games", "500", "--sprt", "0,100"]) == 0
    report = capsys.readouterr().out
    assert "H1 accepted" in report
    games = int(report.split(": ", 1)[1].split(" games")[0])
    assert games < 100


def test_an_interrupted_match_leaves_the_games_finished_in_a_valid_file(tmp_path):
    out = tmp_path / "games.jsonl"
    run = subprocess.Popen([sys.executable, "-m", "quelmar_kit.match", "random", "random",
                            "--games", "100000", "--out", str(out)], env=ENV,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                           start_new_session=True, preexec_fn=sigint_as_usual)
    try:
        deadline = time.monotonic() + 60
        temporary = []
        while time.monotonic() < deadline:
            temporary = [p for p in tmp_path.iterdir() if p.name.startswith(".games")]
            if temporary and temporary[0].read_bytes().count(b"\n") >= 3:
                break
            time.sleep(0.05)
        os.killpg(run.pid, signal.SIGINT)
        report, errors = run.communicate(timeout=60)
    finally:
        if run.poll() is None:
            os.killpg(run.pid, signal.SIGKILL)
    assert run.returncode == 130, errors
    assert "interrupted after" in errors and "Traceback" not in errors
    kept = records.read_records(out)
    assert len(kept) >= 3 and f"{len(kept)} games" in report
    assert [r.headers.round for r in kept] == [str(i + 1) for i in range(len(kept))]
    assert sorted(p.name for p in tmp_path.iterdir()) == ["games.jsonl"]


def test_elo_and_its_interval():
    assert stats.elo_of(0.5) == 0.0
    assert stats.elo_of(0.75) == pytest.approx(190.85, abs=0.01)
    assert stats.elo_of(0.25) == pytest.approx(-stats.elo_of(0.75))
    tally = stats.Tally()
    for game in range(100):
        tally.add(game % 2 == 0, [1.0, 1.0, 0.0, 0.5][game % 4], "two-passes")
    assert (tally.wins, tally.losses, tally.draws) == ([25, 25], [25, 0], [0, 25])
    assert tally.score == 0.625
    elo = stats.elo(tally)
    assert elo.value == pytest.approx(stats.elo_of(0.625))
    assert elo.low < elo.value < elo.high
    # Twice the games, a narrower interval.
    for game in range(100):
        tally.add(game % 2 == 0, [1.0, 1.0, 0.0, 0.5][game % 4], "two-passes")
    assert stats.elo(tally).high - stats.elo(tally).low < elo.high - elo.low


@pytest.mark.parametrize("score, verdict", [(0.75, "H1"), (0.5, "H0")])
def test_the_sprt_accepts_the_hypothesis_the_games_support(score, verdict):
    test = stats.Sprt(0.0, 50.0)
    tally = stats.Tally()
    decided = None
    for game in range(5000):
        # Wins and losses in the proportion of `score`, spread evenly.
        tally.add(True, 1.0 if (game + 1) * score // 1 > game * score // 1 else 0.0, "x")
        decided = test.verdict(tally)
        if decided:
            break
    assert decided == verdict and tally.games < 2000


def test_a_pass_is_a_move_the_referee_plays():
    rules = Rules(9.0, 0.0, 30)
    settings = MatchSettings(rules, parse_player("greedy"), parse_player("greedy"))
    record = records.decode(play_match_job(MatchJob(0, 3, settings)).line)
    assert record.headers.reason == "two-passes"
    assert record.deltas[-1].is_pass and record.deltas[-2].is_pass


@pytest.mark.integration
def test_a_local_ray_cluster_writes_the_records_of_the_process_pool(tmp_path):
    pytest.importorskip("ray")
    args = ["greedy", f"{ENGINE} --bot mcts:playouts=8", "--games", "4", "--seed", "9",
            "--max-moves", "40", "--workers", "2"]

    def play(out, *backend):
        finished = subprocess.run([sys.executable, "-m", "quelmar_kit.match", *args, *backend,
                                   "--out", str(out)], env=ENV, capture_output=True, text=True,
                                  timeout=600)
        assert finished.returncode == 0, finished.stderr
        return _without_notes(out)

    assert play(tmp_path / "ray.jsonl", "--ray", "local") == play(tmp_path / "pool.jsonl")
