"""What a bot is: given a game and a limit, it answers a move.

A bot never changes the game it is given (it probes copies), so one game
can be shown to any number of bots. A bot keeps its own state between
calls (its random generator, say), so a bot built with a seed answers the
same moves to the same games asked in the same order.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Literal, Protocol, Tuple, Union

import quelmar as qm

from ..scoring import DEFAULT_KOMI

Point = Tuple[float, float]
PASS: Literal["pass"] = "pass"
RESIGN: Literal["resign"] = "resign"
# A point to play at, a pass or a resignation.
Move = Union[Point, Literal["pass", "resign"]]


@dataclass(frozen=True)
class Limit:
    """How much a bot may spend on one move: `playouts` for a search bot,
    `time` in seconds. None leaves the bot's own default. Bots that do not
    search ignore both."""

    playouts: int | None = None
    time: float | None = None

    def __post_init__(self) -> None:
        if self.playouts is not None and self.playouts < 1:
            raise ValueError(f"a playout limit must be positive, not {self.playouts}")
        if self.time is not None and not self.time > 0.0:
            raise ValueError(f"a time limit must be positive, not {self.time}")


NO_LIMIT = Limit()


class Bot(Protocol):
    """A player. `name` is the text it was made from (`random`, `mcts:playouts=200`), the
    name records and protocols give it."""

    @property
    def name(self) -> str: ...

    def choose(self, game: qm.Game, limit: Limit = NO_LIMIT,
               komi: float = DEFAULT_KOMI) -> Move:
        """The move this bot plays in `game` for the colour to move, when
        the game will be scored with `komi`. `game` is left exactly as it
        was, revision included."""
        ...


def analysis_of(bot: Bot) -> dict[str, object] | None:
    """What a bot said about its last move (a search bot's playouts and
    value), or None for a bot that says nothing. Bots that analyse keep it
    in an `analysis` attribute; the protocol and match records pass it on."""
    analysis = getattr(bot, "analysis", None)
    return dict(analysis) if isinstance(analysis, dict) else None


def is_point(move: Move) -> bool:
    return isinstance(move, tuple)
