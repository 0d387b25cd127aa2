"""Self-play into records: the first game of a run is the printed game; the
records depend on the seeds alone, not on how many workers played them nor
on whether they ran on a Ray cluster; a run is complete or leaves the old
file untouched, and --resume completes an interrupted one to the same bytes."""

import os
import re
import signal
import socket
import subprocess
import sys
import time
from pathlib import Path

import pytest

from quelmar_kit import records
from quelmar_kit.selfplay import main
from quelmar_kit.selfplay.jobs import Job, Settings, play_job

from processes import sigint_as_usual

ROOT = Path(__file__).resolve().parents[2]
# The random player: these tests pin its games and need them fast.
RANDOM = ["--black", "random", "--white", "random"]
SMALL = ["--size", "9", "--max-moves", "60", "--seed", "11", *RANDOM]
ENV = {**os.environ, "PYTHONPATH": os.pathsep.join(filter(None, [str(ROOT), os.environ.get("PYTHONPATH")]))}


def selfplay(*args, **options):
    """quelmar-selfplay run as a command, as a user runs it."""
    return subprocess.run([sys.executable, "-m", "quelmar_kit.selfplay", *args], env=ENV,
                          capture_output=True, text=True, timeout=options.pop("timeout", 300),
                          **options)


def test_the_printed_game_is_the_first_record(tmp_path, capsys):
    assert main(["--size", "9", "--max-moves", "80", *RANDOM]) == 0
    printed = capsys.readouterr().out
    main(["--size", "9", "--max-moves", "80", *RANDOM, "--games", "1",
          "--out", str(tmp_path / "one.jsonl")])
    [record] = records.read_records(tmp_path / "one.jsonl")
    turns, = re.findall(r"game over after (\d+) turns", printed)
    result, = re.findall(r"result: (\S+)", printed)
    assert (record.game.turn, record.headers.result) == (int(turns), result)
    assert (record.meta["seed"], record.headers.black, record.headers.reason) == (1, "random", "move-cap")


def test_the_main_job_is_a_search_game_that_ends_by_two_passes(capsys):
    assert main([]) == 0
    printed = capsys.readouterr().out
    assert printed.startswith("quelmar ") and "mcts:playouts=200 (black) against" in printed
    turns, = re.findall(r"game over after (\d+) turns \(two-passes\)", printed)
    assert len(re.findall(r"^turn ", printed, re.MULTILINE)) == int(turns)
    assert re.search(r"^result: [BW]\+[\d.]+$", printed, re.MULTILINE)


def test_records_depend_on_the_seeds_alone(tmp_path):
    files = {}
    for workers in (1, 2):
        files[workers] = tmp_path / f"w{workers}.jsonl"
        assert main(SMALL + ["--games", "5", "--workers", str(workers),
                             "--out", str(files[workers])]) == 0
    assert files[1].read_bytes() == files[2].read_bytes()
    played = records.read_records(files[1])
    assert [r.meta["seed"] for r in played] == [11, 12, 13, 14, 15]
    again = play_job(Job(2, 13, Settings(9.0, 0.0, 60, "random", "random")))
    assert records.encode(played[2]) == again.line
    # Every game is its own: no two seeds play the same game.
    assert len({r.deltas for r in played}) == 5


@pytest.mark.parametrize("args, words", [
    (["--size", "0"], "between 4 and 1000, not 0"),
    (["--size", "-5"], "between 4 and 1000, not -5"),
    (["--size", "nan"], "finite number, not nan"),
    (["--size", "inf"], "finite number, not inf"),
    (["--max-moves", "-5"], "-5 is not zero or more"),
    (["--seed", "-1"], "-1 is not zero or more"),
    (["--seed", str(2**52), "--games", "3"], "go past"),
    (["--komi", "1e9"], "within the board's area"),
    (["--black", "nobody"], "no bot is called 'nobody'"),
    (["--black", "random:tries=x"], "takes int, not 'x'"),
    (["--games", "0"], "0 is not a positive number"),
])
def test_bad_arguments_stop_before_anything_with_one_line(args, words, tmp_path):
    out = tmp_path / "games.jsonl"
    with pytest.raises(SystemExit) as stop:
        main(args + ["--games", "2", "--out", str(out)] if "--games" not in args else
             args + ["--out", str(out)])
    assert stop.value.code == 2
    assert not out.exists() and not list(tmp_path.iterdir())
    finished = selfplay(*args, "--games", "1", "--out", str(out)) if "--games" not in args \
        else selfplay(*args, "--out", str(out))
    assert finished.returncode == 2 and words in finished.stderr
    assert "Traceback" not in finished.stderr and finished.stderr.count("error:") == 1


