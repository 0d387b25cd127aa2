"""The play server (`quelmar-play`): a lobby of games for people and bots,
kept in SQLite, pushed to every open page. `server.main` is the command;
the modules below it each do one job:

- `security`: Host and Origin checks, seat tokens;
- `messages`: request bodies read into plain values;
- `table`: one game, its seats and lock; changes and snapshots;
- `board`: what a page draws of a snapshot;
- `store`: the SQLite file and its writer thread;
- `thinking`: bots in worker processes;
- `hall`: the games in memory, publishing changes, starting bots;
- `transport`: aiohttp with its limits and JSON errors;
- `app`: the routes.
"""
