"""What a match's results say: the tally, the Elo difference with its 95%
interval, and a sequential probability ratio test.

Elo: the first player's score s (a win 1, a draw 1/2) maps to
`-400 log10(1/s - 1)`. Its interval maps the interval of the mean score,
s +- 1.96 standard errors, where the variance is the games' own (wins,
draws and losses each at their distance from s: the trinomial model), the
normal approximation every match runner uses.

SPRT: the generalized SPRT of fishtest and cutechess in its normal
approximation. With s0 and s1 the scores that elo0 and elo1 give and
var the per-game variance of the score (half a game of each kind added,
so that a run of wins alone does not decide at once), the log-likelihood ratio after N
games is `N (s1 - s0) (2 s - s0 - s1) / (2 var)`. It accepts H1 (the first
player is elo1 stronger) at `log((1 - beta) / alpha)` and H0 (elo0) at
`log(beta / (1 - alpha))`.
"""

from __future__ import annotations

import math
from dataclasses import dataclass, field

Z95 = 1.959963984540054


@dataclass
class Tally:
    """The first player's results: wins, draws and losses, as black and as
    white, and how the games stopped."""

    wins: list[int] = field(default_factory=lambda: [0, 0])    # [as black, as white]
    draws: list[int] = field(default_factory=lambda: [0, 0])
    losses: list[int] = field(default_factory=lambda: [0, 0])
    reasons: dict[str, int] = field(default_factory=dict)

    def add(self, a_is_black: bool, a_score: float, reason: str) -> None:
        side = 0 if a_is_black else 1
        counts = self.wins if a_score == 1.0 else self.losses if a_score == 0.0 else self.draws
        counts[side] += 1
        self.reasons[reason] = self.reasons.get(reason, 0) + 1

    @property
    def games(self) -> int:
        return sum(self.wins) + sum(self.draws) + sum(self.losses)

    @property
    def score(self) -> float:
        """The first player's mean score; 0.5 before any game."""
        if not self.games:
            return 0.5
        return (sum(self.wins) + 0.5 * sum(self.draws)) / self.games

    def variance(self, prior: float = 0.0) -> float:
        """The per-game variance of the first player's score about its mean,
        with `prior` games of each kind added to the frequencies."""
        n, s = self.games + 3 * prior, self.score
        if not n:
            return 0.0
        w, d, l = ((sum(counts) + prior) / n for counts in (self.wins, self.draws, self.losses))
        return w * (1.0 - s) ** 2 + d * (0.5 - s) ** 2 + l * s ** 2


def elo_of(score: float) -> float:
    """The Elo difference a mean score gives; +-inf for 1 and 0."""
    if score >= 1.0:
        return math.inf
    if score <= 0.0:
        return -math.inf
    return -400.0 * math.log10(1.0 / score - 1.0)


def score_of(elo: float) -> float:
    return 1.0 / (1.0 + math.pow(10.0, -elo / 400.0))


@dataclass(frozen=True)
class Elo:
    value: float
    low: float
    high: float

    @property
    def text(self) -> str:
        def number(x: float) -> str:
            return f"{x + 0.0:+.1f}" if math.isfinite(x) else ("+inf" if x > 0 else "-inf")
        return f"{number(self.value)} [{number(self.low)}, {number(self.high)}]"


def elo(tally: Tally) -> Elo:
    """The first player's Elo difference with its 95% interval."""
    s, n = tally.score, tally.games
    # A match won or lost throughout has no variance; half a game of each
    # kind gives it a finite bound on the side it has not reached.
    var = tally.variance() or tally.variance(prior=0.5)
    spread = Z95 * math.sqrt(var / n) if n else 1.0
    return Elo(elo_of(s), elo_of(max(s - spread, 0.0)), elo_of(min(s + spread, 1.0)))


@dataclass(frozen=True)
class Sprt:
    elo0: float
    elo1: float
    alpha: float = 0.05
    beta: float = 0.05

    def __post_init__(self) -> None:
        if not self.elo0 < self.elo1:
            raise ValueError(f"elo0 must be below elo1, not {self.elo0:g} and {self.elo1:g}")
        for name, p in (("alpha", self.alpha), ("beta", self.beta)):
            if not 0.0 < p < 0.5:
                raise ValueError(f"{name} must lie between 0 and 0.5, not {p:g}")

    @property
    def bounds(self) -> tuple[float, float]:
        return (math.log(self.beta / (1.0 - self.alpha)),
                math.log((1.0 - self.beta) / self.alpha))

    def llr(self, tally: Tally) -> float:
        """The log-likelihood ratio of H1 against H0 after the tally. The
        variance is taken with half a game of each kind added, so that a
        run of wins alone (variance 0) does not decide at once."""
        if not tally.games:
            return 0.0
        var = tally.variance(prior=0.5)
        s0, s1 = score_of(self.elo0), score_of(self.elo1)
        return tally.games * (s1 - s0) * (2.0 * tally.score - s0 - s1) / (2.0 * var)

    def verdict(self, tally: Tally) -> str | None:
        """`H1` or `H0` once the test decides, else None."""
        low, high = self.bounds
        llr = self.llr(tally)
        if llr >= high:
            return "H1"
        if llr <= low:
            return "H0"
        return None


def parse_sprt(text: str) -> Sprt:
    """`elo0,elo1[,alpha,beta]`; ValueError with one line."""
    parts = [p.strip() for p in text.split(",")]
    if len(parts) not in (2, 4):
        raise ValueError(f"an SPRT is elo0,elo1 or elo0,elo1,alpha,beta, not {text!r}")
    try:
        numbers = [float(p) for p in parts]
    except ValueError:
        raise ValueError(f"an SPRT's bounds are numbers, not {text!r}") from None
    if not all(math.isfinite(x) for x in numbers):
        raise ValueError(f"an SPRT's bounds are finite numbers, not {text!r}")
    return Sprt(*numbers)
