"""The engine side of the protocol: a session that serves a built-in bot,
and `quelmar-engine`, which runs one over standard input and output.

    quelmar-engine --bot mcts --seed 7 --playouts 400

`Session.handle(line)` takes one command line and answers the full answer
text (None for a line with no command), so the session is tested without
pipes. No input makes it raise: a command it does not know, bad arguments,
a move the rules refuse and even a fault of its own are answered with `?`
and the session goes on. docs/PROTOCOL.md describes every command.
"""

from __future__ import annotations

import argparse
import json
import sys
from typing import IO, Callable, Sequence

import quelmar as qm

from .. import __version__, cli, limits, records, scoring
from ..bots import PASS, RESIGN, Limit, analysis_of, bot_names, make_bot
from ..bots.registry import BotNameError
from ..game_loop import play_turn
from ..timecontrol import NO_CLOCK, TimeControlError, move_budget, parse
from . import wire

PROG = "quelmar-engine"
PROTOCOL_VERSION = "1"
DEFAULT_BOARD_SIZE = 18.0
# The share of a move's time the bot is given; the rest is for the answer
# to reach the referee.
TIME_SHARE = 0.95


class CommandError(Exception):
    """A command that cannot be carried out; its message is the `?` answer."""


class Session:
    def __init__(self, bot: str = "mcts", seed: int | None = None, limit: Limit = Limit()):
        self.bot_name, self.limit = bot, limit
        self.bot = make_bot(bot, seed)
        self.komi = scoring.DEFAULT_KOMI
        self.game = qm.Game(DEFAULT_BOARD_SIZE)
        self.control = NO_CLOCK
        self.clocks: dict[qm.Color, float | None] = {qm.Color.BLACK: None,
                                                      qm.Color.WHITE: None}
        self.finished = False
        self.commands: dict[str, Callable[[wire.Command], str]] = {
            "protocol_version": lambda c: self._no_args(c, PROTOCOL_VERSION),
            "name": lambda c: self._no_args(c, self.bot.name),
            "version": lambda c: self._no_args(c, f"{__version__} (engine {qm.version()})"),
            "known_command": self.known_command,
            "list_commands": lambda c: self._no_args(c, "\n".join(sorted(self.commands))),
            "quit": self.quit,
            "boardsize": self.boardsize,
            "clear_board": self.clear_board,
            "komi": self.set_komi,
            "play": self.play,
            "genmove": self.genmove,
            "undo": self.undo,
            "final_score": lambda c: self._no_args(c, self._score()),
            "showboard": lambda c: self._no_args(c, self._board_json()),
            "time_settings": self.time_settings,
            "time_left": self.time_left,
            "quelmar-seed": self.seed,
            "quelmar-playouts": self.playouts,
            "quelmar-record": lambda c: self._no_args(c, self._record()),
            "quelmar-load": self.load,
            "quelmar-analysis": lambda c: self._no_args(
                c, json.dumps(analysis_of(self.bot) or {}, separators=(",", ":"))),
        }

    def handle(self, line: str) -> str | None:
        """The answer to one command line, or None for a line without one."""
        command = wire.parse_command(line)
        if command is None:
            return None
        run = self.commands.get(command.name)
        if run is None:
            what = repr(command.name[:40]) if command.name else "nothing"
            return wire.failure(command.id, f"unknown command: {what}")
        try:
            return wire.success(command.id, run(command))
        except (CommandError, wire.WireError, limits.SettingError, TimeControlError,
                BotNameError, records.RecordError) as e:
            return wire.failure(command.id, str(e))
        except (qm.StonePlayError, qm.GameOverError) as e:
            return wire.failure(command.id, str(e))
        except Exception as e:  # a fault of ours: say so, and keep serving
            return wire.failure(command.id, f"internal error: {type(e).__name__}: {e}")

    # ------------------------------------------------------------ arguments

    @staticmethod
    def _args(command: wire.Command, *counts: int) -> tuple[str, ...]:
        if len(command.args) not in counts:
            wanted = " or ".join(str(n) for n in counts)
            raise CommandError(f"{command.name} takes {wanted} argument"
                               f"{'' if counts == (1,) else 's'}, not {len(command.args)}")
        return command.args

    def _no_args(self, command: wire.Command, answer: str) -> str:
        self._args(command, 0)
        return answer

    def _color(self, text: str) -> qm.Color:
        color = wire.parse_color(text)
        if self.game.status.has_ended():
            raise CommandError("the game has ended: two passes in a row")
        if color != self.game.pending_color:
            raise CommandError(f"it is {self.game.pending_color.label}'s turn, "
                               f"not {color.label}'s")
        return color

    # ------------------------------------------------------------ commands

    def known_command(self, command: wire.Command) -> str:
        (name,) = self._args(command, 1)
        return "true" if name in self.commands else "false"

    def quit(self, command: wire.Command) -> str:
        self.finished = True
        return ""

    def boardsize(self, command: wire.Command) -> str:
        (text,) = self._args(command, 1)
        size = limits.check_board_size(wire.parse_number(text, "board size"))
        limits.check_komi(self.komi, size)
        self.game = qm.Game(size)
        return ""

    def clear_board(self, command: wire.Command) -> str:
        self._args(command, 0)
        self.game = qm.Game(self.game.board_size)
        return ""

    def set_komi(self, command: wire.Command) -> str:
        (text,) = self._args(command, 1)
        self.komi = limits.check_komi(wire.parse_number(text, "komi"), self.game.board_size)
        return ""

    def play(self, command: wire.Command) -> str:
        args = self._args(command, 2, 3)
        self._color(args[0])
        move = wire.parse_move(args[1:])
        refusal = play_turn(self.game, move)
        if refusal is not None:
            raise CommandError(refusal)
        return ""

    def genmove(self, command: wire.Command) -> str:
        (text,) = self._args(command, 1)
        color = self._color(text)
        move = self.bot.choose(self.game, self._limit(color), self.komi)
        if move != RESIGN:
            refusal = play_turn(self.game, move)
            if refusal is not None:
                raise CommandError(f"the bot chose a move the rules refuse: {refusal}")
        return wire.move_text(move)

    def _limit(self, color: qm.Color) -> Limit:
        budget = move_budget(self.control, self.clocks[color], self.game.board_size,
                             self.game.turn)
        if budget is None:
            return self.limit
        seconds = budget * TIME_SHARE
        if self.limit.time is not None:
            seconds = min(seconds, self.limit.time)
        return Limit(self.limit.playouts, max(seconds, 1e-3))

    def undo(self, command: wire.Command) -> str:
        self._args(command, 0)
        if self.game.undo_move() is None:
            raise CommandError("there is no move to undo")
        return ""

    def time_settings(self, command: wire.Command) -> str:
        self.control = parse(list(command.args))
        main = self.control.main if self.control.has_clock else None
        self.clocks = {qm.Color.BLACK: main, qm.Color.WHITE: main}
        return ""

    def time_left(self, command: wire.Command) -> str:
        args = self._args(command, 2, 3)
        color = wire.parse_color(args[0])
        seconds = wire.parse_number(args[1], "time left")
        if seconds < 0.0:
            raise CommandError(f"the time left must be zero or more, not {args[1]}")
        self.clocks[color] = seconds
        return ""

    def seed(self, command: wire.Command) -> str:
        (text,) = self._args(command, 1)
        if not text.isdigit() or len(text) > 18:
            raise CommandError(f"a seed is a whole number from 0 to 10^18, not {text[:40]!r}")
        self.bot = make_bot(self.bot_name, int(text))
        return ""

    def playouts(self, command: wire.Command) -> str:
        (text,) = self._args(command, 1)
        if not text.isdigit() or not 0 < int(text) <= 10**9:
            raise CommandError(f"playouts are a whole number from 1 to 10^9, not {text[:40]!r}")
        self.limit = Limit(int(text), self.limit.time)
        return ""

    def load(self, command: wire.Command) -> str:
        if not command.rest:
            raise CommandError("quelmar-load takes a record, as one line of JSON")
        record = records.decode(command.rest)
        assert record.game is not None
        self.game, self.komi = record.game, record.headers.komi
        return ""

    # ------------------------------------------------------------ views

    def _score(self) -> str:
        return scoring.scored(self.game.territory(), self.komi).text

    def _board_json(self) -> str:
        game = self.game
        return json.dumps({
            "board_size": game.board_size, "komi": self.komi, "turn": game.turn,
            "to_move": game.pending_color.label,
            "status": ["playing", "next-pass-ends", "ended"][int(game.status)],
            "captures": list(game.captures), "territory": list(game.territory()),
            "stones": [[s.id, s.color.label, *s.position] for s in game.stones()],
        }, separators=(",", ":"))

    def _record(self) -> str:
        return records.encode(records.record_of(self.game, komi=self.komi,
                                                event=PROG))


