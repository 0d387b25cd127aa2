"""The SVG dump: the fixed documents of small positions, number texts,
palettes and labels of many groups, forced eyes, agreement of every drawn
element with groups(), and documents that a real renderer draws."""

import math
import re
import shutil
import struct
import subprocess

import pytest

import quelmar as qm
from recorded_games import CAPTURE_WITHOUT_OWN_SPACE, CORNER_CAPTURE, GROUP_CAPTURE, self_play

B, W = qm.Color.BLACK, qm.Color.WHITE

EMPTY_18 = [
    '<svg xmlns="http://www.w3.org/2000/svg" width="18" height="18" viewBox="0 0 18 18">',
    "<defs>",
    '<g id="alive-zone-geometry" stroke-width="inherit" stroke-linecap="round" stroke-linejoin="round"'
    ' fill="inherit" stroke="inherit">',
    '<path d="M 1.0,1.0  L 1.0,17.0 L 17.0,17.0 L 17.0,1.0 L 1.0,1.0 Z" />',
    "</g>",
    '<pattern id="deadzone-hatch" patternUnits="userSpaceOnUse" width="0.4" height="0.4"'
    ' patternTransform="rotate(-45)">',
    '<rect width="0.2" height="0.4" fill="#808080" fill-opacity="0.75"/>',
    '<rect x="0.2" width="0.2" height="0.4" fill="#808080" fill-opacity="0.5"/>',
    "</pattern>",
    '<mask id="deadzone-mask">',
    '<rect width="18" height="18" fill="white"/>',
    '<use href="#alive-zone-geometry" fill="black" stroke="black" stroke-width="2"/>',
    "</mask>",
    "</defs>",
    '<rect width="18" height="18" fill="#0e0e13" stroke="none"/>',
    '<rect width="18" height="18" fill="url(#deadzone-hatch)" mask="url(#deadzone-mask)"/>',
    "</svg>",
]
EMPTY_OUTLINE = "M 1.0,1.0  L 1.0,17.0 L 17.0,17.0 L 17.0,1.0 L 1.0,1.0 Z"

OUTLINE = re.compile(r'<path d="(.*)" />')
TERRITORY = re.compile(r'<path d="(.*)" fill="(#[0-9a-f]{6})" fill-rule="evenodd"/>')
EYE = re.compile(r'<circle cx="([^"]*)" cy="([^"]*)" r="1" stroke="none"/>')
DISC = re.compile(r'<circle cx="([^"]*)" cy="([^"]*)" r="0.95" fill="(#[0-9a-f]{6})" stroke="(#[0-9a-f]{6})"'
                  r' stroke-width="0.1"/>')
LABEL = re.compile(r'<text x="([^"]*)" y="([^"]*)" dy="0.33em" text-anchor="middle" font-size="0.9"'
                   r' font-weight="700" fill="(#[0-9a-f]{6})">([A-Z0-9]+)</text>')

STONE_COLOURS = {B: ("#2e2e35", "#868688"), W: ("#ddddd5", "#696966")}


def document(lines):
    return "".join(line + "\n" for line in lines)


def matches(pattern, svg):
    return [m.groups() for m in map(pattern.fullmatch, svg.split("\n")) if m]


def display(v):
    """Shortest round-trip text without exponent, whole values bare."""
    text = str(int(v)) if v.is_integer() else repr(v)
    assert "e" not in text
    return text


def one_decimal(v):
    return f"{0.0 if v == 0 else v:.1f}"


def ring_path(rings):
    parts = []
    for ring in rings:
        if ring:
            (x, y), rest = ring[0], ring[1:]
            parts.append(f"M {one_decimal(x)} {one_decimal(y)}" +
                         "".join(f" L {one_decimal(px)} {one_decimal(py)}" for px, py in rest) + " Z")
    return " ".join(parts)


def board(stones, size=18.0, captures=()):
    """A position from a hand-made log: stone i is stones[i]; `captures`
    maps a stone index to the ids its delta takes."""
    captures = dict(captures)
    log = [qm.GameDelta(qm.Stone(i, c, p), captures.get(i, [])) for i, (c, p) in enumerate(stones)]
    return qm.Game.replay(size, log)


