"""Game records read back exactly, and every bad record is turned away with
its line and field named. (Every game of the stateful test is also written
and read back, in its teardown.)"""

import io
import json

import pytest

import quelmar as qm
from quelmar_kit import bots, game_loop, records, scoring
from quelmar_kit.records import log_check

# On a board of 9 the last move, white's stone 5, takes black's stone 0.
CAPTURE = [(1.0, 1.0), (3.8, 1.0), (8.0, 8.0), (1.0, 3.8), (8.0, 5.0), (2.8, 2.8)]


def captured_then_passed():
    game = qm.Game(9)
    for point in CAPTURE:
        game.try_move(game.nearest_living_move(point))
    game.pass_turn()
    assert game.deltas()[5].captured_stone_ids == [0]
    return game


# The same game as the first version of the format wrote it.
V1 = ('{"format":"quelmar-game","version":1,"board_size":9.0,"log":[{"stone":0,"color":"black",'
      '"x":1.0,"y":1.0,"captured":[]},{"stone":1,"color":"white","x":3.8,"y":1.0,"captured":[]},'
      '{"stone":2,"color":"black","x":8.0,"y":8.0,"captured":[]},{"stone":3,"color":"white",'
      '"x":1.0,"y":3.8,"captured":[]},{"stone":4,"color":"black","x":8.0,"y":5.0,"captured":[]},'
      '{"stone":5,"color":"white","x":2.8,"y":2.8,"captured":[0]},{"pass":true}],"outcome":'
      '{"captures":[0,1],"territory":[32.85251062778052,48.14748937221947],"end":"unfinished"}}')
V1_ENDED = ('{"format":"quelmar-game","version":1,"board_size":12.5,"meta":{"seed":4},"log":'
            '[{"pass":true},{"pass":true}],"outcome":{"captures":[0,0],"territory":[-0.0,-0.0],'
            '"end":"two-passes"}}')
GOOD = records.encode(records.record_of(captured_then_passed(), black="alice", white="bob",
                                        meta={"seed": 3}))
PASS = {"pass": True}


def edited(line, change):
    record = json.loads(line)
    change(record)
    return json.dumps(record)


def setter(path, value):
    def change(record):
        *parents, last = path
        for key in parents:
            record = record[key]
        record[last] = value
    return change


def log_extended(*turns):
    return lambda record: record["log"].extend(turns)


def v1(change):
    return edited(V1, change)


def v2(change):
    return edited(GOOD, change)


