"""The one error a record can raise."""

from __future__ import annotations


class RecordError(ValueError):
    """A record that cannot be loaded: its line (None when the text was not
    read from a file), the field at fault (a path such as `log[3].x`, or
    None when the line is not a JSON object at all) and what is wrong."""

    def __init__(self, line: int | None, field: str | None, problem: str):
        self.line, self.field, self.problem = line, field, problem
        where = [f"line {line}"] if line is not None else []
        if field is not None:
            where.append(f"field {field}")
        super().__init__(f"{', '.join(where)}: {problem}" if where else problem)
