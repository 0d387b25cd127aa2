"""quelmar-play as a hostile client and a careless one meet it, over real
sockets: each test pins a way the old single-game server failed (a foreign
page driving it, unbounded bodies, tracebacks instead of answers, lying
lengths, bad settings, games wiped by a second visitor, a restart losing
the game) and checks the sound behaviour instead."""

import json
import signal
import socket
import subprocess
import sys
import threading
import time

import pytest

import quelmar as qm
from quelmar_kit import records

from play_server import ENV, PlayServer

TIMEOUT = 2.0  # the server's read, write and idle timeout in these tests


@pytest.fixture(scope="module")
def server(tmp_path_factory):
    running = PlayServer(tmp_path_factory.mktemp("play") / "games.sqlite3", "--timeout", str(TIMEOUT))
    yield running
    code, err = running.stop()
    assert code == 0 and "Traceback" not in err, err


def read_all(sock) -> bytes:
    answer = b""
    while True:
        chunk = sock.recv(65536)
        if not chunk:
            return answer
        answer += chunk


def raw(server, data: bytes, read_timeout=10.0) -> bytes:
    """Sends bytes as they are and reads until the server closes."""
    with socket.create_connection(("127.0.0.1", server.port), timeout=read_timeout) as sock:
        sock.sendall(data)
        return read_all(sock)


def status_and_json(answer: bytes):
    head, _, body = answer.partition(b"\r\n\r\n")
    status = int(head.split(b" ")[1])
    return status, json.loads(body)


def test_a_foreign_page_can_neither_change_nor_read_a_game(server):
    game = server.new_game()
    body = json.dumps({"size": 9, "black": {"player": "person"}, "white": {"player": "person"}}).encode()
    # A form or a no-cors fetch: text/plain, from another origin or none.
    for headers in ({"Content-Type": "text/plain"},
                    {"Content-Type": "text/plain", "Origin": "http://evil.example"},
                    {"Content-Type": "application/json", "Origin": "http://evil.example"},
                    {"Content-Type": "application/json", "Origin": "null"}):
        status, _, answer = server.request("POST", "/api/games", body, headers)
        assert status == 403 and "Origin" in json.loads(answer)["error"]
    status, _, answer = server.request("POST", "/api/games", body, server.own("text/plain"))
    assert status == 415
    # A rebinding name: the browser sends its own name as Host.
    for path in (f"/api/games/{game.id}/record", f"/api/games/{game.id}", "/"):
        status, _, answer = server.request("GET", path, headers={"Host": f"evil.example:{server.port}"})
        assert status == 421 and "does not answer for the host" in json.loads(answer)["error"]
    status, _, _ = server.request("GET", "/", headers={"Host": f"localhost:{server.port}"})
    assert status == 200
    # The seat's own token is needed, not just any request from the page.
    assert game.act("pass", "black")[0] == 200
    status, refused = server.post(f"/api/games/{game.id}/pass", {"token": "guess", "version": 1})
    assert status == 403 and "opens no seat" in refused["error"]


@pytest.mark.parametrize("body, words", [
    (b'{"size": ["9"], "black": {"player": "person"}, "white": {"player": "person"}}', "must be a number"),
    (b'{"size": 5e-324, "black": {"player": "person"}, "white": {"player": "person"}}', "between 4 and 1000"),
    (b'{"size": 1e300, "black": {"player": "person"}, "white": {"player": "person"}}', "between 4 and 1000"),
    (b'{"size": NaN, "black": {"player": "person"}, "white": {"player": "person"}}', "NaN is not a JSON number"),
    (b'{"size": 1e999, "black": {"player": "person"}, "white": {"player": "person"}}', "out of range"),
    (b'{"size": 9, "komi": 1e9, "black": {"player": "person"}, "white": {"player": "person"}}', "komi"),
    (b'{"size": 9, "black": {"player": "bot", "bot": "nobody"}, "white": {"player": "person"}}', "no bot is called"),
    (b'{"size": 9, "black": {"player": "bot", "bot": "random", "options": {"tries": "x"}}, '
     b'"white": {"player": "person"}}', "takes int"),
    (b'{"size": 9, "black": {"player": "person"}, "white": {"player": "person"}, "colour": 1}', "no field"),
    (b'{"size": 9, "size": 9, "black": {"player": "person"}, "white": {"player": "person"}}', "twice"),
    (b"[" * 100_000 + b"]" * 100_000, "usable JSON"),
    (b"\xff\xfe", "not UTF-8"),
    (b"", "not valid JSON"),
])
def test_bad_bodies_get_a_json_400_naming_the_fault(server, body, words):
    if len(body) > 4096:  # the deep nesting is past the small body limit: ask for more room
        status, _, answer = server.request("POST", "/api/records", body, server.own("application/x-ndjson"))
        assert status == 200 and "nested" in json.loads(answer)["records"][0]["error"]
        body = b"[" * 2000 + b"]" * 2000
    status, _, answer = server.request("POST", "/api/games", body, server.own())
    assert status == 400
    assert words in json.loads(answer)["error"]


