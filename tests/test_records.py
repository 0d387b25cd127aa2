"""Game records read back exactly, and every bad record is turned away with
its line and field named. (Every game of the stateful test is also written
and read back, in its teardown.)"""

import json

import pytest

import quelmar as qm
import records

# On a board of 9 the last move, white's stone 5, takes black's stone 0.
CAPTURE = [(1.0, 1.0), (3.8, 1.0), (8.0, 8.0), (1.0, 3.8), (8.0, 5.0), (2.8, 2.8)]


def captured_then_passed():
    game = qm.Game(9)
    for point in CAPTURE:
        game.try_move(game.nearest_living_move(point))
    game.pass_turn()
    assert game.deltas()[5].captured_stone_ids == [0]
    return game


def edited(change):
    """The record of `captured_then_passed` as JSON, after `change`."""
    record = json.loads(records.encode(captured_then_passed()))
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


PASS = {"pass": True}
GOOD = records.encode(captured_then_passed())

BAD = [
    # text that is not one JSON object
    ("truncated", GOOD[: len(GOOD) // 2], None, "not valid JSON"),
    ("NaN", GOOD.replace('"x":8.0', '"x":NaN', 1), None, "NaN is not a JSON number"),
    ("a key twice", GOOD.replace('"version":1', '"version":1,"version":1'), None, "twice"),
    ("an array", "[" + GOOD + "]", None, "expected a JSON object, got an array"),
    # fields missing, unknown or of the wrong type
    ("format", edited(setter(["format"], "sgf")), "format", "expected 'quelmar-game'"),
    ("version", edited(setter(["version"], 2)), "version", "knows version 1, not 2"),
    ("size as text", edited(setter(["board_size"], "9")), "board_size", "got a string"),
    ("no log", edited(lambda r: r.pop("log")), "log", "missing"),
    ("extra field", edited(setter(["players"], [])), "players", "unexpected field"),
    ("x a boolean", edited(setter(["log", 1, "x"], True)), "log[1].x", "got a boolean"),
    ("x too large", edited(setter(["log", 1, "x"], 10**20)), "log[1].x", "too large"),
    ("id not the turn", edited(setter(["log", 2, "stone"], 7)), "log[2].stone", "on turn 2"),
    ("colour off turn", edited(setter(["log", 1, "color"], "black")), "log[1].color",
     "black cannot move on turn 1"),
    ("colour unknown", edited(setter(["log", 1, "color"], "red")), "log[1].color", "'red'"),
    ("negative id", edited(setter(["log", 5, "captured"], [-1])), "log[5].captured[0]",
     "between 0"),
    ("pass that captures", edited(setter(["log", 6, "captured"], [])), "log[6].captured",
     "unexpected field"),
    ("pass false", edited(setter(["log", 6, "pass"], False)), "log[6].pass", "must be true"),
    ("territory of three", edited(setter(["outcome", "territory"], [1.0, 2.0, 3.0])),
     "outcome.territory", "got 3 elements"),
    # logs no played game has
    ("captures own stone", edited(setter(["log", 5, "captured"], [1])), "log[5].captured[0]",
     "the mover's own colour"),
    ("captures a stone not in play", edited(setter(["log", 5, "captured"], [0, 6])), "log[5]",
     "stone 6 is not on the board"),
    ("captures twice", edited(setter(["log", 5, "captured"], [0, 0])), "log[5]",
     "the board refuses this turn"),
    ("stone off the board", edited(setter(["log", 2, "x"], 99.0)), "log[2]",
     "(99, 8) is not on the board"),
    ("turn after the end", edited(log_extended(PASS, {"stone": 8, "color": "black", "x": 7.0,
                                                      "y": 2.0, "captured": []})),
     "log[8]", "the game ended on two passes"),
    # outcomes the log does not lead to
    ("captures", edited(setter(["outcome", "captures"], [0, 0])), "outcome.captures",
     "the log captures [0, 1], not [0, 0]"),
    ("ended early", edited(setter(["outcome", "end"], "two-passes")), "outcome.end",
     "still in play"),
    ("not ended", edited(log_extended(PASS)), "outcome.end", "whose game is over"),
    ("end unknown", edited(setter(["outcome", "end"], "resigned")), "outcome.end",
     "not one of"),
    ("territory", edited(setter(["outcome", "territory"], [40.0, 41.0])), "outcome.territory",
     "the log gives"),
]


@pytest.mark.parametrize("text, field, words", [b[1:] for b in BAD], ids=[b[0] for b in BAD])
def test_bad_record_names_its_line_and_field(text, field, words):
    with pytest.raises(records.RecordError) as error:
        records.decode(text, 7)
    assert (error.value.line, error.value.field) == (7, field)
    assert words in str(error.value)
    assert str(error.value).startswith("line 7" if field is None else f"line 7, field {field}:")


def test_a_file_loads_whole_or_not_at_all(tmp_path):
    path = tmp_path / "games.jsonl"
    ended = qm.Game(12.5)
    ended.pass_turn()
    ended.pass_turn()
    lines = [GOOD, "", records.encode(ended, meta={"seed": 4})]
    records.write(path, lines)
    first, second = records.read(path)
    assert second.outcome == records.Outcome((0, 0), (-0.0, -0.0), "two-passes")
    assert second.meta == {"seed": 4}
    assert [records.encode(r.game) for r in (first, second)] == [GOOD, records.encode(ended)]

    records.write(path, lines + [GOOD[:-1]])
    with pytest.raises(records.RecordError, match=r"^line 4: not valid JSON"):
        records.read(path)


def test_whole_numbers_read_as_the_floats_they_name():
    record = records.decode(GOOD.replace('"x":8.0', '"x":8', 1).replace('"board_size":9.0', '"board_size":9'))
    assert records.encode(record.game) == GOOD
