"""A bounded load on loopback: 50 clients make 200 requests each to
quelmar-play while one client never reads its answers and another trickles
its headers a byte at a time. The others' 99th-percentile latency must stay
under 100 ms, the two bad clients must lose their own connections only,
and the server must answer normally afterwards. No bot plays, so nothing
but the load competes for the server's core."""

import asyncio
import socket
import statistics
import time

from quelmar_kit import records
from quelmar_kit.bots import make_bot
from quelmar_kit.game_loop import play_game

from play_server import PlayServer

CLIENTS = 50
REQUESTS = 200
TIMEOUT = 3.0


async def http_get(reader, writer, host, path):
    writer.write(f"GET {path} HTTP/1.1\r\nHost: {host}\r\n\r\n".encode())
    await writer.drain()
    head = await reader.readuntil(b"\r\n\r\n")
    status = int(head.split(b" ", 2)[1])
    length = next(int(line.split(b":", 1)[1]) for line in head.split(b"\r\n")
                  if line.lower().startswith(b"content-length:"))
    await reader.readexactly(length)
    return status


async def client(port, paths, latencies, statuses):
    host = f"127.0.0.1:{port}"
    reader, writer = await asyncio.open_connection("127.0.0.1", port)
    try:
        for i in range(REQUESTS):
            started = time.perf_counter()
            statuses.append(await http_get(reader, writer, host, paths[i % len(paths)]))
            latencies.append(time.perf_counter() - started)
    finally:
        writer.close()


def never_reading(port, path):
    """A client with a tiny window that asks for big answers and never reads."""
    sock = socket.socket()
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    sock.connect(("127.0.0.1", port))
    request = f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n\r\n".encode()
    sock.setblocking(False)
    try:
        for _ in range(200):
            sock.send(request)
    except BlockingIOError:
        pass  # the server stopped reading from us: that is the point
    return sock


async def trickle(port, stop, cut):
    """Sends a request's headers a byte every 50 ms until cut off or told to stop."""
    reader, writer = await asyncio.open_connection("127.0.0.1", port)
    text = f"GET / HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nX-Slow: " + "z" * 10_000
    started = time.monotonic()
    try:
        for ch in text:
            if stop.is_set():
                return
            writer.write(ch.encode())
            await writer.drain()
            try:
                if await asyncio.wait_for(reader.read(1), 0.05) == b"":
                    cut.append(time.monotonic() - started)
                    return
            except asyncio.TimeoutError:
                pass
    except ConnectionError:
        cut.append(time.monotonic() - started)
    finally:
        writer.close()


def test_fifty_clients_stay_fast_beside_a_stalled_and_a_trickling_one(tmp_path):
    server = PlayServer(tmp_path / "g.sqlite3", "--timeout", str(TIMEOUT))
    try:
        game = server.new_game(size=18.0)
        for i, color in enumerate(["black", "white"] * 6):
            answer = game.move(color, 2.0 + 2.7 * i, 3.0 + 2.3 * (i % 4))
            assert answer[0] == 200, answer
        # A long game for the staller to ask for: each answer is large.
        long_game = play_game(40.0, make_bot("random", 3), make_bot("random", 4), 700).game
        status, big = server.post("/api/games/record", {
            "record": records.encode(records.record_of(long_game)),
            "black": {"player": "person"}, "white": {"player": "person"}})
        assert status == 201
        paths = [f"/api/games/{game.id}", f"/api/games/{game.id}/snap?x=9.5&y=4.25",
                 f"/api/games/{game.id}", "/api/lobby", "/static/game.js"]
        staller = never_reading(server.port, f"/api/games/{big['id']}")

        latencies, statuses, cut = [], [], []

        async def load():
            stop = asyncio.Event()
            trickler = asyncio.create_task(trickle(server.port, stop, cut))
            await asyncio.sleep(0.2)
            started = time.perf_counter()
            await asyncio.wait_for(asyncio.gather(*(client(server.port, paths, latencies, statuses)
                                                    for _ in range(CLIENTS))), 120)
            elapsed = time.perf_counter() - started
            # The trickler must be cut off by the server's timeout, not by us.
            await asyncio.wait_for(trickler, TIMEOUT * 4)
            stop.set()
            return elapsed

        elapsed = asyncio.run(load(), debug=False)
        assert len(latencies) == CLIENTS * REQUESTS and set(statuses) == {200}
        ordered = sorted(latencies)
        p50, p99 = statistics.median(ordered), ordered[int(len(ordered) * 0.99)]
        print(f"\n{len(ordered)} requests in {elapsed:.2f} s ({len(ordered) / elapsed:.0f}/s): "
              f"p50 {p50 * 1000:.1f} ms, p99 {p99 * 1000:.1f} ms, max {ordered[-1] * 1000:.1f} ms; "
              f"trickler cut after {cut[0] if cut else float('nan'):.1f} s")
        assert p99 < 0.100
        assert cut and cut[0] < TIMEOUT * 3

        # The staller's connection is closed by the server's write deadline.
        staller.setblocking(True)
        staller.settimeout(TIMEOUT * 4)
        deadline = time.monotonic() + TIMEOUT * 4
        closed = False
        while time.monotonic() < deadline and not closed:
            try:
                closed = staller.recv(1 << 20) == b""
            except (ConnectionError, socket.timeout):
                closed = True
        staller.close()
        assert closed

        # And the server answers normally afterwards.
        assert server.request("GET", "/")[0] == 200
        assert game.move("black", 16.0, 16.0)[0] == 200
    finally:
        code, err = server.stop()
    assert code == 0 and "Traceback" not in err, err
