"""The play server's parts without sockets: what the board shows against
the engine's own answers, the rules of seats, undo and bots on a table,
the SQLite store against the records format byte for byte (and after a
kill mid-write), the bot workers' deadline, and the Host and Origin
checks."""

import asyncio
import re
import signal
import subprocess
import sys
import textwrap
import time

import pytest

import quelmar as qm
from quelmar_kit import records
from quelmar_kit.bots import make_bot
from quelmar_kit.game_loop import play_game
from quelmar_kit.play import board, security, table as tables
from quelmar_kit.play.hall import Hall, HallSettings
from quelmar_kit.play.store import Store, record_of
from quelmar_kit.play.table import GameInfo, Refusal, Seat, Table
from quelmar_kit.play.thinking import Job, Thinker
from quelmar_kit.bots import Limit

from play_server import ENV

PERSON = Seat("person", "ann", security.token_hash("a"))
OTHER = Seat("person", "bo", security.token_hash("b"))
BOT = Seat("bot", "random")


def info(black=PERSON, white=OTHER, size=9.0, game_id="g1"):
    return GameInfo(game_id, size, 0.5, black, white, created=1.7e9)


def played(seed, size=9.0, moves=150):
    return play_game(size, make_bot("random", seed), make_bot("random", seed + 1), moves).game


def with_captures():
    for seed in range(1, 40):
        game = played(seed)
        if sum(game.captures) >= 2:
            return game
    raise AssertionError("no seeded game captured")


EYE = re.compile(r'<circle cx="([^"]+)" cy="([^"]+)" r="1" stroke="none"/>')


def test_the_board_shows_what_the_engine_answers_at_every_turn():
    game = with_captures()
    deltas = game.deltas()
    for turn in range(0, len(deltas) + 1, 7):
        position = qm.Game.replay(9.0, deltas[:turn])
        view = board.view(tables.Snapshot(info(), 3, position, None))
        engine_eyes = sorted((float(x), float(y)) for x, y in EYE.findall(position.dump_svg()))
        assert sorted(map(tuple, view["eyes"])) == engine_eyes
        assert view["territory"] == list(position.territory())
        assert view["stones"] == [[s.id, s.color.label, *s.position] for s in position.stones()]
        owners = [g["owner"] for g in view["groups"]]
        assert owners == [g.color.label for g in position.groups()]
        assert len(view["moves"]) == turn
    assert any(board.forced_eyes(deltas[:t]) for t in range(len(deltas)))


@pytest.mark.parametrize("reason, loser, words", [
    ("resignation", qm.Color.WHITE, "Black wins: White resigned."),
    ("time", qm.Color.BLACK, "White wins: Black's bot gave no move in time."),
    ("illegal-move", qm.Color.BLACK, "White wins: Black's bot played a move the rules refuse."),
])
def test_results_name_the_winner_in_words(reason, loser, words):
    snapshot = tables.Snapshot(info(), 1, qm.Game(9), tables.Stop(reason, loser))
    assert board.view(snapshot)["result"]["words"] == words
    game = qm.Game(9)
    game.try_move((4.0, 4.0))
    game.pass_turn()
    game.pass_turn()
    view = board.view(tables.Snapshot(info(), 1, game, None))
    assert view["result"]["words"] == f"Black wins by {view['result']['text'][2:]} points."
    assert not view["in_play"] and view["to_move"] is None


def replayed_by_changes(changes):
    """The log a store ends with when it applies `changes` in order."""
    log = []
    for change in changes:
        del log[change.keep:]
        log.extend(change.added)
    return log


def test_changes_rebuild_the_log_and_snapshots_never_move():
    changes = []
    t = Table(info(), qm.Game(9), on_change=changes.append)
    first = t.published
    t.play(qm.Color.BLACK, 0, (4.0, 4.0))
    t.play(qm.Color.WHITE, 1, (7.0, 7.0))
    t.undo(qm.Color.WHITE, 2)
    t.play(qm.Color.WHITE, 3, (2.0, 7.0))
    t.pass_turn(qm.Color.BLACK, 4)
    last = changes[-1].snapshot
    assert replayed_by_changes(changes) == last.game.deltas()
    assert [c.version for c in changes] == [1, 2, 3, 4, 5]
    assert first.game.turn == 0 and first.version == 0  # a snapshot is a copy
    t.resign(qm.Color.WHITE, 5)
    assert last.in_play and not changes[-1].snapshot.in_play


