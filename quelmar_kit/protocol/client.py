"""A client for engines that speak the protocol: one class over a
subprocess.

    from quelmar_kit.protocol.client import Engine, EngineLimits
    with Engine(["quelmar-engine", "--bot", "mcts"]) as engine:
        engine.boardsize(9.0)
        engine.play(qm.Color.BLACK, (4.5, 4.5))
        generated = engine.genmove(qm.Color.WHITE, Limit(time=0.5))
        print(generated.move, generated.seconds)

Every command has a deadline (`EngineLimits`), and the caller never waits
past it: reading and writing go through non-blocking pipes watched by a
selector, and an answer larger than `answer_bytes` is refused before it is
held. Each way an engine fails has its exception: `EngineTerminated` (it
exited or closed its pipes), `EngineTimeout` (no answer in time),
`EngineBadAnswer` (text that is not an answer, or not the answer asked
for) and `CommandRefused` (a `?` answer, with the engine's message). After
any of these but the last the engine's state is unknown, so the process is
ended and every later command raises the same error again.

The engine runs in a session of its own, so that Ctrl-C at a terminal
reaches the caller alone, and `close` ends its whole process group (a
wrapper script and what it started). POSIX only: the selector watches pipes.
"""

from __future__ import annotations

import json
import os
import selectors
import signal
import subprocess
import time
from dataclasses import dataclass
from typing import IO, Any, Sequence

import quelmar as qm

from ..bots import Limit, Move
from ..timecontrol import TimeControl
from . import wire


# The most of an engine's own text (its name, a refusal) that errors repeat.
MAX_SHOWN = 200


@dataclass(frozen=True)
class EngineLimits:
    """How long each kind of command may take, in seconds, and how large an
    answer may be."""

    start: float = 30.0     # to start and answer the first command
    command: float = 10.0   # any command but genmove
    genmove: float = 60.0   # genmove, when the caller gives no timeout
    quit: float = 2.0       # to answer quit and exit, before it is killed
    margin: float = 0.5     # beyond a genmove's time limit, for the answer to arrive
    answer_bytes: int = wire.MAX_LINE_BYTES


@dataclass(frozen=True)
class Generated:
    """A genmove answer: the move and the seconds from asking to answer."""

    move: Move
    seconds: float


class EngineError(Exception):
    """An engine failed; the message is one line naming the engine."""


class EngineTerminated(EngineError):
    """The engine exited or closed its output."""

    def __init__(self, message: str, returncode: int | None):
        super().__init__(message)
        self.returncode = returncode


class EngineTimeout(EngineError):
    """The engine did not answer within the command's time."""


class EngineBadAnswer(EngineError):
    """The engine wrote something that is not the answer asked for."""


class CommandRefused(EngineError):
    """The engine answered `?`: `message` is its own words."""

    def __init__(self, command: str, message: str):
        # The engine's words are shown cut short: they are its to choose.
        super().__init__(f"{command!r} refused: {message[:MAX_SHOWN]}")
        self.command, self.message = command, message


