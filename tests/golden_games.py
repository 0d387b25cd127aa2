#!/usr/bin/env python3
"""Seeded snapped games whose every answer is pinned in a golden file.

Each game plays snapped moves (every stone at the `nearest_living_move` of a
random point, as the self-play job does), with passes, undos, refused moves,
cut questions, groups and SVG dumps mixed in. Every answer goes into one of a
few transcripts per game, written with exact float text (`float.hex`); the
golden file keeps a SHA-256 digest of each transcript, so a change to any
answer, tie-break or message names the game and the kind of answer it broke.

    python tests/golden_games.py --write          # record the golden file
    python tests/golden_games.py --show 17 svg    # print one transcript
"""

import argparse
import hashlib
import json
import pathlib
import random
import sys

import quelmar as qm

GOLDEN = pathlib.Path(__file__).with_name("golden") / "snapped_games.json"
GAMES = 200
SIZES = (7.0, 9.0, 13.5, 18.0, 19.0, 25.0, 40.0)
CATEGORIES = ("log", "nearest", "moves", "groups", "svg", "cuts", "counters")
EDGES = (qm.BoardEdge.LEFT, qm.BoardEdge.RIGHT, qm.BoardEdge.TOP, qm.BoardEdge.BOTTOM)


def fx(v):
    return float.hex(v)


def point_text(p):
    return "None" if p is None else f"({fx(p[0])},{fx(p[1])})"


def delta_text(d):
    if d is None:
        return "None"
    if d.is_pass:
        return "pass"
    s = d.new_stone
    return f"{s.id}:{s.color.label}:{point_text(s.position)}:{d.captured_stone_ids}"


def error_text(e):
    attrs = []
    for name in ("stone", "stones", "position", "color"):
        if hasattr(e, name):
            v = getattr(e, name)
            if name == "position":
                v = point_text(v)
            elif name == "color":
                v = v.label
            attrs.append(f"{name}={v}")
    return f"{type(e).__name__}({str(e)!r};{','.join(attrs)})"


def groups_text(game):
    out = []
    for g in game.groups():
        rings = ";".join(",".join(point_text(p) for p in ring) for ring in g.rings)
        out.append(f"{g.color.label}{g.stone_ids}{fx(g.area)}[{rings}]")
    black, white = game.territory()
    out.append(f"territory {fx(black)} {fx(white)}")
    dead = [s.id for c in (qm.Color.BLACK, qm.Color.WHITE) for s in game.dead_stones(c)]
    out.append(f"dead {dead}")
    return "|".join(out)


def max_turns(size):
    return int(40 + 4 * size)


def play(seed):
    """Plays game `seed` and answers its transcripts, one list per category."""
    rng = random.Random(seed)
    size = SIZES[seed % len(SIZES)]
    game = qm.Game(size)
    t = {c: [] for c in CATEGORIES}

    def attempt(point):
        try:
            t["moves"].append("ok " + delta_text(game.try_move(point)))
            return True
        except qm.QuelmarError as e:
            t["moves"].append("refused " + error_text(e))
            return False

    def ask_cuts():
        ids = [s.id for s in game.stones()]
        if not ids:
            return
        a, b = rng.choice(ids), rng.choice(ids)
        for question in ((lambda: game.pair_cuttable(a, b)),
                         (lambda: game.boundary_cuttable(a, rng.choice(EDGES)))):
            try:
                t["cuts"].append(question().label)
            except qm.QuelmarError as e:
                t["cuts"].append(error_text(e))

    step = 0
    while game.turn < max_turns(size) and not game.status.has_ended():
        step += 1
        r = rng.random()
        if r < 0.04:
            game.pass_turn()
            t["moves"].append("pass")
        elif r < 0.10:
            t["moves"].append("undo " + delta_text(game.undo_move()))
        else:
            target = (rng.uniform(-1.0, size + 1.0), rng.uniform(-1.0, size + 1.0))
            if rng.random() < 0.15:
                attempt(target)  # mostly refused: not placeable
            point = game.nearest_living_move(target)
            t["nearest"].append(point_text(target) + "->" + point_text(point))
            if point is None or not attempt(point):
                game.pass_turn()
                t["moves"].append("pass")
        if step % 5 == 0:
            t["groups"].append(groups_text(game))
            ask_cuts()
        if step % 25 == 0:
            t["svg"].append(game.dump_svg())
    t["groups"].append(groups_text(game))
    t["svg"].append(game.dump_svg())
    t["log"] = [delta_text(d) for d in game.deltas()]
    t["counters"].append(f"turn {game.turn} revision {game.revision} captures {game.captures} "
                         f"status {int(game.status)} stones {game.stone_count}")
    return t


def digests(transcripts):
    return {c: hashlib.sha256("\n".join(transcripts[c]).encode()).hexdigest() for c in CATEGORIES}


def record():
    games = [{"seed": seed, "size": SIZES[seed % len(SIZES)], "digests": digests(play(seed))}
             for seed in range(GAMES)]
    GOLDEN.parent.mkdir(exist_ok=True)
    GOLDEN.write_text(json.dumps({"games": games}, indent=1) + "\n")
    return len(games)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--write", action="store_true", help="record the golden file")
    parser.add_argument("--show", nargs=2, metavar=("SEED", "CATEGORY"), help="print one transcript")
    args = parser.parse_args(argv)
    if args.write:
        print(f"recorded {record()} games in {GOLDEN}")
    elif args.show:
        print("\n".join(play(int(args.show[0]))[args.show[1]]))
    else:
        parser.print_help()
    return 0


if __name__ == "__main__":
    sys.exit(main())