def played(moves):
    game = qm.Game(18.0)
    for point in moves:
        game.try_move(point)
    return game


# ---------------------------------------------------------------- fixed documents


def test_empty_board_document():
    assert qm.Game(18.0).dump_svg() == document(EMPTY_18)


def test_one_black_stone_adds_a_fill_a_disc_and_a_label():
    game = board([(B, (4.0, 4.0))])
    svg = game.dump_svg()
    added = [
        f'<path d="{ring_path(game.groups()[0].rings)}" fill="#003257" fill-rule="evenodd"/>',
        '<circle cx="4" cy="4" r="0.95" fill="#2e2e35" stroke="#868688" stroke-width="0.1"/>',
        '<text x="4" y="4" dy="0.33em" text-anchor="middle" font-size="0.9" font-weight="700" fill="#868688">1</text>',
    ]
    # The dead zone crosses no other shape, so the outline is the bare
    # inset square, and everything else is the empty board's document.
    assert svg == document(EMPTY_18[:15] + added[:1] + EMPTY_18[15:16] + added[1:] + EMPTY_18[16:])
    corners = set(game.groups()[0].rings[0])
    assert corners == {(0.0, 0.0), (18.0, 0.0), (18.0, 18.0), (0.0, 18.0)}


def test_a_stone_near_the_left_edge_cuts_the_outline_with_an_arc():
    svg = board([(B, (2.0, 9.0))]).dump_svg()
    assert matches(OUTLINE, svg) == [
        ("M 1.0,1.0  L 1.0,7.3 A 2.0,2.0 0 1 1 1.0,10.7 L 1.0,17.0 L 17.0,17.0 L 17.0,1.0 L 1.0,1.0 Z",)
    ]


def test_a_fractional_board_size_prints_as_it_is_and_paths_keep_one_decimal():
    game = self_play(11, 30, size=18.5)
    svg = game.dump_svg()
    lines = svg.split("\n")
    assert lines[0] == '<svg xmlns="http://www.w3.org/2000/svg" width="18.5" height="18.5" viewBox="0 0 18.5 18.5">'
    assert '<rect width="18.5" height="18.5" fill="white"/>' in lines
    assert '<rect width="18.5" height="18.5" fill="#0e0e13" stroke="none"/>' in lines
    assert '<rect width="18.5" height="18.5" fill="url(#deadzone-hatch)" mask="url(#deadzone-mask)"/>' in lines
    (outline,), territories = matches(OUTLINE, svg)[0], matches(TERRITORY, svg)
    assert " A " in outline and territories
    # Coordinates come in pairs "x,y"; the arcs' flags are bare integers.
    for number in re.findall(r"-?[\d.]+(?=,)|(?<=,)-?[\d.]+", outline):
        assert re.fullmatch(r"-?\d+\.\d", number), number
    for d, _ in territories:
        for number in re.findall(r"[^ MLZ]+", d):
            assert re.fullmatch(r"-?\d+\.\d", number), number


def test_negative_zero_positions_never_reach_the_paths():
    def paths(x):
        svg = board([(B, (x, 9.0)), (W, (6.0, x)), (B, (x, x))]).dump_svg()
        return matches(OUTLINE, svg), matches(TERRITORY, svg)

    assert paths(-0.0) == paths(0.0)
    assert "-0.0" not in repr(paths(-0.0))


# ---------------------------------------------------------------- palettes and labels