def test_a_dead_ray_address_fails_fast_and_leaves_the_file(tmp_path):
    pytest.importorskip("ray")
    out = tmp_path / "games.jsonl"
    out.write_text("earlier results\n")
    # A port that accepts connections and never answers, as a wrong service
    # or a stalled head would: Ray alone retries it for minutes.
    silent = socket.create_server(("127.0.0.1", 0))
    addresses = ("127.0.0.1:1", "auto", f"127.0.0.1:{silent.getsockname()[1]}")
    for address in addresses:
        started = time.monotonic()
        finished = selfplay(*SMALL, "--games", "2", "--ray", address, "--out", str(out),
                            timeout=60)
        assert time.monotonic() - started < 30
        assert finished.returncode == 1, finished.stderr
        assert "Traceback" not in finished.stderr
        assert out.read_text() == "earlier results\n"
        assert sorted(p.name for p in tmp_path.iterdir()) == ["games.jsonl"]
        assert len(finished.stderr.splitlines()) == 1, finished.stderr
    silent.close()


def test_a_closed_pipe_ends_quietly_and_play_starts_at_once():
    # A hundred million games: jobs are made as they are played, so the
    # first records come at once, and head's exit ends the run quietly.
    command = (f"{sys.executable} -m quelmar_kit.selfplay --size 9 --max-moves 5 "
               f"{' '.join(RANDOM)} --games 100000000 --workers 1 --out - | head -n 3")
    finished = subprocess.run(["bash", "-o", "pipefail", "-c", command], env=ENV,
                              capture_output=True, text=True, timeout=120)
    assert len(finished.stdout.splitlines()) == 3
    assert finished.stderr == "" and finished.returncode == 141


def test_progress_off_a_terminal_is_lines_and_ends_with_a_summary(tmp_path):
    finished = selfplay(*SMALL, "--games", "4", "--workers", "1", "--out", str(tmp_path / "g.jsonl"))
    assert finished.returncode == 0, finished.stderr
    assert "\r" not in finished.stderr
    summary = finished.stderr.splitlines()[-2]
    assert re.fullmatch(r"4 games in [\d.]+ s \([\d.]+ games/s\): black won \d, white won \d, "
                        r"\d drawn; mean length 60\.0 turns", summary), summary


def test_resume_needs_a_partial_file_of_the_same_run(tmp_path):
    out = tmp_path / "games.jsonl"
    finished = selfplay(*SMALL, "--games", "3", "--out", str(out), "--resume")
    assert finished.returncode == 1 and "nothing to resume" in finished.stderr
    main(SMALL + ["--games", "3", "--workers", "1", "--out", str(tmp_path / "full.jsonl")])
    (tmp_path / "games.jsonl.partial").write_bytes((tmp_path / "full.jsonl").read_bytes())
    other = selfplay("--size", "9", "--max-moves", "60", "--seed", "12", *RANDOM, "--games", "3",
                     "--out", str(out), "--resume")
    assert other.returncode == 1 and "is another run's" in other.stderr
    fresh = selfplay(*SMALL, "--games", "3", "--out", str(out))
    assert fresh.returncode == 1 and "--resume completes it" in fresh.stderr
    assert not out.exists()


def test_resume_completes_a_file_cut_anywhere(tmp_path):
    full = tmp_path / "full.jsonl"
    main(SMALL + ["--games", "6", "--workers", "1", "--out", str(full)])
    whole = full.read_bytes()
    lines = whole.splitlines(keepends=True)
    # Two whole games, then half a line, as a crash mid-write leaves it.
    for cut in (b"", lines[0], lines[0] + lines[1] + lines[2][:50], lines[0][:-1]):
        out = tmp_path / "games.jsonl"
        out.unlink(missing_ok=True)
        (tmp_path / "games.jsonl.partial").write_bytes(cut)
        assert main(SMALL + ["--games", "6", "--workers", "2", "--out", str(out),
                             "--resume"]) == 0
        assert out.read_bytes() == whole
        assert not (tmp_path / "games.jsonl.partial").exists()


