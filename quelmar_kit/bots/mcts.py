"""The search player: Monte Carlo tree search (UCT).

Each playout walks down a tree of moves from the position asked about:

1. Selection. At a node whose moves have all been tried, take the child
   with the highest upper confidence bound, `wins / visits + explore *
   sqrt(ln(parent visits) / visits)`, wins counted for the player who
   moved into the child (a draw counts half).
2. Expansion. A node's moves are made the second time a playout reaches
   it (most nodes are reached once, and making moves costs a grid of
   nearest-point questions): the candidate points of `candidates` (a grid
   of `grid` x `grid` targets snapped to placeable points) and the pass,
   in random order. A playout reaching a node with untried moves plays
   the next one; a move the rules refuse (self-capture) is dropped.
3. Simulation. From the new node, random snapped moves (a random point
   of the board moved to the nearest placeable point; a point refused for
   self-capture is drawn again, up to `tries` times, then the player
   passes) for `rollout` times the number of stones that fill the board,
   or until two passes. The position is then scored as the kit scores a
   game: area with komi to White.
4. Backpropagation. The winner's count goes up in every node of the path.

The move played is the root's most visited child (the higher win rate
breaks a tie). A pass is a move like the others, so the bot passes when
passing does at least as well as playing; when the opponent has just
passed and the score with komi is already a win, it passes without
searching, since that pass ends the game won. Games between search bots
therefore end by two passes.

Budget: `playouts` per move, or `time` seconds per move, or both
(whichever runs out first), 500 playouts when neither is given; a `Limit`
given to `choose` overrides the bot's own, so a time alone (a clock's)
bounds a bot whose name sets no playouts. A playout is never cut short, so a time limit is kept to about
one playout's length. At a fixed playout count the bot is reproducible:
the same seed gives the same moves to the same games asked in the same
order.

Every playout starts from a copy of the position, so the game given is
never touched. The search is pure Python over the module's public calls;
almost all of its time goes into `try_move` (bench/mcts.py measures how
much).
"""

from __future__ import annotations

import copy
import math
import random
import sys
import time

import quelmar as qm

from ..scoring import DEFAULT_KOMI, margin_of
from .base import NO_LIMIT, PASS, Limit, Move
from .candidates import candidates, capacity
from .greedy import lead_of
from .random_bot import seeded_random

DEFAULT_PLAYOUTS = 500
DEFAULT_EXPLORE = 0.7
DEFAULT_GRID = 7
# Half a board-full of random moves: random play captures so much that a
# longer playout ends in a position that says little about the move it
# started from (at 2 board-fulls, 800 playouts played no better than 200).
DEFAULT_ROLLOUT = 0.5
DEFAULT_TRIES = 8
DEFAULT_EXPAND = 4
# An unvisited move is valued at its parent's value less this.
FIRST_PLAY_PENALTY = 0.1

BLACK = qm.Color.BLACK
NEXT_PASS_ENDS = qm.GameStatus.NEXT_PASS_ENDS


class Node:
    """A move and what the playouts through it gave: `wins` counts for the
    player who made the move; `prior` is the share of the search the move
    deserves before any playout, from its one-ply outcome."""

    __slots__ = ("move", "prior", "children", "visits", "wins")

    def __init__(self, move: Move, prior: float):
        self.move = move
        self.prior = prior
        self.children: list[Node] | None = None  # None: not expanded yet
        self.visits = 0
        self.wins = 0.0