def lattice(size, lone):
    """A triangular lattice of touching stones, three-coloured: one class is
    `lone` (kept only where all six neighbours exist, so each is a group of
    its own), the other two are the opposite colour. Lone stones come first,
    so their ids rank them."""
    h = math.sqrt(3)
    points = {}
    for j in range(int((size - 2) / h) + 1):
        for i in range(int((size - 2 - j % 2) / 2) + 1):
            points[(i, j)] = (1.0 + 2 * i + j % 2, 1.0 + j * h)

    def axial(i, j):
        return i - (j - (j & 1)) // 2, j

    def neighbours(i, j):
        q, r = axial(i, j)
        for dq, dr in [(1, 0), (-1, 0), (0, 1), (0, -1), (1, -1), (-1, 1)]:
            yield q + dq + (r + dr - ((r + dr) & 1)) // 2, r + dr

    lone_points, others = [], []
    for (i, j), p in sorted(points.items(), key=lambda item: item[0][::-1]):
        q, r = axial(i, j)
        if (q - r) % 3:
            others.append(p)
        elif all(n in points for n in neighbours(i, j)):
            lone_points.append(p)
    return board([(lone, p) for p in lone_points] + [(lone.opposite(), p) for p in others], size)


# rank -> (label, fill)
RANKS = {
    B: {0: ("1", "#003257"), 1: ("2", "#22136a"), 23: ("24", "#0a0067"), 24: ("25", "#003257"),
        25: ("26", "#22136a")},
    W: {0: ("A", "#ffdb00"), 1: ("B", "#ff9dd4"), 23: ("X", "#bd785d"), 24: ("Y", "#ffdb00"),
        25: ("Z", "#ff9dd4"), 26: ("AA", "#ffb60b"), 27: ("BA", "#ffa19d"), 51: ("ZA", "#ffa19d"),
        52: ("AB", "#ffc100"), 48: ("WA", "#ffdb00")},
}


@pytest.mark.parametrize("color", [B, W], ids=["black", "white"])
def test_ranks_pick_palette_entries_and_labels(color):
    game = lattice(28.0, color)
    groups = [g for g in game.groups() if not g.is_empty()]
    lone = [g for g in groups if g.color == color]
    assert len(lone) > max(RANKS[color]) and all(len(g.stones) == 1 for g in lone)
    svg = game.dump_svg()
    fills = [fill for _, fill in matches(TERRITORY, svg)]
    labels = {(x, y): text for x, y, _, text in matches(LABEL, svg)}
    seeds = sorted(g.color_seed for g in lone)
    checked = 0
    for index, group in enumerate(groups):
        if group.color != color or seeds.index(group.color_seed) not in RANKS[color]:
            continue
        label, fill = RANKS[color][seeds.index(group.color_seed)]
        x, y = group.stones[0].position
        assert (fills[index], labels[display(x), display(y)]) == (fill, label)
        checked += 1
    assert checked == len(RANKS[color])


def test_a_group_without_territory_is_not_drawn_and_takes_no_rank():
    # The white stone sits on the black one, so its cell is empty.
    game = board([(B, (4.0, 4.0)), (W, (4.0, 4.0)), (B, (12.0, 12.0)), (W, (14.0, 4.0))])
    assert [g.is_empty() for g in game.groups()] == [False, True, False]
    svg = game.dump_svg()
    assert [fill for _, fill in matches(TERRITORY, svg)] == ["#003257", "#ffdb00"]
    assert [(x, y) for x, y, _, _ in matches(DISC, svg)] == [("4", "4"), ("12", "12"), ("14", "4")]
    assert [(fill, text) for _, _, fill, text in matches(LABEL, svg)] == [
        ("#868688", "1"), ("#868688", "1"), ("#696966", "A")]


# ---------------------------------------------------------------- forced eyes


def expected_eyes(game):
    """The forced eyes the log leaves: every captured centre, less those a
    later stone landed on or within 2 of; drawn in (x, y) order."""
    positions, eyes = {}, {}
    for delta in game.deltas():
        if delta.new_stone is None:
            continue
        stone = delta.new_stone
        positions[stone.id] = p = stone.position
        if p in eyes:
            del eyes[p]
        else:
            for e in [e for e in eyes if math.sqrt((e[0] - p[0]) ** 2 + (e[1] - p[1]) ** 2) <= 2.0]:
                del eyes[e]
        for captured in delta.captured_stone_ids:
            eyes[positions[captured]] = positions[captured]
    return [(display(x), display(y)) for x, y in sorted(eyes)]


