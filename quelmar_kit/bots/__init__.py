"""Bots: players that answer a move for a position.

    from quelmar_kit.bots import make_bot, Limit
    bot = make_bot("random", seed=3)
    move = bot.choose(game, Limit(playouts=200))   # (x, y), "pass" or "resign"
"""

from .base import NO_LIMIT, PASS, RESIGN, Bot, Limit, Move, Point, analysis_of, is_point
from .greedy import GreedyBot
from .mcts import MctsBot
from .random_bot import RandomBot, seeded_random
from .registry import BotKind, BotNameError, bot_kind, bot_names, make_bot, parse_bot_name, register

__all__ = [
    "NO_LIMIT", "PASS", "RESIGN", "Bot", "BotKind", "BotNameError", "GreedyBot", "Limit",
    "MctsBot", "Move", "Point", "RandomBot", "analysis_of", "bot_kind", "bot_names", "is_point",
    "make_bot", "parse_bot_name", "register", "seeded_random",
]