@pytest.mark.parametrize("stop", [signal.SIGINT, signal.SIGTERM])
def test_an_interrupted_run_keeps_the_old_file_and_resumes_to_the_same_bytes(tmp_path, stop):
    args = ["--size", "13", "--max-moves", "150", "--seed", "5", "--games", "40",
            "--workers", "2", *RANDOM]
    out, partial = tmp_path / "games.jsonl", tmp_path / "games.jsonl.partial"
    out.write_text("the earlier results\n")
    run = subprocess.Popen([sys.executable, "-m", "quelmar_kit.selfplay", *args, "--out", str(out)],
                           env=ENV, stderr=subprocess.PIPE, text=True, start_new_session=True,
                           preexec_fn=sigint_as_usual)
    try:
        deadline = time.monotonic() + 120
        while (not partial.exists() or partial.read_bytes().count(b"\n") < 3) and \
                time.monotonic() < deadline:
            time.sleep(0.05)
        # As Ctrl-C does: the signal reaches the whole process group.
        os.killpg(run.pid, stop)
        _, errors = run.communicate(timeout=60)
    finally:
        if run.poll() is None:
            os.killpg(run.pid, signal.SIGKILL)
    assert run.returncode == 130, errors
    assert "--resume completes the run" in errors and "Traceback" not in errors
    assert out.read_text() == "the earlier results\n"
    kept = records.read_records(partial)
    assert 3 <= len(kept) < 40 and [r.meta["seed"] for r in kept] == list(range(5, 5 + len(kept)))

    assert main(args + ["--out", str(out), "--resume"]) == 0
    uninterrupted = tmp_path / "uninterrupted.jsonl"
    main(args + ["--workers", "1", "--out", str(uninterrupted)])
    assert out.read_bytes() == uninterrupted.read_bytes()


@pytest.mark.integration
def test_a_local_ray_cluster_writes_the_records_of_the_process_pool(tmp_path):
    pytest.importorskip("ray")

    def play(out, *backend):
        finished = selfplay(*SMALL, "--games", "4", "--workers", "2", *backend, "--out", str(out))
        assert finished.returncode == 0, finished.stderr
        return out.read_bytes()

    from_ray = play(tmp_path / "ray.jsonl", "--ray", "local")
    assert from_ray == play(tmp_path / "pool.jsonl")
    assert len(records.read_records(tmp_path / "ray.jsonl")) == 4


def test_a_worker_killed_mid_run_fails_the_run_and_keeps_its_games(tmp_path):
    args = ["--size", "13", "--max-moves", "150", "--seed", "5", "--games", "40", "--workers", "2",
            *RANDOM]
    out, partial = tmp_path / "games.jsonl", tmp_path / "games.jsonl.partial"
    run = subprocess.Popen([sys.executable, "-m", "quelmar_kit.selfplay", *args, "--out", str(out)],
                           env=ENV, stderr=subprocess.PIPE, text=True)
    try:
        deadline = time.monotonic() + 120
        while (not partial.exists() or partial.read_bytes().count(b"\n") < 2) and \
                time.monotonic() < deadline:
            time.sleep(0.05)
        children = subprocess.run(["pgrep", "-P", str(run.pid)], capture_output=True,
                                  text=True).stdout.split()
        workers = [c for c in children
                   if b"spawn_main" in Path(f"/proc/{c}/cmdline").read_bytes()]
        os.kill(int(workers[0]), signal.SIGKILL)  # as the system does when memory runs out
        _, errors = run.communicate(timeout=60)
    finally:
        if run.poll() is None:
            run.kill()
    assert run.returncode == 1 and "a worker process died" in errors, errors
    assert "Traceback" not in errors and not out.exists()
    assert len(records.read_records(partial)) >= 2
    assert main(args + ["--out", str(out), "--resume"]) == 0
