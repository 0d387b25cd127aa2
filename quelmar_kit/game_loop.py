"""Two bots play one game, refereed by the engine: every move a bot answers
is played through `try_move`, and a move the rules refuse loses the game."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Callable

import quelmar as qm

from . import scoring
from .bots import NO_LIMIT, PASS, RESIGN, Bot, Limit, Move


@dataclass(frozen=True)
class Finished:
    """A game that stopped: why (one of scoring.REASONS) and, for a game
    lost by resignation or an illegal move, who lost it."""

    game: qm.Game
    reason: str
    loser: qm.Color | None = None
    refusal: str | None = None  # the engine's words for an illegal move

    def result(self, komi: float) -> scoring.Result:
        return scoring.result_of(self.game, komi, self.reason, self.loser)


def play_turn(game: qm.Game, move: Move) -> str | None:
    """Plays `move` for the colour to move; answers the engine's refusal in
    words, or None when the move was played."""
    if move == PASS:
        game.pass_turn()
        return None
    try:
        game.try_move(move)  # type: ignore[arg-type]
    except (qm.StonePlayError, qm.GameOverError) as refusal:
        return str(refusal)
    return None


def play_game(board_size: float, black: Bot, white: Bot, max_moves: int,
              limit: Limit = NO_LIMIT,
              after_turn: Callable[[qm.Game], None] | None = None,
              komi: float = scoring.DEFAULT_KOMI) -> Finished:
    """Plays from an empty board until two passes, a resignation, an
    illegal move or `max_moves` turns, calling `after_turn(game)` after each;
    the bots are told the game is scored with `komi`."""
    game = qm.Game(board_size)
    while not game.status.has_ended():
        if game.turn >= max_moves:
            return Finished(game, "move-cap")
        mover = game.pending_color
        move = (black if mover == qm.Color.BLACK else white).choose(game, limit, komi)
        if move == RESIGN:
            return Finished(game, "resignation", mover)
        refusal = play_turn(game, move)
        if refusal is not None:
            return Finished(game, "illegal-move", mover, refusal)
        if after_turn is not None:
            after_turn(game)
    return Finished(game, "two-passes")
