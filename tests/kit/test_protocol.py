"""The engine protocol: quelmar-engine driven as a subprocess through a
session that uses every command, ids, comments, errors, a refused move,
undo and final_score, compared with the same session served in-process;
the client's deadlines and errors; numbers that cross the wire bit for bit.
"""

import json
import math
import os
import struct
import subprocess
import sys
import time
from pathlib import Path

import pytest
from hypothesis import given, strategies as st

import quelmar as qm
from quelmar_kit import __version__, records, scoring
from quelmar_kit.bots import Limit
from quelmar_kit.protocol import wire
from quelmar_kit.protocol.client import (CommandRefused, Engine, EngineLimits, EngineTimeout)
from quelmar_kit.protocol.server import Session, serve

ROOT = Path(__file__).resolve().parents[2]
ENV = {**os.environ, "PYTHONPATH": os.pathsep.join(filter(None, [str(ROOT), os.environ.get("PYTHONPATH")]))}
ENGINE = [sys.executable, "-m", "quelmar_kit.protocol"]
BOT = ["--bot", "mcts:playouts=20", "--seed", "4"]

ALL_COMMANDS = sorted([
    "protocol_version", "name", "version", "known_command", "list_commands", "quit",
    "boardsize", "clear_board", "komi", "play", "genmove", "undo", "final_score", "showboard",
    "time_settings", "time_left", "quelmar-seed", "quelmar-playouts", "quelmar-record",
    "quelmar-load", "quelmar-analysis"])

def loaded_record():
    """A record of four turns, komi 1.5, with a '#' inside a string."""
    game = qm.Game(9.0)
    for point in [(2.0, 2.0), (6.5, 6.5), (2.0, 6.5)]:
        game.try_move(point)
    game.pass_turn()
    record = records.record_of(game, komi=1.5, meta={"note": "a # b  c"})
    # '#' begins a comment: inside a record's JSON it travels escaped.
    return records.encode(record).replace("#", "\\u0023")


SESSION = """\
# a session that uses every command
1 protocol_version
2 name

3 version
4 known_command genmove
5 known_command fly
6 list_commands
7 boardsize 9
8 komi 0.5
9 clear_board
10 play black 4.5 4.5   # a comment after a command
11 play black 1 1
12 play white 4.5 5.5
13 play w 4.5 8
14 genmove black
15 showboard
16 undo
17 showboard
18 play black pass
19 genmove white
20 final_score
21 time_settings fischer 10 0.5
22 time_left white 5
23 time_settings sudden 3
24 boardsize 3
25 komi nan
26 play purple 1 1
27 frobnicate
28
29 quelmar-analysis
\tquelmar-seed\x01 5\t
30 quelmar-playouts 10
32 quelmar-record
320 quelmar-load {record}
33 undo
34 undo
35 undo
36 undo
37 undo
38 time_settings move 5
39 genmove black
40 quit
41 name
""".replace("{record}", loaded_record())


def answers(text):
    """The answers of a transcript, each without its empty line."""
    assert text.endswith("\n\n")
    return text[:-2].split("\n\n")


def test_a_scripted_session_over_pipes_answers_as_the_session_in_process():
    run = subprocess.run([*ENGINE, *BOT], input=SESSION, env=ENV, capture_output=True,
                         text=True, timeout=120)
    assert run.returncode == 0 and run.stderr == ""
    got = answers(run.stdout)

    session, here = Session("mcts:playouts=20", 4), []
    for line in SESSION.splitlines():
        if session.finished:
            break
        answer = session.handle(line)
        if answer is not None:
            here.append(answer)
    assert "".join(here) == run.stdout  # byte for byte, genmove included

    by_id = {}
    for answer in got:
        head = answer.split(" ", 1)[0].split("\n", 1)[0]
        by_id[head[1:] or None] = answer
    assert by_id["1"] == "=1 1"
    assert by_id["2"] == "=2 mcts:playouts=20"
    assert by_id["3"].startswith(f"=3 {__version__}")
    assert (by_id["4"], by_id["5"]) == ("=4 true", "=5 false")
    assert by_id["6"] == "=6 " + "\n".join(ALL_COMMANDS)
    assert all(by_id[i] == f"={i}" for i in ("7", "8", "9", "10", "13", "16", "18", "21", "22"))
    assert by_id["11"] == "?11 it is white's turn, not black's"
    assert by_id["12"] == "?12 no stone may be placed at (4.5, 5.5)"  # the engine's own words
    x, y = map(float, by_id["14"].split()[1:])
    board = json.loads(by_id["15"].split(" ", 1)[1])
    assert board["turn"] == 3 and board["to_move"] == "white" and board["komi"] == 0.5
    assert board["stones"] == [[0, "black", 4.5, 4.5], [1, "white", 4.5, 8.0], [2, "black", x, y]]
    after_undo = json.loads(by_id["17"].split(" ", 1)[1])
    assert len(after_undo["stones"]) == 2 and after_undo["to_move"] == "black"
    assert by_id["20"].startswith("=20 ")
    assert by_id["23"].startswith("?23 a time control is one of none, move, absolute, fischer")
    assert by_id["24"] == "?24 the board size must be between 4 and 1000, not 3"
    assert by_id["25"] == "?25 the komi must be a decimal number, not 'nan'"
    assert by_id["26"] == "?26 a colour is black or white, not 'purple'"
    assert by_id["27"] == "?27 unknown command: 'frobnicate'"
    assert by_id["28"] == "?28 unknown command: nothing"
    assert by_id[None] == "="  # the seed, its line cleaned of tabs and control characters
    assert "playouts" in json.loads(by_id["29"].split(" ", 1)[1])  # genmove 19's search
    record = records.decode(by_id["32"].split(" ", 1)[1])
    assert record.headers.komi == 0.5 and len(record.deltas) == 4
    assert by_id["320"] == "=320"  # four turns of its own, undone below
    assert [by_id[i] for i in ("33", "34", "35", "36")] == ["=33", "=34", "=35", "=36"]
    assert by_id["37"] == "?37 there is no move to undo"
    assert by_id["39"].startswith("=39 ")  # a move under a clock
    assert by_id["40"] == "=40" and "41" not in by_id  # nothing is read after quit