@pytest.mark.parametrize("request_bytes, status, words", [
    (b"POST /api/games HTTP/1.1\r\nHost: {host}\r\nContent-Length: abc\r\n\r\n", 400, "not valid HTTP"),
    (b"POST /api/games HTTP/1.1\r\nHost: {host}\r\nContent-Length: 1e18\r\n\r\n", 400, "not valid HTTP"),
    (b"GET / HTTP/1.1\r\nHost: {host}\r\nX-Long: " + b"a" * 20000 + b"\r\n\r\n", 400, "not valid HTTP"),
    (b"BREW /pot HTTP/1.1\r\nHost: {host}\r\n\r\n", 400, "not valid HTTP"),
    (b"DELETE /api/lobby HTTP/1.1\r\nHost: {host}\r\n\r\n", 405, "not a method"),
    (b"GET /nowhere HTTP/1.1\r\nHost: {host}\r\n\r\n", 404, "nothing at this address"),
    (b"GET / HTTP/1.0\r\n\r\n", 421, "does not answer"),
])
def test_requests_the_server_cannot_parse_get_json_too(server, request_bytes, status, words):
    request_bytes = request_bytes.replace(b"\r\n\r\n", b"\r\nConnection: close\r\n\r\n", 1)
    answer = raw(server, request_bytes.replace(b"{host}", f"127.0.0.1:{server.port}".encode()))
    got, value = status_and_json(answer)
    assert got == status and words in value["error"]


def test_a_body_over_its_limit_is_refused_before_it_is_read(server):
    host = f"127.0.0.1:{server.port}"
    for length in (200 * 2**20, 10**18):
        head = (f"POST /api/records HTTP/1.1\r\nHost: {host}\r\nOrigin: http://{host}\r\n"
                f"Content-Type: application/x-ndjson\r\nContent-Length: {length}\r\n\r\n").encode()
        started = time.monotonic()
        status, value = status_and_json(raw(server, head + b"\n" * 1000))
        assert status == 413 and "larger than 16777216 bytes" in value["error"]
        assert time.monotonic() - started < TIMEOUT  # answered without waiting for the body
    # Sent in chunks without a length, it is cut off at the limit.
    head = (f"POST /api/games HTTP/1.1\r\nHost: {host}\r\nOrigin: http://{host}\r\n"
            f"Content-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n").encode()
    chunk = b"1000\r\n" + b" " * 4096 + b"\r\n"
    status, value = status_and_json(raw(server, head + chunk * 3 + b"0\r\n\r\n"))
    assert status == 413 and "larger than 4096 bytes" in value["error"]


def test_a_lying_or_stalled_client_costs_its_own_connection_only(server):
    host = f"127.0.0.1:{server.port}"
    game = server.new_game()
    lying = socket.create_connection(("127.0.0.1", server.port))
    lying.sendall((f"POST /api/games HTTP/1.1\r\nHost: {host}\r\nOrigin: http://{host}\r\n"
                   f"Content-Type: application/json\r\nContent-Length: 100\r\n\r\n{{").encode())
    trickling = socket.create_connection(("127.0.0.1", server.port))
    trickling.sendall(b"GET / HTTP/1.1\r\nHo")
    started = time.monotonic()
    # Meanwhile everyone else is served at once.
    for _ in range(20):
        assert game.view()["id"] == game.id
    assert time.monotonic() - started < 1.0
    lying.settimeout(TIMEOUT * 3)
    status, value = status_and_json(read_all(lying))
    assert status == 408 and "did not arrive" in value["error"]
    trickling.settimeout(TIMEOUT * 3)
    assert trickling.recv(100) == b""  # dropped: its headers never came whole
    assert time.monotonic() - started < TIMEOUT * 3
    lying.close()
    trickling.close()


