"""JSON as records use it: strict on the way in, canonical on the way out.

Reading refuses what `json` lets through but a record must not hold: a key
twice in one object, NaN and Infinity, numbers past the float range,
nesting past `MAX_DEPTH` and strings that are not Unicode text (a lone
surrogate). Every check costs time linear in the text. Writing gives the
one canonical text of a value, so a record written, read and written again
is the same bytes.
"""

from __future__ import annotations

import json
import math
from typing import Any

# Deeper than any record needs (a record's own fields nest five levels; an
# analysis object a few more), shallow enough to walk without recursion
# trouble anywhere.
MAX_DEPTH = 64


class JsonProblem(ValueError):
    """Text that is not a record's JSON; the message says why, in words."""


def _unique_keys(pairs: list[tuple[str, Any]]) -> dict[str, Any]:
    value = dict(pairs)
    if len(value) != len(pairs):
        seen: set[str] = set()
        for key, _ in pairs:
            if key in seen:
                raise JsonProblem(f"the key {key!r} appears twice in one object")
            seen.add(key)
    return value


def _no_constant(name: str) -> Any:
    raise JsonProblem(f"{name} is not a JSON number")


def _finite_float(text: str) -> float:
    value = float(text)
    if not math.isfinite(value):
        raise JsonProblem(f"the number {text[:40]} is out of range")
    return value


def parse(text: str) -> Any:
    """The value `text` holds, or JsonProblem."""
    try:
        value = json.loads(text, object_pairs_hook=_unique_keys,
                           parse_constant=_no_constant, parse_float=_finite_float)
    except json.JSONDecodeError as e:
        raise JsonProblem(f"not valid JSON: {e.msg} (column {e.colno})") from None
    except RecursionError:
        raise JsonProblem(f"nested more than {MAX_DEPTH} levels deep") from None
    except JsonProblem as e:
        raise JsonProblem(f"not valid JSON: {e}") from None
    except ValueError as e:  # an integer of more digits than Python converts
        raise JsonProblem(f"not valid JSON: {e}") from None
    return value


def free_form_problem(value: Any, depth: int = 0) -> tuple[str, str] | None:
    """Where and why a free-form value (meta, analysis, extra headers) cannot
    be kept: (path below the value, problem), or None when it can. Walks
    without recursion, so depth costs nothing but the check."""
    stack: list[tuple[Any, str, int]] = [(value, "", depth)]
    while stack:
        item, path, level = stack.pop()
        if level > MAX_DEPTH:
            return path, f"nested more than {MAX_DEPTH} levels deep"
        if isinstance(item, str):
            if not _is_text(item):
                return path, "holds a lone surrogate, which is not Unicode text"
        elif isinstance(item, dict):
            for key, inner in item.items():
                if not _is_text(key):
                    return path, "has a key with a lone surrogate, which is not Unicode text"
                stack.append((inner, f"{path}.{key}", level + 1))
        elif isinstance(item, list):
            for i, inner in enumerate(item):
                stack.append((inner, f"{path}[{i}]", level + 1))
    return None


def _is_text(text: str) -> bool:
    if text.isascii():
        return True
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:
        return False
    return True


def dumps(value: Any) -> str:
    """The canonical text of `value`: no spaces, keys in their order, floats
    as their shortest round-trip digits, text as UTF-8 rather than escapes
    except the characters that JavaScript or Python's `str.splitlines` take
    for line ends (json escapes those below U+0020 itself)."""
    text = json.dumps(value, separators=(",", ":"), ensure_ascii=False, allow_nan=False)
    if not text.isascii():
        text = text.translate(_LINE_ENDS)
    return text


_LINE_ENDS = {ord(c): f"\\u{ord(c):04x}" for c in "\x85\u2028\u2029"}
