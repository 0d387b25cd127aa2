"""What a request body may say, read into plain values.

Bodies are hostile: the JSON is read by the records' strict reader (a key
twice, NaN, numbers past the float range and deep nesting are refused in
linear time), every field is checked for its type and range, and unknown
fields are refused, so a typo is an error rather than a default. Every
refusal is a `BadRequest` with one line of words.
"""

from __future__ import annotations

import math
from dataclasses import dataclass
from typing import Any

from .. import limits
from ..bots import BotNameError, bot_kind, make_bot
from ..records.strict_json import JsonProblem, parse
from .table import Seat, SeatKind

MAX_NAME = 40
MAX_OPTION_TEXT = 40
MAX_TOKEN = 100
MAX_VERSION = 2**53


class BadRequest(Exception):
    """A request that cannot be served as sent: a status and one line."""

    def __init__(self, message: str, status: int = 400):
        super().__init__(message)
        self.status, self.message = status, message


@dataclass(frozen=True)
class SeatChoice:
    kind: SeatKind
    name: str  # a person's name, or the bot's name


@dataclass(frozen=True)
class NewGame:
    board_size: float
    komi: float
    black: SeatChoice
    white: SeatChoice


@dataclass(frozen=True)
class Action:
    """A seat's request: its token, the version of the game its page shows
    (so that a click never lands in a position the player did not see), and
    for a move the point clicked."""

    token: str
    version: int
    point: tuple[float, float] | None = None


def json_object(body: bytes) -> dict[str, Any]:
    try:
        text = body.decode("utf-8")
    except UnicodeDecodeError as e:
        raise BadRequest(f"the body is not UTF-8 text (byte {e.start})") from None
    try:
        value = parse(text)
    except JsonProblem as e:
        raise BadRequest(f"the body is {e}" if str(e).startswith("not") else
                         f"the body is not usable JSON: {e}") from None
    if not isinstance(value, dict):
        raise BadRequest("the body must be a JSON object")
    return value


def _fields(body: dict[str, Any], required: tuple[str, ...], optional: tuple[str, ...] = ()) -> None:
    for key in required:
        if key not in body:
            raise BadRequest(f"the field {key!r} is missing")
    unknown = [key for key in body if key not in required + optional]
    if unknown:
        raise BadRequest(f"there is no field {unknown[0][:40]!r} here")


def _number(value: Any, what: str) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise BadRequest(f"{what} must be a number")
    try:
        number = float(value)
    except OverflowError:
        raise BadRequest(f"{what} is out of range") from None
    if not math.isfinite(number):
        raise BadRequest(f"{what} must be a finite number")
    return number


def _text(value: Any, what: str, longest: int) -> str:
    if not isinstance(value, str):
        raise BadRequest(f"{what} must be text")
    if len(value) > longest:
        raise BadRequest(f"{what} is longer than {longest} characters")
    if any(not ch.isprintable() for ch in value):
        raise BadRequest(f"{what} holds a character that cannot be shown")
    return value


def _seat(value: Any, color: str) -> SeatChoice:
    if not isinstance(value, dict):
        raise BadRequest(f"{color} must be an object: {{\"player\": \"person\"}} or "
                         f"{{\"player\": \"bot\", \"bot\": NAME}}")
    player = value.get("player")
    if player == "person":
        _fields(value, ("player",), ("name",))
        name = _text(value.get("name", ""), f"{color}'s name", MAX_NAME).strip()
        return SeatChoice("person", name or color)
    if player == "bot":
        _fields(value, ("player", "bot"), ("options",))
        name = _text(value["bot"], f"{color}'s bot", MAX_NAME)
        try:
            kind = bot_kind(name)
        except BotNameError as e:
            raise BadRequest(str(e)) from None
        options = value.get("options", {})
        if not isinstance(options, dict):
            raise BadRequest(f"{color}'s bot options must be an object")
        parts = []
        for key, setting in options.items():
            if key not in kind.options:
                raise BadRequest(f"{name} has no option {key[:40]!r}")
            text = _text(setting, f"{name}'s option {key}", MAX_OPTION_TEXT).strip()
            if any(c in text for c in ",:="):
                raise BadRequest(f"{name}'s option {key} cannot hold ',', ':' or '='")
            if text:
                parts.append(f"{key}={text}")
        text = name + (":" + ",".join(parts) if parts else "")
        try:
            make_bot(text, 0)
        except BotNameError as e:
            raise BadRequest(str(e)) from None
        return SeatChoice("bot", text)
    raise BadRequest(f"{color}'s player must be \"person\" or \"bot\"")


def new_game(body: dict[str, Any]) -> NewGame:
    """A new game's settings; board size and komi within the kit's bounds
    (limits.py), the same as on the command line and in records."""
    _fields(body, ("size", "black", "white"), ("komi",))
    try:
        size = limits.check_board_size(body["size"])
        komi = limits.check_komi(body.get("komi", 0.0), size)
    except limits.SettingError as e:
        raise BadRequest(str(e)) from None
    return NewGame(size, komi, _seat(body["black"], "black"), _seat(body["white"], "white"))


def seats_only(body: dict[str, Any]) -> tuple[SeatChoice, SeatChoice, str]:
    """The seats of a game made from a record, and the record's line."""
    _fields(body, ("record", "black", "white"))
    record = body["record"]
    if not isinstance(record, str):
        raise BadRequest("record must be the text of one line of a record file")
    return _seat(body["black"], "black"), _seat(body["white"], "white"), record


def action(body: dict[str, Any], with_point: bool) -> Action:
    _fields(body, ("token", "version") + (("x", "y") if with_point else ()))
    token = _text(body["token"], "token", MAX_TOKEN)
    version = body["version"]
    if isinstance(version, bool) or not isinstance(version, int) or \
            not 0 <= version <= MAX_VERSION:
        raise BadRequest("version must be the whole number the page was shown")
    point = (_number(body["x"], "x"), _number(body["y"], "y")) if with_point else None
    return Action(token, version, point)


def seat_of_choice(choice: SeatChoice, token_hash: str | None) -> Seat:
    return Seat(choice.kind, choice.name, token_hash if choice.kind == "person" else None)