BAD = [
    # text that is not one JSON object
    ("truncated", GOOD[: len(GOOD) // 2], None, "not valid JSON"),
    ("NaN", GOOD.replace('"x":8.0', '"x":NaN', 1), None, "NaN is not a JSON number"),
    ("out of range", GOOD.replace('"x":8.0', '"x":8e400', 1), None, "out of range"),
    ("a key twice", GOOD.replace('"version":2', '"version":2,"version":2'), None, "twice"),
    ("an array", "[" + GOOD + "]", None, "expected a JSON object, got an array"),
    ("deep nesting", GOOD.replace('"seed":3', '"seed":' + "[" * 200_000 + "]" * 200_000), None,
     "nested more than"),
    # fields missing, unknown or of the wrong type
    ("format", v1(setter(["format"], "sgf")), "format", "expected 'quelmar-game'"),
    ("version", v1(setter(["version"], 3)), "version", "knows versions 1 and 2, not 3"),
    ("size as text", v1(setter(["board_size"], "9")), "board_size", "got a string"),
    ("size too small", v1(setter(["board_size"], 5e-324)), "board_size", "between 4 and 1000"),
    ("size too large", v2(setter(["headers", "board_size"], 1e300)), "headers.board_size",
     "between 4 and 1000"),
    ("no log", v1(lambda r: r.pop("log")), "log", "missing"),
    ("extra field", v1(setter(["players"], [])), "players", "unexpected field"),
    ("x a boolean", v1(setter(["log", 1, "x"], True)), "log[1].x", "got a boolean"),
    ("x too large", v1(setter(["log", 1, "x"], 10**20)), "log[1].x", "too large"),
    ("id not the turn", v1(setter(["log", 2, "stone"], 7)), "log[2].stone", "on turn 2"),
    ("colour off turn", v1(setter(["log", 1, "color"], "black")), "log[1].color",
     "black cannot move on turn 1"),
    ("colour unknown", v1(setter(["log", 1, "color"], "red")), "log[1].color", "'red'"),
    ("negative id", v1(setter(["log", 5, "captured"], [-1])), "log[5].captured[0]",
     "between 0"),
    ("pass that captures", v1(setter(["log", 6, "captured"], [])), "log[6].captured",
     "unexpected field"),
    ("pass false", v1(setter(["log", 6, "pass"], False)), "log[6].pass", "must be true"),
    ("territory of three", v1(setter(["outcome", "territory"], [1.0, 2.0, 3.0])),
     "outcome.territory", "got 3 elements"),
    ("a note in version 1", v1(setter(["log", 1, "note"], {})), "log[1].note",
     "unexpected field"),
    # a typo outside the open places is refused, not kept
    ("typo in a turn", v2(lambda r: r["log"][1].update(coment="x")), "log[1].coment",
     "unexpected field"),
    ("typo in a header", v2(lambda r: r["headers"].update(blakc=r["headers"].pop("black"))),
     "headers.black", "missing"),
    ("typo in the outcome", v2(setter(["outcome", "territroy"], [])), "outcome.territroy",
     "unexpected field"),
    ("negative time", v2(setter(["log", 1, "note"], {"time": -1})), "log[1].note.time",
     "cannot be negative"),
    ("analysis not an object", v2(setter(["log", 1, "note"], {"analysis": [1]})),
     "log[1].note.analysis", "expected an object"),
    ("lone surrogate", GOOD.replace('"seed":3', '"seed":"\\ud800"'), "meta.seed",
     "lone surrogate"),
    ("deep meta", v2(setter(["meta", "seed"], json.loads("[" * 70 + "]" * 70))), "meta.seed" +
     "[0]" * 64, "nested more than 64"),
    # logs no played game has
    ("captures own stone", v1(setter(["log", 5, "captured"], [1])), "log[5].captured[0]",
     "the mover's own colour"),
    ("captures a stone not in play", v1(setter(["log", 5, "captured"], [0, 6])),
     "log[5].captured[1]", "stone 6 is not on the board"),
    ("captures twice", v1(setter(["log", 5, "captured"], [0, 0])), "log[5].captured[1]",
     "stone 0 is not on the board"),
    ("stone off the board", v1(setter(["log", 2, "x"], 99.0)), "log[2]",
     "(99, 8) is not on the board"),
    ("turn after the end", v1(log_extended(PASS, {"stone": 8, "color": "black", "x": 7.0,
                                                  "y": 2.0, "captured": []})),
     "log[8]", "the game ended on two passes"),
    # outcomes and results the log does not lead to
    ("captures", v1(setter(["outcome", "captures"], [0, 0])), "outcome.captures",
     "the log captures [0, 1], not [0, 0]"),
    ("ended early", v1(setter(["outcome", "end"], "two-passes")), "outcome.end",
     "still in play"),
    ("not ended", v1(log_extended(PASS)), "outcome.end", "whose game is over"),
    ("end unknown", v1(setter(["outcome", "end"], "resigned")), "outcome.end", "not one of"),
    ("territory", v1(setter(["outcome", "territory"], [40.0, 41.0])), "outcome.territory",
     "the log gives"),
    ("result not the score", v2(lambda r: r["headers"].update(result="B+1", reason="move-cap")),
     "headers.result", "give 'W+15.29', not 'B+1'"),
    ("unfinished with a result", v2(setter(["headers", "result"], "B+1")), "headers.result",
     "an unfinished game's result is '*'"),
    ("reason unknown", v2(setter(["headers", "reason"], "boredom")), "headers.reason",
     "not one of"),
    ("komi past the board", v2(setter(["headers", "komi"], 100.0)), "headers.komi",
     "within the board's area"),
]


@pytest.mark.parametrize("text, field, words", [b[1:] for b in BAD], ids=[b[0] for b in BAD])
def test_bad_record_names_its_line_and_field(text, field, words):
    with pytest.raises(records.RecordError) as error:
        records.decode(text, 7)
    assert (error.value.line, error.value.field) == (7, field)
    assert words in str(error.value)
    assert str(error.value).startswith("line 7" if field is None else f"line 7, field {field}:")


def test_version_1_records_keep_loading():
    record = records.decode(V1)
    assert records.encode(records.decode(records.encode(record))) == records.encode(record)
    assert record.deltas == tuple(captured_then_passed().deltas())
    assert (record.headers.result, record.headers.reason) == ("*", "unfinished")
    ended = records.decode(V1_ENDED)
    assert ended.outcome == records.Outcome((0, 0), (-0.0, -0.0))
    assert ended.meta == {"seed": 4}
    # The empty board's territory is -0.0 each: a margin of zero, a draw.
    assert (ended.headers.result, ended.headers.reason) == ("draw", "two-passes")


def test_a_whole_record_round_trips_byte_for_byte():
    game = captured_then_passed()
    notes = tuple(records.Note(time=0.25 * i, comment=f"turn {i}\u2028next" if i % 2 else None,
                               analysis={"visits": i, "pv": [[1.5, 2.5], "pass"]} if i == 3
                               else None, extra={"clock": [1, 2]} if i == 4 else {})
                  for i in range(game.turn))
    record = records.record_of(
        game, komi=0.5, notes=notes, event="club night", site="127.0.0.1", date="2026-12-09",
        round="3", black="mcts:playouts=200", white="J\u00fcrgen",
        extra={"opening": "corners", "time_control": {"base": 60}},
        meta={"seed": 9, "nested": {"a": [1, 2.5, None, True]}, "line\u2029end": "\u00e9"})
    line = records.encode(record)
    assert "\n" not in line and len(line.splitlines()) == 1
    again = records.decode(line)
    assert again == record
    assert records.encode(again) == line
    # Unknown headers are written after the fixed ones, in their order.
    assert list(json.loads(line)["headers"]) == [*records.HEADER_NAMES, "opening", "time_control"]


def test_results_follow_the_score_and_the_reason():
    game = captured_then_passed()
    black, white = game.territory()
    assert records.record_of(game, reason="move-cap").headers.result == "W+15.29"
    assert records.record_of(game, komi=-20.0, reason="move-cap").headers.result == "B+4.71"
    forfeit = records.record_of(game, reason="illegal-move", loser=qm.Color.WHITE)
    assert (forfeit.headers.result, forfeit.result.winner) == ("B+F", qm.Color.BLACK)
    assert records.decode(records.encode(forfeit)).result == forfeit.result
    resigned = records.decode(edited(GOOD, lambda r: r["headers"].update(
        result="W+R", reason="resignation")))
    assert resigned.result.winner == qm.Color.WHITE
    even = scoring.scored((black, white), black - white, "move-cap")
    assert even.text == "draw" and even.winner is None
    assert scoring.scored((10.0, 9.996), 0.0).text == "B+0.004"
    assert scoring.scored((10.0, 9.0), 0.125).text == "B+0.88"
    assert scoring.scored((9.0, 10.0), 0.0).text == "W+1"
    with pytest.raises(records.RecordError, match="B\\+R or W\\+R"):
        records.decode(edited(GOOD, lambda r: r["headers"].update(result="B+T",
                                                                  reason="resignation")))


def test_a_refused_turn_is_found_in_one_replay(monkeypatch):
    """A long valid log with one stone off the board is refused at that turn
    after a single replay, not a search through replays of its prefixes."""
    random = bots.RandomBot(seed=5)
    game = game_loop.play_game(18.0, random, random, max_moves=300).game
    assert not game.status.has_ended() and game.stone_count > 40
    log = json.loads(records.encode(records.record_of(game)))["log"]
    turns = log + [{"stone": len(log), "color": "black" if len(log) % 2 == 0 else "white",
                    "x": 40.0, "y": 1.0, "captured": []}]
    line = edited(GOOD, lambda r: (r.update(log=turns), r["headers"].update(board_size=18.0)))
    calls = []
    real = qm.Game.replay

    class Counting:
        def __getattr__(self, name):
            return getattr(qm, name)

        class Game:
            @staticmethod
            def replay(size, deltas):
                calls.append(len(deltas))
                return real(size, deltas)

    monkeypatch.setattr(log_check, "qm", Counting())
    with pytest.raises(records.RecordError) as error:
        records.decode(line)
    assert error.value.field == f"log[{len(log)}]", str(error.value)
    assert "(40, 1) is not on the board" in str(error.value)
    assert calls == [len(turns)]


def test_many_keys_and_deep_values_cost_time_linear_in_the_line():
    # With a quadratic duplicate check these take minutes; linear, a moment.
    meta = {f"k{i}": i for i in range(100_000)}
    line = edited(GOOD, setter(["meta"], meta))
    assert records.decode(line).meta == meta
    twice = line[:-1] + ',"meta":{}}'
    with pytest.raises(records.RecordError, match="'meta' appears twice"):
        records.decode(twice)


def lines(*texts):
    return io.BytesIO("".join(t + "\n" for t in texts).encode())


def test_a_stream_reads_one_record_at_a_time():
    class Endless(io.RawIOBase):
        """A good line, then a file that must never be read."""

        def __init__(self):
            self.data = (GOOD + "\n").encode()

        def readable(self):
            return True

        def readinto(self, buffer):
            if not self.data:
                raise AssertionError("read past the first record")
            n = min(len(buffer), len(self.data))
            buffer[:n], self.data = self.data[:n], self.data[n:]
            return n

    stream = io.BufferedReader(Endless(), buffer_size=len(GOOD) + 1)
    first = next(records.iter_records(stream))
    assert (first.line, first.offset, records.encode(first.record)) == (1, 0, GOOD)


def test_errors_raise_skip_or_collect_with_lines_and_offsets():
    bad = GOOD[:-1]
    source = lambda: lines(GOOD, "", "  ", bad, V1, "\xff")  # noqa: E731
    with pytest.raises(records.RecordError, match=r"^line 4: not valid JSON"):
        list(records.iter_records(source()))
    assert [e.line for e in records.iter_records(source(), "skip")] == [1, 5]
    collected = list(records.iter_records(source(), "collect"))
    assert [(e.line, e.error is None) for e in collected] == [
        (1, True), (4, False), (5, True), (6, False)]
    # Offsets are where each line starts, in bytes.
    raw = source().getvalue()
    for entry in collected:
        assert raw[entry.offset:].startswith(raw.splitlines(keepends=True)[entry.line - 1])
    # "\xff" above is U+00FF, text but not JSON; a raw byte 0xff is not text.
    [error] = [e.error for e in records.iter_records(io.BytesIO(b"\xff\xfe\n"), "collect")]
    assert (error.line, error.field) == (1, None) and "not UTF-8 text: byte 0xff" in str(error)


def test_an_overlong_line_has_its_own_error_and_the_next_line_still_reads():
    stream = io.BytesIO(b"x" * 5000 + b"\n" + (GOOD + "\n").encode())
    first, second = records.iter_records(stream, "collect", max_line_bytes=len(GOOD) + 1)
    assert first.error.line == 1 and "longer than" in str(first.error)
    assert second.line == 2 and second.offset == 5001 and second.record is not None


def test_the_headers_only_path_does_not_replay(monkeypatch):
    monkeypatch.setattr(log_check, "replay", lambda *a: pytest.fail("replayed"))
    wrong_log = edited(GOOD, setter(["log", 2, "x"], 99.0))
    [entry] = records.iter_records(lines(wrong_log), headers_only=True)
    assert entry.record is None
    assert (entry.headers.black, entry.headers.white, entry.meta) == ("alice", "bob", {"seed": 3})


def test_a_line_separator_inside_text_stays_one_line():
    record = records.record_of(captured_then_passed(), meta={"note": "a\u2028b\u2029c\x85d"})
    line = records.encode(record)
    assert len(line.splitlines()) == 1
    [entry] = records.iter_records(lines(line))
    assert entry.record.meta == record.meta


def test_writing_replaces_a_file_whole_or_not_at_all(tmp_path):
    path = tmp_path / "games.jsonl"
    record = records.decode(GOOD)
    records.write_records(path, [record, record])
    before = path.read_bytes()

    def failing():
        yield record
        raise RuntimeError("the writer failed")

    with pytest.raises(RuntimeError):
        records.write_records(path, failing())
    assert path.read_bytes() == before
    assert sorted(p.name for p in tmp_path.iterdir()) == ["games.jsonl"]
    records.append_records(path, [records.decode(V1_ENDED)])
    assert [r.headers.board_size for r in records.read_records(path)] == [9.0, 9.0, 12.5]


def test_whole_numbers_read_as_the_floats_they_name():
    record = records.decode(GOOD.replace('"x":8.0', '"x":8', 1).replace(
        '"board_size":9.0', '"board_size":9'))
    assert records.encode(record) == GOOD


def test_the_checker_names_every_bad_record_and_counts_the_good(tmp_path, capsys):
    from quelmar_kit.records.check import main

    good, bad = tmp_path / "good.jsonl", tmp_path / "bad.jsonl"
    good.write_text(GOOD + "\n" + V1 + "\n")
    bad.write_bytes((GOOD + "\n" + GOOD[:40] + "\n\n" + v1(setter(["log", 2, "x"], 99.0)) +
                     "\n").encode() + b"\xff\n")
    assert main(["check", str(good)]) == 0
    assert capsys.readouterr().out == f"{good}: 2 good records\n"
    assert main(["check", str(good), str(bad), str(tmp_path / "missing.jsonl")]) == 1
    assert capsys.readouterr().out.splitlines() == [
        f"{good}: 2 good records",
        f"{bad}:2: not valid JSON: Unterminated string starting at (column 38)",
        f"{bad}:4: log[2]: the board refuses this turn: stone 2's centre (99, 8) is not on the board",
        f"{bad}:5: not UTF-8 text: byte 0xff at column 1",
        f"{bad}: 1 good record, 3 bad",
        f"{tmp_path / 'missing.jsonl'}: cannot read: No such file or directory",
    ]


def test_a_written_file_has_the_mode_of_the_file_it_replaces_or_of_a_new_file(tmp_path):
    import os
    record = records.decode(GOOD)
    fresh, kept = tmp_path / "fresh.jsonl", tmp_path / "kept.jsonl"
    umask = os.umask(0o022)
    try:
        records.write_records(fresh, [record])
        kept.write_text("")
        kept.chmod(0o640)
        records.write_records(kept, [record])
    finally:
        os.umask(umask)
    assert (fresh.stat().st_mode & 0o777, kept.stat().st_mode & 0o777) == (0o644, 0o640)