@pytest.mark.parametrize("moves", [CORNER_CAPTURE, GROUP_CAPTURE, CAPTURE_WITHOUT_OWN_SPACE],
                         ids=["corner", "group", "without own space"])
def test_forced_eyes_are_drawn_in_key_order(moves):
    game = played(moves)
    svg = game.dump_svg()
    eyes = matches(EYE, svg)
    assert eyes and eyes == expected_eyes(game)
    # They belong to the playable area's geometry, which the mask reuses.
    lines = svg.split("\n")
    start, end = lines.index(EMPTY_18[2]), lines.index("</g>")
    assert all(start < lines.index(line) < end for line in lines if EYE.fullmatch(line))


def test_forced_eyes_are_drawn_when_nothing_else_is_playable():
    # Black covers the whole playable area of a board of 6; its last stone
    # takes three white ones, listed against their key order.
    grid = [(x, y) for x in (1.0, 3.0, 5.0) for y in (1.0, 3.0, 5.0)]
    whites = [(W, (4.0, 2.0)), (W, (2.0, 4.0)), (W, (2.0, 2.0))]
    game = board(whites + [(B, p) for p in grid], size=6.0, captures={len(whites) + len(grid) - 1: [0, 1, 2]})
    svg = game.dump_svg()
    assert matches(OUTLINE, svg) == []
    lines = svg.split("\n")
    assert lines[2:7] == [EMPTY_18[2], '<circle cx="2" cy="2" r="1" stroke="none"/>',
                          '<circle cx="2" cy="4" r="1" stroke="none"/>',
                          '<circle cx="4" cy="2" r="1" stroke="none"/>', "</g>"]


# ---------------------------------------------------------------- agreement with groups()


@pytest.mark.parametrize("seed", range(4))
def test_every_drawn_element_agrees_with_groups(seed):
    game = self_play(seed, 25 + 10 * seed)
    svg = game.dump_svg()
    drawn = [g for g in game.groups() if any(g.rings)]
    assert [d for d, _ in matches(TERRITORY, svg)] == [ring_path(g.rings) for g in drawn]
    stones = [(g.color, s) for g in drawn for s in g.stones]
    assert matches(DISC, svg) == [(display(s.position[0]), display(s.position[1])) + STONE_COLOURS[c]
                                  for c, s in stones]
    assert [(x, y, fill) for x, y, fill, _ in matches(LABEL, svg)] == [
        (display(s.position[0]), display(s.position[1]), STONE_COLOURS[c][1]) for c, s in stones]
    # All discs come before all labels, and the hatch lies between the
    # territories and the stones.
    lines = svg.split("\n")
    kinds = [k for line in lines for k, p in [("t", TERRITORY), ("h", re.compile(r".*deadzone-mask\)\"/>")),
                                               ("d", DISC), ("l", LABEL)] if p.fullmatch(line)]
    assert kinds == sorted(kinds, key="thdl".index)


# ---------------------------------------------------------------- rendering


def png_size(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
    return struct.unpack(">II", data[16:24])


RENDERED = [
    ("empty", lambda: qm.Game(18.0)),
    ("one stone", lambda: board([(B, (4.0, 4.0))])),
    ("captures with forced eyes", lambda: played(CAPTURE_WITHOUT_OWN_SPACE)),
    ("busy board", lambda: self_play(5, 120)),
]


@pytest.mark.skipif(shutil.which("rsvg-convert") is None, reason="rsvg-convert is not installed")
@pytest.mark.parametrize("make", [make for _, make in RENDERED], ids=[name for name, _ in RENDERED])
def test_a_renderer_draws_the_document(make):
    done = subprocess.run(["rsvg-convert", "--format", "png", "--width", "360", "--height", "360"],
                          input=make().dump_svg().encode(), capture_output=True, timeout=60)
    assert done.returncode == 0 and done.stderr == b"", done.stderr
    assert png_size(done.stdout) == (360, 360)
