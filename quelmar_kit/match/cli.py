"""quelmar-match: games between two players, with colours alternating, and
what they say about their strength.

    quelmar-match mcts:playouts=800 mcts --games 200 --size 9 --workers 2 --out m.jsonl
    quelmar-match mcts "engine:python3 -m quelmar_kit.protocol --bot greedy" --move-time 0.5

A player is a built-in bot (`random`, `greedy`, `mcts:playouts=400`, ...)
or `engine:COMMAND`, a program that speaks the engine protocol
(docs/PROTOCOL.md). The first player takes black in odd-numbered games and
white in even ones. The module referees every move: a move the rules refuse,
an answer that is not a move, an engine that exits and one that answers too
late each lose their game, and the record says why. Records go to --out as
games finish, in order; Ctrl-C (or SIGTERM) stops the match and leaves the
games finished so far in that file, complete and valid.
"""

from __future__ import annotations

import argparse
import signal
import sys
from dataclasses import dataclass
from pathlib import Path
from types import FrameType
from typing import Sequence

from .. import cli, limits, records, scoring
from ..protocol.client import EngineLimits
from ..selfplay.backends import open_backend
from ..selfplay.jobs import MAX_SEED
from ..selfplay.progress import Progress
from ..timecontrol import NO_CLOCK, TimeControl, TimeControlError
from .jobs import MatchJob, MatchPlayed, MatchSettings, match_jobs, play_match_job
from .openings import check_openings, cycle_openings
from .players import PlayerChoice, parse_player
from .referee import DEFAULT_MOVE_TIMEOUT, Rules
from .stats import Sprt, Tally, elo, parse_sprt

PROG = "quelmar-match"


def _game_time(text: str) -> TimeControl:
    main, plus, increment = text.partition("+")
    try:
        if plus:
            return TimeControl("fischer", cli.positive_seconds(main),
                               _non_negative(increment))
        return TimeControl("absolute", cli.positive_seconds(main))
    except ValueError as e:
        raise ValueError(f"a game time is MAIN or MAIN+INCREMENT in seconds: {e}") from None


def _non_negative(text: str) -> float:
    value = limits.parse_number(text, "increment")
    if value < 0.0:
        raise ValueError(f"an increment must be zero or more, not {value:g}")
    return value


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=PROG, description=(__doc__ or "").split("\n\n")[0],
        epilog="Players: " + ", ".join(_bot_names()) + ", or engine:COMMAND.")
    parser.add_argument("first", metavar="PLAYER", type=cli._typed(parse_player),
                        help="the first player (A): a bot name or engine:COMMAND")
    parser.add_argument("second", metavar="PLAYER", type=cli._typed(parse_player),
                        help="the second player (B)")
    parser.add_argument("--games", type=cli.positive_int, default=100,
                        help="how many games (default 100)")
    parser.add_argument("--size", type=cli.board_size, default=9.0, help="board size (default 9)")
    parser.add_argument("--komi", type=cli.finite_number, default=scoring.DEFAULT_KOMI,
                        help=f"added to White's score (default {scoring.DEFAULT_KOMI:g})")
    parser.add_argument("--max-moves", type=cli.positive_int, default=400,
                        help="turns after which a game stops and is scored (default 400)")
    parser.add_argument("--seed", type=cli.non_negative_int, default=1,
                        help="seed of the first game (default 1)")
    clock = parser.add_mutually_exclusive_group()
    clock.add_argument("--move-time", type=cli.seconds, metavar="SECONDS",
                       help="seconds for each move")
    clock.add_argument("--game-time", type=cli._typed(_game_time), metavar="MAIN[+INC]",
                       help="seconds for each player's whole game, plus INC after each move")
    parser.add_argument("--margin", type=cli.seconds, default=0.5, metavar="SECONDS",
                        help="lateness forgiven on each move (default 0.5)")
    parser.add_argument("--move-timeout", type=cli.seconds, default=DEFAULT_MOVE_TIMEOUT,
                        metavar="SECONDS", help="without a time control, the longest a move "
                        f"may take (default {DEFAULT_MOVE_TIMEOUT:g})")
    parser.add_argument("--openings", metavar="FILE",
                        help="records whose first turns open the games, each with both colours")
    parser.add_argument("--opening-turns", type=cli.non_negative_int, metavar="N",
                        help="play only the first N turns of each opening")
    parser.add_argument("--sprt", type=cli._typed(parse_sprt), metavar="ELO0,ELO1[,ALPHA,BETA]",
                        help="stop as soon as a sequential test decides between elo0 and elo1")
    parser.add_argument("--workers", type=cli.positive_int, default=1,
                        help="games played at once (default 1)")
    parser.add_argument("--ray", metavar="ADDRESS",
                        help="play on a Ray cluster: host:port, 'auto' or 'local'")
    parser.add_argument("--out", metavar="FILE", help="where the records go")
    parser.add_argument("--event", default="quelmar-match", help="the records' event header")
    return parser


def _bot_names() -> list[str]:
    from ..bots import bot_names
    return bot_names()


