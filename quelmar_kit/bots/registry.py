"""Bots by name. A player is given as text, `name` or
`name:key=value,key=value` (`random:tries=40`, `mcts:playouts=400`): the
same text on command lines, in the play server and in record headers."""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Callable, Mapping

from .base import Bot
from .greedy import GreedyBot
from .mcts import MctsBot
from .random_bot import RandomBot

# A factory takes the seed and the options its text sets, each already converted.
Factory = Callable[..., Bot]


@dataclass(frozen=True)
class BotKind:
    name: str
    factory: Factory
    summary: str
    # The options a bot's text may set, each with the type it converts to.
    options: Mapping[str, type] = field(default_factory=dict)


_KINDS: dict[str, BotKind] = {}


class BotNameError(ValueError):
    """A player's text that names no bot or sets an option wrongly; one line."""


def register(kind: BotKind) -> None:
    _KINDS[kind.name] = kind


def bot_names() -> list[str]:
    return sorted(_KINDS)


def bot_kind(name: str) -> BotKind:
    if name not in _KINDS:
        raise BotNameError(f"no bot is called {name!r}; the bots are {', '.join(bot_names())}")
    return _KINDS[name]


def parse_bot_name(text: str) -> tuple[str, dict[str, object]]:
    """The bot name and converted options of `text`; BotNameError if bad."""
    name, _, rest = text.strip().partition(":")
    kind = bot_kind(name)
    options: dict[str, object] = {}
    for item in filter(None, (part.strip() for part in rest.split(","))):
        key, equals, text = item.partition("=")
        key = key.strip()
        allowed = kind.options
        if not equals or key not in allowed:
            known = ", ".join(sorted(allowed)) or "none"
            raise BotNameError(f"{name} has no option {key!r} (its options: {known})")
        try:
            options[key] = allowed[key](text.strip())
        except ValueError:
            raise BotNameError(f"{name}'s option {key} takes {allowed[key].__name__}, "
                               f"not {text.strip()!r}") from None
    return name, options


def make_bot(text: str, seed: int | None = None) -> Bot:
    """The bot `text` names, seeded; BotNameError for bad text."""
    name, options = parse_bot_name(text)
    try:
        return bot_kind(name).factory(seed=seed, **options)
    except ValueError as e:
        raise BotNameError(f"{text}: {e}") from None


register(BotKind("random", RandomBot, "random snapped points; passes after `tries` refusals",
                 {"tries": int}))
register(BotKind("greedy", GreedyBot, "one ply: the candidate with the best territory and captures",
                 {"grid": int, "capture": float}))
register(BotKind("mcts", MctsBot, "Monte Carlo tree search (UCT) with random snapped playouts",
                 {"playouts": int, "time": float, "explore": float, "grid": int,
                  "rollout": float, "tries": int, "expand": int}))