def test_final_score_is_the_kits_score_of_the_position():
    session = Session("greedy", 1)
    for line in ["boardsize 9", "komi 2.5", "play black 2 2", "genmove white", "genmove black"]:
        assert session.handle(line).startswith("=")
    expected = scoring.scored(session.game.territory(), 2.5).text
    assert session.handle("final_score") == f"= {expected}\n\n"


def test_a_record_loads_into_the_session_and_comes_back_the_same():
    session = Session("random", 1)
    line = loaded_record()
    assert session.handle(f"7 quelmar-load {line}") == "=7\n\n"
    assert session.komi == 1.5 and len(session.game.deltas()) == 4
    back = session.handle("quelmar-record")[2:-2]
    assert records.decode(back).deltas == records.decode(line).deltas
    assert session.handle("quelmar-load {").startswith("? not valid JSON")


def test_the_client_plays_asks_and_reports_refusals():
    with Engine([*ENGINE, *BOT], cwd=str(ROOT)) as engine:
        assert engine.name == "mcts:playouts=20" and engine.known("quelmar-seed")
        engine.boardsize(9.0)
        engine.komi(0.5)
        engine.play(qm.Color.BLACK, (4.5, 4.5))
        with pytest.raises(CommandRefused) as refused:
            engine.play(qm.Color.WHITE, (4.5, 5.5))
        assert refused.value.message == "no stone may be placed at (4.5, 5.5)"
        generated = engine.genmove(qm.Color.WHITE, Limit(time=5.0, playouts=30))
        assert isinstance(generated.move, tuple) and generated.seconds > 0
        assert json.loads(engine.send("quelmar-analysis"))["playouts"] == 30
        assert len(engine.showboard()["stones"]) == 2
        engine.undo()
        assert engine.final_score().startswith("B+")
        process = engine.process
    assert process.poll() == 0  # quit, and it exited by itself


def test_a_slow_engine_times_out_and_stays_failed():
    engine = Engine([*ENGINE, "--bot", "mcts", "--playouts", "1000000"], cwd=str(ROOT))
    try:
        engine.boardsize(9.0)
        started = time.monotonic()
        with pytest.raises(EngineTimeout):
            engine.genmove(qm.Color.BLACK, timeout=0.5)
        assert time.monotonic() - started < 3
        assert engine.process.poll() is not None  # ended: its state is unknown
        with pytest.raises(EngineTimeout):
            engine.play(qm.Color.BLACK, "pass")
    finally:
        engine.close()


def test_an_engine_that_will_not_start_is_reported_within_its_time():
    started = time.monotonic()
    with pytest.raises(EngineTimeout):
        Engine([sys.executable, "-c", "import time; time.sleep(60)"],
               EngineLimits(start=0.5))
    assert time.monotonic() - started < 5


def test_an_overlong_line_is_refused_and_skipped():
    import io
    session = Session("random", 1)
    source = io.BytesIO(b"1 name " + b"x" * (wire.MAX_LINE_BYTES + 10) + b"\n2 name\n")
    sink = io.StringIO()
    serve(session, source, sink)
    assert sink.getvalue() == (f"? a line is at most {wire.MAX_LINE_BYTES} bytes\n\n"
                               "=2 random\n\n")


@pytest.mark.parametrize("line, command", [
    ("", None),
    ("   # only a comment", None),
    ("name", wire.Command(None, "name", ())),
    ("12 play  black\t1.5  2", wire.Command(12, "play", ("black", "1.5", "2"), "black 1.5  2")),
    ("7", wire.Command(7, "", ())),
    ("genmove\x07 white # why", wire.Command(None, "genmove", ("white",), "white")),
    ("\x00\x1b", None),
])
def test_command_lines_parse_as_the_framing_says(line, command):
    assert wire.parse_command(line) == command


def test_answers_never_hold_an_empty_line():
    assert wire.success(3, "a\n\nb\n") == "=3 a\nb\n\n"
    assert wire.failure(None, "") == "?\n\n"


@pytest.mark.parametrize("text", ["nan", "inf", "-inf", "1e999", "0x10", "1_0", "", "1.2.3", "--1"])
def test_numbers_that_are_not_finite_decimals_are_refused(text):
    with pytest.raises(wire.WireError):
        wire.parse_number(text)


@given(st.floats(allow_nan=False, allow_infinity=False))
def test_coordinates_cross_the_wire_bit_for_bit(value):
    back = wire.parse_number(wire.number_text(value))
    assert struct.pack("<d", back) == struct.pack("<d", value)
    move = wire.parse_move(wire.move_text((value, -value)).split())
    assert struct.pack("<2d", *move) == struct.pack("<2d", value, -value)
    assert not math.isnan(back)