def serve(session: Session, source: IO[bytes], sink: IO[str]) -> None:
    """Answers the commands of `source` until `quit` or its end. A line
    longer than the protocol allows is answered `?` and skipped whole."""
    while not session.finished:
        line = source.readline(wire.MAX_LINE_BYTES + 1)
        if not line:
            return
        if len(line) > wire.MAX_LINE_BYTES and not line.endswith(b"\n"):
            while line and not line.endswith(b"\n"):
                line = source.readline(1 << 20)
            sink.write(wire.failure(None, f"a line is at most {wire.MAX_LINE_BYTES} bytes"))
            sink.flush()
            continue
        answer = session.handle(line.decode("utf-8", errors="replace"))
        if answer is not None:
            sink.write(answer)
            sink.flush()


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog=PROG, description=(
        "Serve a built-in bot over the engine protocol on standard input and output."))
    parser.add_argument("--bot", default="mcts", metavar="BOT",
                        help=f"the bot: {', '.join(bot_names())}, with options as "
                             f"name:key=value,... (default mcts)")
    parser.add_argument("--seed", type=cli.non_negative_int, help="the bot's seed")
    budget = parser.add_mutually_exclusive_group()
    budget.add_argument("--playouts", type=cli.positive_int,
                        help="playouts per move (the search bot)")
    budget.add_argument("--time", type=cli.seconds, metavar="SECONDS",
                        help="seconds per move (the search bot)")
    args = parser.parse_args(argv)
    try:
        session = Session(args.bot, args.seed, Limit(args.playouts, args.time))
    except BotNameError as e:
        parser.error(str(e))
    serve(session, sys.stdin.buffer, sys.stdout)
    return 0


entry = cli.console(PROG, main)
