"""Checks on the fields of one record, each failure a RecordError naming the
line and the field's path within the record (`log[3].x`)."""

from __future__ import annotations

import math
from typing import Any, Callable, NoReturn, TypeVar

from .errors import RecordError
from .strict_json import free_form_problem

T = TypeVar("T")
# Past 2**53 an integer may not convert to the float it names.
MAX_EXACT_INTEGER = 2**53


def json_kind(value: Any) -> str:
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "a boolean"
    if isinstance(value, (int, float)):
        return "a number"
    if isinstance(value, str):
        return "a string"
    return "an array" if isinstance(value, list) else "an object"


def path(parent: str, key: str) -> str:
    return f"{parent}.{key}" if parent else key


class Fields:
    def __init__(self, line: int | None):
        self.line = line

    def fail(self, field: str | None, problem: str) -> NoReturn:
        raise RecordError(self.line, field, problem)

    def expect(self, value: Any, kind: type[T] | tuple[type, ...], field: str, wanted: str) -> T:
        # bool is an int to Python but never a number to JSON.
        if isinstance(value, bool) or not isinstance(value, kind):
            self.fail(field, f"expected {wanted}, got {json_kind(value)}")
        return value  # type: ignore[return-value]

    def object(self, value: Any, field: str, required: tuple[str, ...],
               optional: tuple[str, ...] = ()) -> dict[str, Any]:
        """`value` as an object with exactly the `required` keys and perhaps
        some `optional` ones; a key of neither kind is refused."""
        value = self.expect(value, dict, field, "an object")
        assert isinstance(value, dict)
        for key in required:
            if key not in value:
                self.fail(path(field, key), "missing")
        if len(value) > len(required):
            for key in value:
                if key not in required and key not in optional:
                    self.fail(path(field, key), "unexpected field")
        return value

    def number(self, value: Any, field: str) -> float:
        self.expect(value, (int, float), field, "a number")
        if isinstance(value, int) and abs(value) > MAX_EXACT_INTEGER:
            self.fail(field, f"the integer {value} is too large to be read exactly")
        if not math.isfinite(value):
            self.fail(field, f"expected a finite number, got {value}")
        return float(value)

    def integer(self, value: Any, field: str, high: int) -> int:
        self.expect(value, int, field, "an integer")
        if not 0 <= value <= high:
            self.fail(field, f"{value} is not between 0 and {high}")
        return int(value)

    def text(self, value: Any, field: str) -> str:
        text = self.expect(value, str, field, "a string")
        self.free_form(text, field)
        return text

    def pair(self, value: Any, field: str, read: Callable[[Any, str], T]) -> tuple[T, T]:
        self.expect(value, list, field, "an array of two")
        if len(value) != 2:
            self.fail(field, f"expected an array of two, got {len(value)} elements")
        return read(value[0], f"{field}[0]"), read(value[1], f"{field}[1]")

    def free_form(self, value: Any, field: str) -> Any:
        """`value` kept as it came, once it is text all the way down and not
        nested too deeply."""
        problem = free_form_problem(value)
        if problem is not None:
            below, why = problem
            self.fail(field + below, why)
        return value

    def free_object(self, value: Any, field: str) -> dict[str, Any]:
        self.expect(value, dict, field, "an object")
        return self.free_form(value, field)  # type: ignore[no-any-return]