def test_seats_turns_and_undo_follow_the_rules():
    t = Table(info(), qm.Game(9))
    assert t.seat_of("a") == qm.Color.BLACK and t.seat_of("b") == qm.Color.WHITE
    with pytest.raises(Refusal, match="opens no seat"):
        t.seat_of("c")
    with pytest.raises(Refusal, match="nothing to take back"):
        t.undo(qm.Color.BLACK, 0)
    with pytest.raises(Refusal, match="black's turn"):
        t.play(qm.Color.WHITE, 0, (4.0, 4.0))
    t.play(qm.Color.BLACK, 0, (4.0, 4.0))
    with pytest.raises(Refusal, match="look again"):
        t.play(qm.Color.WHITE, 0, (7.0, 7.0))
    t.play(qm.Color.WHITE, 1, (7.0, 7.0))
    # A person's answer is theirs to take back, not the other player's.
    with pytest.raises(Refusal, match="white has answered"):
        t.undo(qm.Color.BLACK, 2)
    assert t.undo(qm.Color.WHITE, 2).snapshot.game.turn == 1
    # Against a bot, undo takes back the bot's answer with one's own move.
    b = Table(info(white=BOT), qm.Game(9))
    b.play(qm.Color.BLACK, 0, (4.0, 4.0))
    assert b.bot_move(qm.Color.WHITE, 1, (7.0, 7.0)) is not None
    assert b.undo(qm.Color.BLACK, 2).snapshot.game.turn == 0


def test_a_bot_move_for_a_position_that_is_gone_is_dropped_and_a_refused_one_loses():
    b = Table(info(white=BOT), qm.Game(9))
    b.play(qm.Color.BLACK, 0, (4.0, 4.0))
    b.undo(qm.Color.BLACK, 1)
    assert b.bot_move(qm.Color.WHITE, 1, (7.0, 7.0)) is None
    b.play(qm.Color.BLACK, 2, (4.0, 4.0))
    change = b.bot_move(qm.Color.WHITE, 3, (4.5, 4.5))  # inside black's dead zone
    assert change is not None and change.snapshot.stop.reason == "illegal-move"
    assert change.snapshot.stop.loser == qm.Color.WHITE and change.added == ()
    late = Table(info(white=BOT), qm.Game(9))
    late.play(qm.Color.BLACK, 0, (4.0, 4.0))
    assert late.bot_failed(qm.Color.WHITE, 1, "time", "no move").snapshot.reason == "time"


def test_a_game_stops_at_the_move_cap(monkeypatch):
    monkeypatch.setattr(tables, "MAX_TURNS", 3)
    t = Table(info(), qm.Game(9))
    for version, color in enumerate([qm.Color.BLACK, qm.Color.WHITE]):
        t.pass_turn(color, version) if version == 0 else t.play(color, version, (4.0, 4.0))
    change = t.play(qm.Color.BLACK, 2, (7.0, 7.0))
    assert change.snapshot.reason == "move-cap"
    with pytest.raises(Refusal, match="over"):
        t.pass_turn(qm.Color.WHITE, 3)


def stored_line(store, game_id):
    loaded = store.load(game_id)
    return loaded.line


def test_the_store_keeps_the_records_format_byte_for_byte(tmp_path):
    store = Store(tmp_path / "g.sqlite3")
    changes = []
    t = Table(info(), with_captures(), on_change=changes.append)
    futures = [store.submit(t.first_change())]
    last_mover = qm.Color.BLACK if t.published.game.turn % 2 == 1 else qm.Color.WHITE
    t.undo(last_mover, 0)
    t.pass_turn(last_mover, 1)
    futures += [store.submit(c) for c in changes]
    for future in futures:
        future.result(10)
    snapshot = changes[-1].snapshot
    line = stored_line(store, "g1")
    assert line == records.encode(record_of(snapshot))
    decoded = records.decode(line)
    assert decoded.deltas == tuple(snapshot.game.deltas())
    assert [s.id for s in store.summaries()] == ["g1"]
    store.close()
    again = Store(tmp_path / "g.sqlite3")
    assert stored_line(again, "g1") == line and again.load("nope") is None
    again.close()


