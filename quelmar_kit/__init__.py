"""quelmar_kit: the toolkit built on the `quelmar` rules engine.

- `quelmar_kit.scoring`: how a game is scored and how its result is written.
- `quelmar_kit.records`: game records (JSON Lines): streaming reader,
  writer, checker.
- `quelmar_kit.bots`: players that answer a move for a position.
- `quelmar_kit.selfplay`: seeded games between bots, at scale.
- `quelmar_kit.protocol`: the engine protocol, its server and its client.
- `quelmar_kit.match`: refereed matches between bots and engines.
- `quelmar_kit.play`: the play server.

The kit uses only the public API of the `quelmar` module.
"""

__all__ = ["__version__"]

# The distribution's version (the engine reports its own through quelmar.version()).
__version__ = "1.1.0"
