"""The engine protocol: a line-based text protocol over standard input and
output with GTP 2's framing (docs/PROTOCOL.md).

- `wire`: commands, answers, colours, numbers and moves as text.
- `server`: a session that serves a built-in bot (`quelmar-engine`).
- `client`: `Engine`, a typed client for any engine that speaks it.
"""