WRITER = textwrap.dedent("""
    import sys
    import quelmar as qm
    from quelmar_kit.play.store import Store
    from quelmar_kit.play.table import GameInfo, Seat, Table
    store = Store(sys.argv[1])
    seat = Seat("person", "p", "h")
    changes = []
    t = Table(GameInfo("g", 40.0, 0.0, seat, seat, 1.0), qm.Game(40.0), on_change=changes.append)
    store.submit(t.first_change()).result()
    print("ready", flush=True)
    # Thirty moves, then thirty undos, over and over: every change writes.
    while True:
        for i in range(30):
            t.play(t.published.game.pending_color, len(changes), (2.0 + i, 2.0 + (i * 7) % 36))
            t.publish(changes[-1].snapshot)
            store.submit(changes[-1])
        for i in range(30):
            mover = t.published.game.pending_color.opposite()
            t.undo(mover, len(changes))
            t.publish(changes[-1].snapshot)
            store.submit(changes[-1])
""")


def test_a_kill_mid_write_leaves_a_game_that_loads(tmp_path):
    db = tmp_path / "g.sqlite3"
    writer = subprocess.Popen([sys.executable, "-c", WRITER, str(db)], env=ENV,
                              stdout=subprocess.PIPE, text=True)
    assert writer.stdout.readline().strip() == "ready"
    time.sleep(1.5)
    assert writer.poll() is None, "the writer stopped before it was killed"
    writer.send_signal(signal.SIGKILL)
    writer.wait()
    writer.stdout.close()
    store = Store(db)
    record = records.decode(stored_line(store, "g"))
    # What was written is whole: the log and the headers agree and replay.
    assert 0 <= record.game.turn <= 30 and record.headers.board_size == 40.0
    store.close()


def test_a_bot_that_overruns_its_deadline_loses_on_time_and_the_next_one_plays():
    async def run():
        thinker = Thinker(1)
        try:
            job = Job("random", 1, 9.0, [], Limit(time=0.1), 0.0)
            late = await thinker.think(job, 0.001)  # not even time to start the worker
            assert late.failure == "time" and late.move is None
            answer = await thinker.think(job, 60.0)
            assert answer.failure is None and isinstance(answer.move, tuple)
            broken = await thinker.think(Job("random:tries=0", 1, 9.0, [], Limit(), 0.0), 60.0)
            assert broken.failure == "illegal-move" and "tries must be positive" in broken.detail
        finally:
            thinker.close()
    asyncio.run(run())


def test_an_idle_game_leaves_memory_and_comes_back_as_it_was(tmp_path):
    async def run():
        hall = Hall(tmp_path / "g.sqlite3", Thinker(1), HallSettings())
        try:
            table = await hall.create(info(), qm.Game(9))
            change = table.play(qm.Color.BLACK, 0, (4.0, 4.0))
            await hall.commit(change)
            await asyncio.sleep(0.05)  # the publication follows the write
            before = hall.view(table.published)
            hall.follow("g1", +1)
            assert hall.forget_idle(0.0) == 0  # a page follows it
            hall.follow("g1", -1)
            assert hall.forget_idle(0.0) == 1
            again = await hall.get("g1")
            assert again is not table and hall.view(again.published) == before
            with pytest.raises(Refusal, match="no such game"):
                await hall.get("nope")
        finally:
            await hall.close()
    asyncio.run(run())


@pytest.mark.parametrize("header, port, allowed", [
    ("127.0.0.1:8000", 8000, True),
    ("LOCALHOST:8000", 8000, True),
    ("[::1]:8000", 8000, True),
    ("127.0.0.1:8001", 8000, False),
    ("127.0.0.1", 8000, False),
    ("localhost", 80, True),
    ("evil.example:8000", 8000, False),
    ("127.0.0.1:8000@evil", 8000, False),
    ("[::1", 8000, False),
    ("", 8000, False),
    (None, 8000, False),
])
def test_host_headers_must_name_this_server(header, port, allowed):
    assert security.host_allowed(header, security.served_names("127.0.0.1"), port) == allowed


def test_served_names_follow_the_bind_address_and_the_operator():
    assert security.served_names("0.0.0.0", ("Play.Example",)) == \
        ("127.0.0.1", "localhost", "[::1]", "play.example")
    assert security.served_names("192.0.2.7") == ("192.0.2.7",)
    assert security.served_names("::1") == ("127.0.0.1", "localhost", "[::1]")


@pytest.mark.parametrize("origin, allowed", [
    ("http://127.0.0.1:8000", True),
    ("https://127.0.0.1:8000", True),
    ("http://127.0.0.1:8001", False),
    ("http://evil.example", False),
    ("null", False),
    (None, False),
    ("http://127.0.0.1:8000/path", False),
    ("file://", False),
])
def test_origins_must_be_this_server(origin, allowed):
    assert security.origin_allowed(origin, "127.0.0.1:8000") == allowed
