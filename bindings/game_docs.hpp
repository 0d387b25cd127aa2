#pragma once
// The docstrings of the Game class and its members. A method's starts
// with its signature line, which is what the interpreter shows as its
// signature.

namespace quelmar::py::game_doc {

inline constexpr const char* CLASS =
    "Game(board_size)\n"
    "--\n"
    "\n"
    "A game of Quelmar: the board, the rules, and the history to undo them.\n"
    "\n"
    "```python\n"
    "import quelmar as qm\n"
    "\n"
    "game = qm.Game(board_size=18)\n"
    "game.try_move((4.0, 4.0))\n"
    "game.pass_turn()\n"
    "game.undo_move()\n"
    "\n"
    "black, white = game.territory()\n"
    "```";
inline constexpr const char* REPLAY =
    "replay(board_size, deltas)\n"
    "--\n"
    "\n"
    "A board with `deltas` played onto it as committed turns, in order.\n"
    "\n"
    "This is how a game is rebuilt from its log. Deltas carry their own\n"
    "capture lists, so a replay reproduces the captures — and the forced eyes\n"
    "they leave — without re-deriving life and death.\n"
    "\n"
    "Raises a `DeltaError` naming the first delta the board cannot account\n"
    "for, with nothing after it applied — or `GameOverError` for a log that\n"
    "carries on past two passes in a row, which is a log of a game that had\n"
    "already ended.";
inline constexpr const char* BOARD_SIZE =
    "Width and height of the board.";
inline constexpr const char* TURN =
    "Committed turns played so far.";
inline constexpr const char* PENDING_COLOR =
    "Whose turn it is. Black moves on even turns.";
inline constexpr const char* NEXT_STONE_ID =
    "The id the next stone will take.";
inline constexpr const char* CAPTURES =
    "How many stones each player has captured, as `(black, white)`.";
inline constexpr const char* STATUS =
    "How far along the game is.\n"
    "\n"
    "`GameStatus.ENDED` once two passes in a row have been played, and from\n"
    "then on `try_move` and `pass_turn` raise `GameOverError`. Nothing else\n"
    "changes: every query still answers, and `undo_move` takes the last pass\n"
    "back.\n"
    "\n"
    "What an ended game is *worth* is still yours — this package scores\n"
    "nothing beyond `territory`.";
inline constexpr const char* REVISION =
    "Counts every board change. It only ever increases, so anything derived\n"
    "from the board can be memoized against it.";
inline constexpr const char* STONE_COUNT =
    "How many stones are in play.";
inline constexpr const char* STONES =
    "stones($self)\n"
    "--\n"
    "\n"
    "The stones in play, ascending by id.";
inline constexpr const char* STONE =
    "stone($self, stone_id)\n"
    "--\n"
    "\n"
    "The stone with this id, or `None` if it is not in play.";
inline constexpr const char* LAST_PLACED_STONE =
    "last_placed_stone($self)\n"
    "--\n"
    "\n"
    "The stone placed on the last committed turn, or `None` if that turn was\n"
    "a pass or nothing has been played.";
inline constexpr const char* DELTAS =
    "deltas($self)\n"
    "--\n"
    "\n"
    "The committed turns, oldest first — everything needed to replay this\n"
    "game into a fresh board of the same size.";
inline constexpr const char* NEAREST_LIVING_MOVE =
    "nearest_living_move($self, position)\n"
    "--\n"
    "\n"
    "The placeable position nearest `position`, or `None` when the board is\n"
    "full.\n"
    "\n"
    "A position that is already placeable is its own answer. This is the\n"
    "snapping `try_move` deliberately does not do.";
inline constexpr const char* DEAD_STONES =
    "dead_stones($self, color)\n"
    "--\n"
    "\n"
    "Every stone of `color` whose group no longer touches playable space.";
inline constexpr const char* TRY_MOVE =
    "try_move($self, position)\n"
    "--\n"
    "\n"
    "Plays a stone of the colour to move at `position`, taking whatever it\n"
    "captures, and answers the delta it committed.\n"
    "\n"
    "`position` must already be placeable — this does not snap, and\n"
    "`nearest_living_move` is how you make it so.\n"
    "\n"
    "Raises `NotPlaceableError` if no stone centre may sit there,\n"
    "`SelfCaptureError` if the move would take only the mover's own stones,\n"
    "and `GameOverError` if the game has ended on two passes. In every case\n"
    "the board is left exactly as it was, to the bit.";
inline constexpr const char* PASS_TURN =
    "pass_turn($self)\n"
    "--\n"
    "\n"
    "Passes the turn.\n"
    "\n"
    "Spelled `pass_turn` because `pass` is a Python keyword. A pass is a\n"
    "committed delta like any other, so it can be undone.\n"
    "\n"
    "The second pass in a row ends the game; a third raises `GameOverError`,\n"
    "as does any move after it.";
inline constexpr const char* UNDO_MOVE =
    "undo_move($self)\n"
    "--\n"
    "\n"
    "Takes back the last change and answers the delta it undid, or `None`\n"
    "when there is nothing to undo.\n"
    "\n"
    "The board comes back bit for bit, including the playable area's internal\n"
    "structure.";
inline constexpr const char* COPY =
    "__copy__($self)\n"
    "--\n"
    "\n";
inline constexpr const char* DEEPCOPY =
    "__deepcopy__($self, _memo=None)\n"
    "--\n"
    "\n";
inline constexpr const char* GROUPS =
    "groups($self)\n"
    "--\n"
    "\n"
    "Every group on the board, black's before white's.";
inline constexpr const char* TERRITORY =
    "territory($self)\n"
    "--\n"
    "\n"
    "The board area each player controls, as `(black, white)`.\n"
    "\n"
    "The whole board is `board_size ** 2`, and the two shares sum to it once\n"
    "there is at least one stone. Komi, and what to do with the difference,\n"
    "are yours.";
inline constexpr const char* VALIDATE =
    "validate($self)\n"
    "--\n"
    "\n"
    "Checks every invariant the board is supposed to hold.\n"
    "\n"
    "Raises `BoardError` naming the first one that does not. A healthy board\n"
    "never raises: every variant is a bug in the engine rather than something\n"
    "a caller can provoke. Debug builds check this after every change; in a\n"
    "release wheel they do not, and this is how you ask.";
inline constexpr const char* PAIR_CUTTABLE =
    "pair_cuttable($self, a, b)\n"
    "--\n"
    "\n"
    "Whether an enemy pair can be wedged between two of this board's stones.\n"
    "\n"
    "Answers a `CutKind`. `CutKind.TOO_FAR` when the two are further apart\n"
    "than `MAX_PAIR_CUT_DISTANCE`, which is **not** a verdict in either\n"
    "direction: past that distance the search could report a connection that\n"
    "is not there, so the rules decline rather than guess. The limit is a\n"
    "module constant so a caller can see which pairs are answerable before\n"
    "asking.\n"
    "\n"
    "This is a fact about the position, not about what a renderer would draw:\n"
    "the dense interior of a friendly shape is what any renderer hides, and it\n"
    "is the most certainly connected part of the board.\n"
    "\n"
    "Raises `CutError` when the question is not about a connection at all —\n"
    "either stone not in play, a stone against itself, or two colours.";
inline constexpr const char* BOUNDARY_CUTTABLE =
    "boundary_cuttable($self, stone_id, edge)\n"
    "--\n"
    "\n"
    "The same question about one of this board's stones and a board edge.\n"
    "\n"
    "`CutKind.TOO_FAR` when the stone is further from that edge than\n"
    "`MAX_BOUNDARY_CUT_DISTANCE`. Raises `CutError` when the stone is not in\n"
    "play; nothing else here can be malformed.";
inline constexpr const char* DUMP_SVG =
    "dump_svg($self)\n"
    "--\n"
    "\n"
    "A standalone SVG of the position: every group filled with its own\n"
    "colour, dead area hatched, group ids labelled.";
inline constexpr const char* REPR_SVG =
    "_repr_svg_($self)\n"
    "--\n"
    "\n"
    "The position as `dump_svg` draws it, which is how a notebook shows a game.";
inline constexpr const char* REDUCE =
    "__reduce__($self)\n"
    "--\n"
    "\n"
    "Pickles the game as its board size and log; unpickling replays the log\n"
    "into a fresh board.";

}  // namespace quelmar::py::game_doc