class Engine:
    def __init__(self, command: Sequence[str], limits: EngineLimits = EngineLimits(), *,
                 stderr: int | IO[Any] | None = subprocess.DEVNULL,
                 cwd: str | None = None):
        self.command = list(command)
        self.limits = limits
        self.failure: EngineError | None = None
        self.process = subprocess.Popen(
            self.command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=stderr,
            cwd=cwd, start_new_session=True, bufsize=0)
        assert self.process.stdin is not None and self.process.stdout is not None
        self._in, self._out = self.process.stdin.fileno(), self.process.stdout.fileno()
        os.set_blocking(self._in, False)
        os.set_blocking(self._out, False)
        self._buffer = bytearray()
        self._next_id = 1
        self.name = ""
        self.commands: frozenset[str] = frozenset()
        self._move_time: float | None = None
        try:
            self.name = self.send("name", timeout=limits.start)[:MAX_SHOWN]
            self.commands = frozenset(self.send("list_commands").split())
        except BaseException:
            self.close()
            raise

    # ------------------------------------------------------------ commands

    def known(self, command: str) -> bool:
        return command in self.commands

    def boardsize(self, size: float) -> None:
        self.send(f"boardsize {wire.number_text(size)}")

    def clear_board(self) -> None:
        self.send("clear_board")

    def komi(self, komi: float) -> None:
        self.send(f"komi {wire.number_text(komi)}")

    def play(self, color: qm.Color, move: Move) -> None:
        self.send(f"play {color.label} {wire.move_text(move)}")

    def genmove(self, color: qm.Color, limit: Limit | None = None,
                timeout: float | None = None) -> Generated:
        """The engine's move for `color`, which it also plays on its board.
        A `limit` is passed on before asking: its time as `time_settings
        move` and its playouts as `quelmar-playouts` (CommandRefused from an
        engine without that extension). The answer must come within
        `timeout`, by default the limit's time plus `margin`, or else
        `EngineLimits.genmove`."""
        if limit is not None:
            if limit.time is not None and limit.time != self._move_time:
                self.time_settings(TimeControl("move", limit.time))
                self._move_time = limit.time
            if limit.playouts is not None:
                self.send(f"quelmar-playouts {limit.playouts}")
        if timeout is None:
            timeout = (limit.time + self.limits.margin if limit is not None and
                       limit.time is not None else self.limits.genmove)
        started = time.perf_counter()
        text = self.send(f"genmove {color.label}", timeout=timeout)
        seconds = time.perf_counter() - started
        try:
            return Generated(wire.parse_move(text.split(), resign=True), seconds)
        except wire.WireError as e:
            raise self._fail(EngineBadAnswer(f"{self._who()} answered genmove with "
                                             f"{text[:80]!r}: {e}"))

    def undo(self) -> None:
        self.send("undo")

    def final_score(self) -> str:
        return self.send("final_score")

    def showboard(self) -> dict[str, Any]:
        text = self.send("showboard")
        try:
            board = json.loads(text)
        except ValueError:
            board = None
        if not isinstance(board, dict):
            raise self._fail(EngineBadAnswer(f"{self._who()}'s showboard is not a JSON object"))
        return board

    def time_settings(self, control: TimeControl) -> None:
        self.send(f"time_settings {control.text}")
        self._move_time = control.main if control.kind == "move" else None

    def time_left(self, color: qm.Color, seconds: float) -> None:
        self.send(f"time_left {color.label} {wire.number_text(seconds)}")

    def seed(self, seed: int) -> None:
        self.send(f"quelmar-seed {seed}")

    def quit(self) -> None:
        """Asks the engine to quit and waits for it; ends it if it will not."""
        try:
            if self.failure is None and self.process.returncode is None:
                self.send("quit", timeout=self.limits.quit)
                self._wait_exit(self.limits.quit)
        except EngineError:
            pass
        finally:
            self.close()

    def close(self) -> None:
        """Ends the engine and everything in its process group, at once."""
        if self.process.returncode is None:
            # The engine is not reaped yet (it may have exited: a zombie
            # keeps its id), so its group id cannot belong to anyone else.
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except (ProcessLookupError, PermissionError):
                pass
            self.process.wait()
        for stream in (self.process.stdin, self.process.stdout):
            if stream is not None and not stream.closed:
                try:
                    stream.close()
                except OSError:
                    pass

    def _wait_exit(self, timeout: float) -> bool:
        """Waits up to `timeout` for the engine to exit, without reaping it;
        whether it did."""
        deadline = time.monotonic() + timeout
        while self.process.returncode is None:
            if not hasattr(os, "waitid"):  # macOS: reap it, and its group with it
                if self.process.poll() is not None:
                    return True
            else:
                try:
                    if os.waitid(os.P_PID, self.process.pid,
                                 os.WEXITED | os.WNOHANG | os.WNOWAIT) is not None:
                        return True
                except ChildProcessError:
                    return True
            if time.monotonic() >= deadline:
                return False
            time.sleep(0.01)
        return True

    def __enter__(self) -> Engine:
        return self

    def __exit__(self, *exc: object) -> None:
        self.quit()

    # ------------------------------------------------------------ one exchange

    def send(self, command: str, timeout: float | None = None) -> str:
        """Sends one command line and answers the text of its `=` answer;
        CommandRefused for a `?` answer, another EngineError for a failure."""
        if self.failure is not None:
            raise self.failure
        ident = self._next_id
        self._next_id += 1
        deadline = time.monotonic() + (timeout if timeout is not None else self.limits.command)
        name = command.split(" ", 1)[0]
        self._write(f"{ident} {command}\n".encode(), deadline, name)
        ok, answer_id, text = self._read_answer(deadline, name)
        if answer_id is not None and answer_id != ident:
            raise self._fail(EngineBadAnswer(f"{self._who()} answered {name} with id "
                                             f"{answer_id}, not {ident}"))
        if not ok:
            raise CommandRefused(command[:80], text)
        return text

    def _write(self, data: bytes, deadline: float, name: str) -> None:
        view = memoryview(data)
        with selectors.DefaultSelector() as selector:
            selector.register(self._in, selectors.EVENT_WRITE)
            while view:
                if not selector.select(self._left(deadline, name)):
                    continue  # _left raises once the deadline passes
                try:
                    written = os.write(self._in, view)
                except BlockingIOError:
                    continue
                except (BrokenPipeError, ConnectionResetError):
                    raise self._terminated(name) from None
                view = view[written:]

    def _read_answer(self, deadline: float, name: str) -> tuple[bool, int | None, str]:
        with selectors.DefaultSelector() as selector:
            selector.register(self._out, selectors.EVENT_READ)
            while True:
                block = self._take_block()
                if block is not None:
                    return self._parse(block, name)
                if len(self._buffer) > self.limits.answer_bytes:
                    raise self._fail(EngineBadAnswer(
                        f"{self._who()}'s answer to {name} is longer than "
                        f"{self.limits.answer_bytes} bytes"))
                if not selector.select(self._left(deadline, name)):
                    continue
                try:
                    chunk = os.read(self._out, 1 << 16)
                except BlockingIOError:
                    continue
                if not chunk:
                    raise self._terminated(name)
                self._buffer += chunk.replace(b"\r", b"")  # CRLF ends lines too

    def _take_block(self) -> bytes | None:
        """The first answer in the buffer, up to its empty line, or None."""
        buffer = self._buffer
        blank = len(buffer) - len(buffer.lstrip(b"\n"))  # empty lines before an answer
        del buffer[:blank]
        end = buffer.find(b"\n\n")
        if end < 0:
            return None
        block = bytes(buffer[:end])
        del buffer[:end + 2]
        return block

    def _parse(self, block: bytes, name: str) -> tuple[bool, int | None, str]:
        try:
            text = block.decode("utf-8")
        except UnicodeDecodeError:
            raise self._fail(EngineBadAnswer(f"{self._who()}'s answer to {name} is not "
                                             f"UTF-8 text")) from None
        if text[:1] not in ("=", "?"):
            raise self._fail(EngineBadAnswer(f"{self._who()} answered {name} with "
                                             f"{text[:80]!r}, which is not an answer"))
        head, _, rest = text[1:].partition("\n")
        digits = len(head) - len(head.lstrip("0123456789"))
        ident = int(head[:digits]) if 0 < digits <= 18 else None
        if head[digits:digits + 1] not in ("", " ") or digits > 18:
            raise self._fail(EngineBadAnswer(f"{self._who()} answered {name} with "
                                             f"{text[:80]!r}, which is not an answer"))
        first = head[digits:].strip()
        body = "\n".join(filter(None, [first, rest]))
        return text[0] == "=", ident, body

    # ------------------------------------------------------------ failures

    def _left(self, deadline: float, name: str) -> float:
        left = deadline - time.monotonic()
        if left <= 0.0:
            raise self._fail(EngineTimeout(f"{self._who()} did not answer {name} in time"))
        return left

    def _terminated(self, name: str) -> EngineError:
        exited = self._wait_exit(1.0)
        self.close()
        code = self.process.returncode if exited else None
        how = "closed its output" if code is None else f"exited with code {code}"
        return self._fail(EngineTerminated(f"{self._who()} {how} during {name}", code))

    def _fail(self, error: EngineError) -> EngineError:
        """Records that the engine is unusable, ends it, and answers `error`."""
        self.failure = error
        self.close()
        return error

    def _who(self) -> str:
        return f"engine {self.name or os.path.basename(self.command[0])!r}"