class MctsBot:
    def __init__(self, seed: int | None = None, playouts: int | None = None,
                 time: float | None = None, explore: float = DEFAULT_EXPLORE,
                 grid: int = DEFAULT_GRID, rollout: float = DEFAULT_ROLLOUT,
                 tries: int = DEFAULT_TRIES, expand: int = DEFAULT_EXPAND):
        if playouts is not None and playouts < 1:
            raise ValueError(f"playouts must be positive, not {playouts}")
        if time is not None and not time > 0.0:
            raise ValueError(f"time must be positive, not {time}")
        if not explore >= 0.0:
            raise ValueError(f"explore must be zero or more, not {explore}")
        if grid < 1 or tries < 1 or expand < 1:
            raise ValueError(f"grid, tries and expand must be positive, not {grid}, {tries} "
                             f"and {expand}")
        if not 0.0 <= rollout <= 100.0:
            raise ValueError(f"rollout must be from 0 to 100, not {rollout}")
        self.rng: random.Random = seeded_random(seed)
        self.playouts, self.time = playouts, time
        self.explore, self.grid, self.rollout, self.tries = explore, grid, rollout, tries
        self.expand = expand
        self.analysis: dict[str, object] | None = None
        defaults = {"playouts": None, "time": None, "explore": DEFAULT_EXPLORE,
                    "grid": DEFAULT_GRID, "rollout": DEFAULT_ROLLOUT, "tries": DEFAULT_TRIES,
                    "expand": DEFAULT_EXPAND}
        chosen = {"playouts": playouts, "time": time, "explore": explore, "grid": grid,
                  "rollout": rollout, "tries": tries, "expand": expand}
        options = [f"{key}={value:g}" if isinstance(value, float) else f"{key}={value}"
                   for key, value in chosen.items() if value != defaults[key]]
        self.name = "mcts" + (":" + ",".join(options) if options else "")

    # ------------------------------------------------------------ choosing

    def choose(self, game: qm.Game, limit: Limit = NO_LIMIT,
               komi: float = DEFAULT_KOMI) -> Move:
        self.analysis = None
        if game.status.has_ended():
            return PASS
        me = game.pending_color
        if game.status == NEXT_PASS_ENDS and self._wins(game, me, komi) == 1.0:
            self.analysis = {"playouts": 0, "value": 1.0, "comment": "passing wins"}
            return PASS
        seconds = limit.time if limit.time is not None else self.time
        playouts = limit.playouts if limit.playouts is not None else self.playouts
        if playouts is None:  # a time alone bounds the search
            playouts = DEFAULT_PLAYOUTS if seconds is None else sys.maxsize
        started = time.perf_counter()
        deadline = math.inf if seconds is None else started + seconds
        root = Node(PASS, 1.0)
        root_game = copy.copy(game)
        steps = max(1, round(self.rollout * capacity(game.board_size)))
        done = 0
        while done < playouts:
            now = time.perf_counter()
            # Stop before a playout that would likely end past the deadline.
            if done and now + (now - started) / done > deadline:
                break
            self._playout(root, copy.copy(root_game), komi, steps)
            done += 1
        best = self._best(root)
        if best is None:
            return PASS
        self.analysis = {"playouts": done, "visits": best.visits,
                         "value": round(best.wins / best.visits, 4)}
        return best.move

    @staticmethod
    def _best(root: Node) -> Node | None:
        if not root.children or not root.visits:
            return None
        return max(root.children, key=lambda child: (child.visits, child.wins, child.prior))

    # ------------------------------------------------------------ one playout

    def _playout(self, root: Node, game: qm.Game, komi: float, steps: int) -> None:
        path = [root]
        movers = [game.pending_color.opposite()]
        node = root
        while not game.status.has_ended():
            if node.children is None:
                if node is not root and node.visits < self.expand:
                    break
                node.children = self._expand(game, komi)
            if not node.children:
                break
            node = self._select(node, node.children)
            movers.append(game.pending_color)
            self._apply(game, node.move)
            path.append(node)
        if not game.status.has_ended():
            self._simulate(game, steps)
        black_wins = self._wins(game, BLACK, komi)
        for visited, mover in zip(path, movers):
            visited.visits += 1
            visited.wins += black_wins if mover == BLACK else 1.0 - black_wins

    def _expand(self, game: qm.Game, komi: float) -> list[Node]:
        """The children of the position `game` stands at: every candidate
        the rules allow, and the pass, each with its prior, best first.
        The prior is a softmax over each move's one-ply lead (territory
        after the move, less the opponent's), in units of the area one
        stone holds on a full board."""
        me = game.pending_color
        scale = game.board_size ** 2 / capacity(game.board_size)
        moves: list[Move] = [PASS]
        leads = [lead_of(game.territory(), me, komi)]
        for point in candidates(game, self.grid, self.rng):
            try:
                game.try_move(point)
            except qm.SelfCaptureError:
                continue  # refused: the game is as it was
            moves.append(point)
            leads.append(lead_of(game.territory(), me, komi))
            game.undo_move()
        top = max(leads)
        weights = [math.exp((lead - top) / scale) for lead in leads]
        total = sum(weights)
        children = [Node(move, weight / total) for move, weight in zip(moves, weights)]
        children.sort(key=lambda child: -child.prior)  # stable: ties keep grid order
        return children

    def _select(self, parent: Node, children: list[Node]) -> Node:
        """PUCT: the child with the highest `value + explore * prior *
        sqrt(parent visits) / (1 + visits)`; an unvisited child is valued
        at the parent's own value less FIRST_PLAY_PENALTY, so that moves
        with a small prior wait until the likely ones disappoint."""
        if parent.visits:
            first_play = 1.0 - parent.wins / parent.visits - FIRST_PLAY_PENALTY
        else:
            first_play = 0.5
        weight = self.explore * math.sqrt(parent.visits)
        best, best_score = children[0], -math.inf
        for child in children:
            visits = child.visits
            value = child.wins / visits if visits else first_play
            score = value + weight * child.prior / (1 + visits)
            if score > best_score:
                best, best_score = child, score
        return best

    @staticmethod
    def _apply(game: qm.Game, move: Move) -> None:
        if move == PASS:
            game.pass_turn()
        else:
            game.try_move(move)  # type: ignore[arg-type]

    def _simulate(self, game: qm.Game, steps: int) -> None:
        """Random snapped moves for `steps` turns or until two passes."""
        uniform = self.rng.uniform
        size = game.board_size
        nearest, try_move, tries = game.nearest_living_move, game.try_move, self.tries
        for _ in range(steps):
            for _ in range(tries):
                point = nearest((uniform(0.0, size), uniform(0.0, size)))
                if point is None:
                    break  # the board is full
                try:
                    try_move(point)
                    break
                except qm.SelfCaptureError:
                    continue
            else:
                point = None
            if point is None:
                game.pass_turn()
                if game.status.has_ended():
                    return

    @staticmethod
    def _wins(game: qm.Game, color: qm.Color, komi: float) -> float:
        """1.0 when `color` wins the position scored as it stands, 0.5 for a
        draw, else 0.0."""
        margin = margin_of(game.territory(), komi)
        if margin == 0.0:
            return 0.5
        return 1.0 if (margin > 0.0) == (color == BLACK) else 0.0
