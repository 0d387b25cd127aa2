"""One refereed game between two players.

The referee holds the one true game: every move a player answers is played
through `try_move`, so the engine's rules decide what is legal. It keeps
the clocks (each answer is timed from question to reply) and stops the
game at two passes, at the move cap, or when a player resigns, answers a
move the rules refuse, answers nothing in time, crashes or answers
something that is not a move; each of these is the record's reason.
"""

from __future__ import annotations

from dataclasses import dataclass

import quelmar as qm

from .. import records
from ..bots import RESIGN, Limit, Move
from ..game_loop import play_turn
from ..protocol.wire import move_text
from ..timecontrol import TimeControl, move_budget
from .players import Answer, Failure, GameStart, Player

# How long a move may take when the match has no time control: long enough
# for any sensible budget, short enough that a hung engine costs a minute.
DEFAULT_MOVE_TIMEOUT = 60.0


@dataclass(frozen=True)
class Rules:
    """What a refereed game is played under."""

    board_size: float
    komi: float
    max_moves: int
    control: TimeControl = TimeControl()
    # Seconds granted beyond the clock for the reply to travel and a busy
    # machine to schedule it; a move later than that loses on time.
    margin: float = 0.5
    move_timeout: float = DEFAULT_MOVE_TIMEOUT


@dataclass(frozen=True)
class Refereed:
    game: qm.Game
    reason: str
    loser: qm.Color | None
    detail: str | None
    notes: tuple[records.Note | None, ...]
    names: tuple[str, str]  # black, white


def opening_game(board_size: float, opening: tuple[Move, ...]) -> qm.Game:
    """The game after `opening`, each move played by the rules; ValueError
    naming the first move they refuse."""
    game = qm.Game(board_size)
    for turn, move in enumerate(opening):
        refusal = play_turn(game, move) if move != RESIGN else "a resignation"
        if refusal is not None:
            raise ValueError(f"the opening's turn {turn} is refused: {refusal}")
    return game


def referee(black: Player, white: Player, rules: Rules, seeds: tuple[int, int],
            opening: tuple[Move, ...] = ()) -> Refereed:
    """Plays one game from `opening`; `seeds` are black's and white's."""
    game = opening_game(rules.board_size, opening)
    notes: list[records.Note | None] = [None] * game.turn
    players = {qm.Color.BLACK: black, qm.Color.WHITE: white}
    clocks = {color: rules.control.main for color in players}

    def stop(reason: str, loser: qm.Color | None = None,
             detail: str | None = None) -> Refereed:
        return Refereed(game, reason, loser, detail, tuple(notes), (black.name, white.name))

    for color, player in players.items():
        try:
            player.start(GameStart(rules.board_size, rules.komi, rules.control,
                                   seeds[int(color)], opening))
        except Failure as failure:
            return stop(failure.reason, color, failure.detail)

    while not game.status.has_ended():
        if game.turn >= rules.max_moves:
            return stop("move-cap")
        mover = game.pending_color
        clock = clocks[mover] if rules.control.has_clock else None
        allowed = rules.control.main if rules.control.kind == "move" else clock
        budget = move_budget(rules.control, clock, rules.board_size, game.turn)
        limit = Limit(time=budget) if budget is not None else Limit()
        timeout = (allowed if allowed is not None else rules.move_timeout) + rules.margin
        try:
            answer = players[mover].genmove(game, limit, timeout, clock)
        except Failure as failure:
            return stop(failure.reason, mover, failure.detail)
        if answer.seconds > timeout:
            return stop("time", mover, f"{answer.seconds:.3f} s for a move allowed "
                                       f"{timeout - rules.margin:.3f} s")
        if rules.control.has_clock:
            clocks[mover] += rules.control.increment - answer.seconds
        if answer.move == RESIGN:
            return stop("resignation", mover)
        refusal = play_turn(game, answer.move)
        if refusal is not None:
            return stop("illegal-move", mover, f"the move {move_text(answer.move)} is refused: "
                                               f"{refusal}")
        notes.append(_note(answer))
        try:
            players[mover.opposite()].play(mover, answer.move)
        except Failure as failure:
            return stop(failure.reason, mover.opposite(), failure.detail)
    return stop("two-passes")


def _note(answer: Answer) -> records.Note:
    return records.Note(time=round(answer.seconds, 4), analysis=answer.analysis)