@dataclass
class Report:
    """What the match has played so far, and what it says."""

    a: str
    b: str
    tally: Tally
    colours: list[int]  # games won by black, by white, drawn
    sprt: Sprt | None = None

    def add(self, played: MatchPlayed) -> None:
        if not self.tally.games:  # the names the players gave say more than commands
            black, white = played.names
            self.a, self.b = (black, white) if played.a_is_black else (white, black)
        self.tally.add(played.a_is_black, played.a_score, played.reason)
        if played.result.startswith("B+"):
            self.colours[0] += 1
        elif played.result.startswith("W+"):
            self.colours[1] += 1
        else:
            self.colours[2] += 1

    def verdict(self) -> str | None:
        return self.sprt.verdict(self.tally) if self.sprt is not None else None

    def lines(self) -> list[str]:
        t = self.tally
        if not t.games:
            return [f"{self.a} against {self.b}: no game finished"]
        lines = [
            f"{self.a} against {self.b}: {t.games} games",
            f"  {self.a}: {sum(t.wins)} won ({t.wins[0]} as black, {t.wins[1]} as white), "
            f"{sum(t.draws)} drawn, {sum(t.losses)} lost ({t.losses[0]} as black, "
            f"{t.losses[1]} as white); score {t.score:.3f}",
            f"  Elo difference {elo(t).text} (95%)",
            f"  black won {self.colours[0]}, white won {self.colours[1]}, "
            f"{self.colours[2]} drawn",
            "  games stopped by " + ", ".join(f"{reason} {count}" for reason, count
                                              in sorted(self.tally.reasons.items())),
        ]
        if self.sprt is not None:
            s = self.sprt
            low, high = s.bounds
            verdict = {"H1": f"H1 accepted ({self.a} is {s.elo1:g} Elo stronger)",
                       "H0": f"H0 accepted ({self.a} is not {s.elo1:g} Elo stronger)",
                       None: "undecided"}[self.verdict()]
            lines.append(f"  SPRT elo0={s.elo0:g} elo1={s.elo1:g} alpha={s.alpha:g} "
                         f"beta={s.beta:g}: LLR {s.llr(t):.2f} of [{low:.2f}, {high:.2f}], "
                         f"{verdict}")
        return lines


def _stop_on_sigterm() -> None:
    def stop(signum: int, frame: FrameType | None) -> None:
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, stop)


def _settings(args: argparse.Namespace, parser: argparse.ArgumentParser) -> MatchSettings:
    try:
        komi = limits.check_komi(args.komi, args.size)
    except limits.SettingError as e:
        parser.error(str(e))
    if args.seed + args.games - 1 > MAX_SEED:
        parser.error(f"the seeds of {args.games} games from {args.seed} go past {MAX_SEED}")
    control = NO_CLOCK
    if args.move_time is not None:
        control = TimeControl("move", args.move_time)
    elif args.game_time is not None:
        control = args.game_time
    rules = Rules(args.size, komi, args.max_moves, control, args.margin, args.move_timeout)
    first: PlayerChoice = args.first
    second: PlayerChoice = args.second
    return MatchSettings(rules, first, second, EngineLimits(), args.event)


def play_match(args: argparse.Namespace, settings: MatchSettings) -> int:
    path = Path(args.out) if args.out else None
    if path is not None and (path.is_dir() or not path.parent.is_dir()):
        raise cli.UserError(f"cannot write records to {path}")
    openings = None
    if args.openings:
        count = check_openings(Path(args.openings), args.opening_turns, args.size)
        print(f"{count} openings from {args.openings}", file=sys.stderr)
        openings = cycle_openings(Path(args.openings), args.opening_turns)
    _stop_on_sigterm()
    backend = open_backend(args.workers, args.ray, play_match_job)
    names = (_name(settings.a), _name(settings.b))
    report = Report(*names, Tally(), [0, 0, 0], args.sprt)
    out = records.AtomicFile(path) if path is not None else None
    bar = Progress(args.games, unit="games")
    interrupted = False
    try:
        jobs = match_jobs(settings, args.seed, args.games, openings)
        for played in backend.play(jobs):
            if out is not None:
                out.write_line(played.line)
                out.file.flush()
            report.add(played)
            bar.advance(f"score {report.tally.score:.3f}")
            if report.verdict() is not None:
                break
    except KeyboardInterrupt:
        interrupted = True
    finally:
        bar.close()
        backend.close()
        if out is not None:
            if report.tally.games:
                out.commit()  # the games finished so far, each line whole
            else:
                out.discard()
    print("\n".join(report.lines()), flush=True)
    if out is not None and report.tally.games:
        print(f"wrote {report.tally.games} games to {path}", file=sys.stderr)
    if interrupted:
        print(f"{PROG}: interrupted after {report.tally.games} games", file=sys.stderr)
        return cli.EXIT_INTERRUPTED
    return 0


def _name(choice: PlayerChoice) -> str:
    return choice.bot if choice.bot is not None else choice.text


def main(argv: Sequence[str] | None = None) -> int:
    parser = _parser()
    args = parser.parse_args(argv)
    if args.opening_turns is not None and not args.openings:
        parser.error("--opening-turns cuts the openings of --openings")
    settings = _settings(args, parser)
    return play_match(args, settings)


entry = cli.console(PROG, main)

__all__ = ["main", "entry", "MatchJob", "play_match_job"]
