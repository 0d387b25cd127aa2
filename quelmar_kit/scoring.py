"""How a game is scored, decided once for every tool of the kit.

The engine reports the territory split and leaves scoring to its caller.
The kit scores by area: each player's territory, with the komi added to
White. The margin is Black's territory less White's territory plus komi,
computed in that order so that every tool gets the same bits.

A result is written as text: `B+12.5` or `W+0.25` for a scored game (the
margin to two decimals), `draw` for a margin of exactly zero, `B+R`, `B+T`
and `B+F` for a win by the opponent's resignation, loss on time or illegal
move (forfeit), and `*` for a game still in play. A reason says how the game
stopped: one of `REASONS`.
"""

from __future__ import annotations

import re
from dataclasses import dataclass
from decimal import Decimal

import quelmar as qm

# Komi is 0: between search bots the first-move advantage is too small
# for hundreds of games to tell from none (docs/SCORING.md has the figures).
DEFAULT_KOMI = 0.0

# How a game stops. A game stopped by two passes or at a move cap is scored
# as it stands; the next five are won by the other player (`bad-answer`: a
# player's answer was not a move at all; `crash`: an engine exited or
# closed its pipes); an unfinished game has no result yet.
REASONS = ("two-passes", "move-cap", "resignation", "illegal-move", "time", "bad-answer",
           "crash", "unfinished")
SCORED_REASONS = ("two-passes", "move-cap")
# The letter after `B+` or `W+` for a game won without scoring.
FORFEIT_LETTERS = {"resignation": "R", "time": "T", "illegal-move": "F", "bad-answer": "F",
                   "crash": "F"}
UNFINISHED = "*"
DRAW = "draw"

_FORFEIT_TEXT = re.compile(r"(?P<winner>[BW])\+(?P<how>[RTF])")


class ResultError(ValueError):
    """A result that does not fit its reason or its game; one line."""


@dataclass(frozen=True)
class Result:
    """The result of a game. `winner` is None for a draw or an unfinished
    game; `margin` is Black's lead (negative when White leads), None unless
    the game was scored."""

    text: str
    reason: str
    winner: qm.Color | None
    margin: float | None

    @property
    def is_scored(self) -> bool:
        return self.margin is not None


def margin_of(territory: tuple[float, float], komi: float) -> float:
    """Black's lead: black territory less (white territory plus komi)."""
    black, white = territory
    return black - (white + komi)


def _amount_text(amount: float) -> str:
    """A non-negative margin to two decimals, without trailing zeros. A
    margin so small that it rounds to zero keeps two significant digits,
    so that a win never reads as `B+0`."""
    if round(amount, 2) == 0.0:
        return format(Decimal(f"{amount:.2g}"), "f")
    return f"{amount:.2f}".rstrip("0").rstrip(".")


def scored(territory: tuple[float, float], komi: float, reason: str = "two-passes") -> Result:
    """The result of a game scored by `territory` (black, white) and `komi`."""
    if reason not in SCORED_REASONS:
        raise ResultError(f"a game that stopped by {reason!r} is not scored")
    margin = margin_of(territory, komi)
    if margin == 0.0:
        return Result(DRAW, reason, None, margin)
    winner = qm.Color.BLACK if margin > 0.0 else qm.Color.WHITE
    letter = "B" if margin > 0.0 else "W"
    return Result(f"{letter}+{_amount_text(abs(margin))}", reason, winner, margin)


def forfeited(loser: qm.Color, reason: str) -> Result:
    """The result of a game that `loser` lost by `reason` (resignation,
    time or an illegal move)."""
    if reason not in FORFEIT_LETTERS:
        raise ResultError(f"{reason!r} is not a way to lose without scoring")
    winner = loser.opposite()
    letter = "B" if winner == qm.Color.BLACK else "W"
    return Result(f"{letter}+{FORFEIT_LETTERS[reason]}", reason, winner, None)


def unfinished() -> Result:
    return Result(UNFINISHED, "unfinished", None, None)


def result_of(game: qm.Game, komi: float, reason: str | None = None,
              loser: qm.Color | None = None) -> Result:
    """The result of `game` as it stands. `reason` defaults to what the
    game's status says (`two-passes` once it has ended, else `unfinished`);
    `loser` names who lost by resignation, time or an illegal move."""
    ended = game.status.has_ended()
    if reason is None:
        reason = "two-passes" if ended else "unfinished"
    if reason not in REASONS:
        raise ResultError(f"the reason must be one of {', '.join(REASONS)}, not {reason!r}")
    if (reason == "two-passes") != ended:
        state = "has ended" if ended else "is still in play"
        raise ResultError(f"a game that {state} cannot have stopped by {reason!r}")
    if reason in SCORED_REASONS:
        return scored(game.territory(), komi, reason)
    if reason == "unfinished":
        return unfinished()
    if loser is None:
        raise ResultError(f"a game lost by {reason!r} needs its loser")
    return forfeited(loser, reason)


def parse_result(text: str, reason: str, territory: tuple[float, float],
                 komi: float) -> Result:
    """The result that `text` names for a game that stopped by `reason`, with
    the given territory and komi; ResultError when the text does not fit
    them (a scored result must be the score of the territory and komi)."""
    if reason not in REASONS:
        raise ResultError(f"the reason must be one of {', '.join(REASONS)}, not {reason!r}")
    if reason in SCORED_REASONS:
        expected = scored(territory, komi, reason)
        if text != expected.text:
            raise ResultError(f"the territory and komi give {expected.text!r}, not {text!r}")
        return expected
    if reason == "unfinished":
        if text != UNFINISHED:
            raise ResultError(f"an unfinished game's result is {UNFINISHED!r}, not {text!r}")
        return unfinished()
    match = _FORFEIT_TEXT.fullmatch(text)
    letter = FORFEIT_LETTERS[reason]
    if match is None or match["how"] != letter:
        raise ResultError(f"a game won by {reason} has the result B+{letter} or W+{letter}, "
                          f"not {text!r}")
    loser = qm.Color.WHITE if match["winner"] == "B" else qm.Color.BLACK
    return forfeited(loser, reason)
