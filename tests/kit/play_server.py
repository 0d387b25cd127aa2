"""quelmar-play run as a user runs it, for the play server's tests: a
subprocess on 127.0.0.1 with its own database, and a small HTTP client
that speaks for the server's own pages (Host and Origin set)."""

from __future__ import annotations

import http.client
import json
import os
import re
import signal
import subprocess
import sys
from pathlib import Path
from urllib.parse import unquote

from processes import sigint_as_usual

ROOT = Path(__file__).resolve().parents[2]
ENV = {**os.environ, "PYTHONPATH": os.pathsep.join(filter(None, [str(ROOT), os.environ.get("PYTHONPATH")]))}


class PlayServer:
    def __init__(self, db: Path, *args: str, port: int = 0):
        command = [sys.executable, "-m", "quelmar_kit.play", "--port", str(port), "--db", str(db), *args]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True, env=ENV, preexec_fn=sigint_as_usual)
        first = self.process.stdout.readline()
        found = re.search(r"http://127\.0\.0\.1:(\d+)/", first)
        if not found:
            self.process.kill()
            raise AssertionError(f"quelmar-play printed no address: {first!r} "
                                 f"{self.process.stderr.read()}")
        self.process.stdout.readline()  # the second line: engine, database, names
        self.port = int(found.group(1))
        self.url = f"http://127.0.0.1:{self.port}"

    def stop(self, sig: int = signal.SIGTERM) -> tuple[int, str]:
        """Stops the server; answers its exit code and what it wrote on stderr."""
        if self.process.poll() is None:
            self.process.send_signal(sig)
        try:
            code = self.process.wait(timeout=30)
        finally:
            self.process.kill()
        err = self.process.stderr.read()
        self.process.stdout.close()
        self.process.stderr.close()
        return code, err

    # ------------------------------------------------------------ requests

    def request(self, method: str, path: str, body: bytes | None = None,
                headers: dict[str, str] | None = None, timeout: float = 10.0):
        """(status, headers, body) of one request on a fresh connection."""
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            conn.request(method, path, body=body, headers=headers or {})
            answer = conn.getresponse()
            return answer.status, dict(answer.getheaders()), answer.read()
        finally:
            conn.close()

    def own(self, content_type: str = "application/json") -> dict[str, str]:
        return {"Origin": self.url, "Content-Type": content_type}

    def post(self, path: str, value, headers: dict[str, str] | None = None):
        """(status, JSON answer) of a POST as the server's own page sends it."""
        status, _, body = self.request("POST", path, json.dumps(value).encode(),
                                       {**self.own(), **(headers or {})})
        return status, json.loads(body)

    def get(self, path: str):
        status, _, body = self.request("GET", path)
        return status, json.loads(body)

    def new_game(self, size=9.0, black=None, white=None, **more):
        status, made = self.post("/api/games", {"size": size, "black": black or {"player": "person"},
                                                "white": white or {"player": "person"}, **more})
        assert status == 201, made
        return Game(self, made)


class Game:
    """A game on a PlayServer, with the tokens its creator was given."""

    def __init__(self, server: PlayServer, made: dict):
        self.server, self.id = server, made["id"]
        self.links = made["links"]
        self.tokens = {color: unquote(link.split("=", 1)[1])
                       for color, link in made["links"].items() if color != "watch"}

    def view(self) -> dict:
        status, view = self.server.get(f"/api/games/{self.id}")
        assert status == 200, view
        return view

    def act(self, what: str, color: str, version: int | None = None, **more):
        version = self.view()["version"] if version is None else version
        return self.server.post(f"/api/games/{self.id}/{what}",
                                {"token": self.tokens[color], "version": version, **more})

    def move(self, color: str, x: float, y: float, version: int | None = None):
        return self.act("move", color, version, x=x, y=y)