def test_two_visitors_play_their_own_games_and_stale_clicks_are_refused(server):
    first, second = server.new_game(), server.new_game(size=12.5)
    assert first.move("black", 4, 4)[0] == 200
    # The second visitor's game is new and the first's stands.
    assert second.view()["turn"] == 0 and first.view()["turn"] == 1
    status, refused = first.move("black", 6, 6)
    assert status == 409 and refused["error"] == "it is white's turn, not yours"
    stale = first.view()["version"]
    assert first.move("white", 7, 7, version=stale)[0] == 200
    # A click made on the page before white's move lands nowhere.
    status, refused = first.move("black", 2, 7, version=stale)
    assert status == 409 and "look again" in refused["error"]
    # A refusal names the point rounded, not with sixteen digits.
    game = qm.Game(9)
    game.try_move((4.0, 4.0))
    game.try_move((7.0, 7.0))
    status, view = first.move("black", 4.4, 6.1)
    assert status == 200
    point = view["moves"][-1]["at"]
    assert tuple(point) == game.nearest_living_move((4.4, 6.1))


def test_a_change_once_answered_is_what_every_reader_sees(server):
    # The store's writer thread publishes a written change too, and could
    # lose the race against the answer: the next read then showed the game
    # before the move, and the page's next click was refused as stale.
    game = server.new_game(size=18.0)
    for i in range(24):
        status, answered = game.move("black" if i % 2 == 0 else "white", 1.5 + (i * 5.3) % 15,
                                     1.5 + (i * 3.1) % 15)
        assert status == 200, answered
        assert game.view()["version"] == answered["version"]


def test_a_self_capture_is_refused_in_rounded_words(tmp_path):
    """Black walls in a corner; white's stone inside would only die."""
    with_server = PlayServer(tmp_path / "g.sqlite3")
    try:
        game = with_server.new_game(size=9.0)
        reference = qm.Game(9)
        for color, point in [("black", (1.0, 3.8)), ("white", (8.0, 8.0)), ("black", (3.8, 1.0)),
                             ("white", (8.0, 5.0)), ("black", (2.8, 2.8))]:
            status, view = game.move(color, *point)
            assert status == 200, view
            reference.try_move(reference.nearest_living_move(point))
        target = reference.nearest_living_move((1.0, 1.0))
        with pytest.raises(qm.SelfCaptureError):
            reference.try_move(target)
        status, refused = game.move("white", 1.0, 1.0)
        assert status == 409
        assert f"({target[0]:.2f}, {target[1]:.2f}) would only take its own group" in refused["error"]
    finally:
        with_server.stop()


def record_line(game: qm.Game, **meta) -> str:
    return records.encode(records.record_of(game, meta=meta, black="ann", white="bo"))


def test_records_load_whole_files_and_lines_with_line_separators(server):
    game = qm.Game(9)
    game.try_move((4.0, 4.0))
    game.pass_turn()
    # A writer that does not escape U+2028: still one line of a file.
    odd = record_line(game, note="a\\u2028b").replace("\\\\u2028", "\u2028")
    assert "\u2028" in odd
    text = "\n".join([record_line(game), "{not json", "", odd]) + "\n"
    status, _, answer = server.request("POST", "/api/records", text.encode(),
                                       server.own("application/x-ndjson"))
    listed = json.loads(answer)["records"]
    assert status == 200 and [e["line"] for e in listed] == [1, 2, 4]
    assert listed[0]["black"] == "ann" and listed[0]["turns"] == 2
    assert "not valid JSON" in listed[1]["error"]
    status, made = server.post("/api/games/record", {"record": odd, "black": {"player": "person"},
                                                     "white": {"player": "bot", "bot": "random"}})
    assert status == 201, made
    status, view = server.get(f"/api/games/{made['id']}")
    assert view["turn"] == 2 and view["stones"] == [[0, "black", 4.0, 4.0]]
    status, refused = server.post("/api/games/record", {"record": odd[:80], "black": {"player": "person"},
                                                        "white": {"player": "person"}})
    assert status == 422 and refused["error"].startswith("not loaded: line 1")


