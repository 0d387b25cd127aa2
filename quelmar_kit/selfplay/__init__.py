"""Self-play: seeded games between bots, at scale (`quelmar-selfplay`)."""

from .cli import main
from .jobs import Job, Played, Settings, jobs, play_job, record_of

__all__ = ["Job", "Played", "Settings", "jobs", "main", "play_job", "record_of"]
