"""The play server (`quelmar-play`)."""

from .server import main

__all__ = ["main"]