def test_hostile_records_are_bounded_and_do_not_hold_anyone_up(server):
    game = server.new_game()
    # 20,000 meta keys: read in linear time, off every game's lock.
    many = qm.Game(9)
    many.try_move((4.0, 4.0))
    line = record_line(many, **{f"k{i}": i for i in range(20_000)})
    assert len(line) > 200_000
    done = threading.Event()
    waited = []

    def others():
        while not done.is_set():
            started = time.monotonic()
            game.view()
            waited.append(time.monotonic() - started)

    watcher = threading.Thread(target=others)
    watcher.start()
    started = time.monotonic()
    status, made = server.post("/api/games/record", {"record": line, "black": {"player": "person"},
                                                     "white": {"player": "person"}})
    loading = time.monotonic() - started
    done.set()
    watcher.join()
    assert status == 201 and loading < 5.0
    assert waited and max(waited) < 1.0
    # Fifty megabytes of blank lines: refused by their length, unread.
    status, _, answer = server.request("POST", "/api/records", b"\n" * (50 * 2**20),
                                       server.own("application/x-ndjson"))
    assert status == 413


@pytest.mark.parametrize("args, words", [
    (["--size", "nan"], "finite number, not nan"),
    (["--size", "inf"], "finite number, not inf"),
    (["--size", "-5"], "between 4 and 1000, not -5"),
    (["--size", "0"], "between 4 and 1000, not 0"),
    (["--komi", "1e9"], "within the board's area"),
    (["--port", "70000"], "is not a port"),
    (["--timeout", "0"], "must be positive"),
])
def test_bad_settings_stop_before_serving(args, words, tmp_path):
    finished = subprocess.run([sys.executable, "-m", "quelmar_kit.play", "--db", str(tmp_path / "g"), *args],
                              env=ENV, capture_output=True, text=True, timeout=60)
    assert finished.returncode == 2 and words in finished.stderr
    assert finished.stdout == "" and "Traceback" not in finished.stderr


def test_a_restarted_server_serves_every_game_where_it_stood(tmp_path):
    db = tmp_path / "games.sqlite3"
    first = PlayServer(db)
    try:
        games = [first.new_game(), first.new_game(size=7.5, komi=2.5)]
        games[0].move("black", 4, 4)
        games[0].move("white", 7, 7)
        games[0].act("undo", "white")
        games[1].act("pass", "black")
        games[1].act("resign", "white")
        before = [g.view() for g in games]
        records_before = [first.request("GET", f"/api/games/{g.id}/record")[2] for g in games]
    finally:
        code, err = first.stop(signal.SIGINT)
    assert code == 0 and "Traceback" not in err, err
    second = PlayServer(db, port=first.port)
    try:
        for game, view, record in zip(games, before, records_before):
            game.server = second
            assert game.view() == view
            assert second.request("GET", f"/api/games/{game.id}/record")[2] == record
        assert before[1]["result"]["words"] == "Black wins: White resigned."
        # The tokens still open their seats, and play goes on.
        assert games[0].move("white", 7, 2)[0] == 200
    finally:
        second.stop()


def test_a_game_against_a_bot_and_undo_taking_its_answer_back(tmp_path):
    running = PlayServer(tmp_path / "g.sqlite3")
    try:
        game = running.new_game(white={"player": "bot", "bot": "random", "options": {"tries": "5"}})
        assert "white" not in game.tokens
        assert game.move("black", 4, 4)[0] == 200
        deadline = time.monotonic() + 30
        while game.view()["turn"] < 2:
            assert time.monotonic() < deadline, "the bot never answered"
            time.sleep(0.05)
        view = game.view()
        assert view["players"]["white"] == {"kind": "bot", "name": "random:tries=5"}
        status, undone = game.act("undo", "black")
        assert status == 200 and undone["turn"] == 0
    finally:
        running.stop()
