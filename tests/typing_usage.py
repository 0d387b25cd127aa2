"""A caller's view of the stub: type-checked with `mypy --strict` and also
run as a script. Every `assert_type` pins an answer's type; every line under
`TYPE_CHECKING` must be refused, and the strict run's unused-ignore check
fails if the stub ever starts accepting one of them."""

import copy
import pickle
from typing import TYPE_CHECKING

from typing_extensions import assert_type

import quelmar as qm


class Coordinate:
    """A coordinate that is not a float but converts like one."""

    def __float__(self) -> float:
        return 9.5


def play() -> qm.Game:
    game = qm.Game(board_size=18)
    delta = game.try_move((4.0, 4))
    assert_type(delta, qm.GameDelta)
    assert_type(delta.new_stone, "qm.Stone | None")
    assert_type(delta.captured_stone_ids, "list[int]")
    game.try_move((Coordinate(), 9.0))
    assert_type(game.pass_turn(), None)
    assert_type(game.undo_move(), "qm.GameDelta | None")
    game.try_move((4.0, 6.5))
    assert_type(game.captures, "tuple[int, int]")
    assert_type(game.status, qm.GameStatus)
    assert_type(game.status.has_ended(), bool)
    assert_type(game.pending_color, qm.Color)
    assert_type(game.revision, int)
    assert_type(len(game), int)
    return game


def query(game: qm.Game) -> None:
    stone = game.stone(0)
    assert stone is not None
    assert_type(stone.position, "tuple[float, float]")
    assert_type(game.last_placed_stone(), "qm.Stone | None")
    assert_type(game.nearest_living_move((0.0, 0.0)), "tuple[float, float] | None")
    assert_type(game.dead_stones(qm.Color.WHITE), "list[qm.Stone]")
    black, white = game.territory()
    assert_type(black + white, float)
    for group in game.groups():
        assert_type(group.rings, "list[list[tuple[float, float]]]")
        assert_type(group.color_seed, "int | None")
        assert_type(group.contains_point((1, 1)), bool)
    assert_type(game.pair_cuttable(0, 2), qm.CutKind)
    assert_type(game.boundary_cuttable(0, qm.BoardEdge.LEFT).label, str)
    assert_type(game.dump_svg(), str)
    assert_type(game._repr_svg_(), str)
    assert_type(game.validate(), None)


def rebuild(game: qm.Game) -> qm.Game:
    log = game.deltas()
    assert_type(log, "list[qm.GameDelta]")
    replayed = qm.Game.replay(game.board_size, log + [qm.GameDelta()])
    restored = pickle.loads(pickle.dumps(replayed))
    assert isinstance(restored, qm.Game)
    assert_type(copy.deepcopy(restored), qm.Game)
    return restored


def catch(game: qm.Game) -> None:
    try:
        game.try_move((30.0, 30.0))
    except qm.NotPlaceableError as err:
        assert_type(err.position, "tuple[float, float]")
    try:
        game.pair_cuttable(7, 7)
    except qm.CutError as err:
        assert_type(err.stones, "list[int]")
    try:
        qm.Game.replay(18.0, [qm.GameDelta(qm.Stone(0, qm.Color.BLACK, (-1.0, 0.0)))])
    except qm.OffBoardError as err:
        assert_type(err.stone, int)
    assert issubclass(qm.SelfCaptureError, qm.StonePlayError)
    limit: float = qm.MAX_PAIR_CUT_DISTANCE
    assert limit > qm.MAX_BOUNDARY_CUT_DISTANCE


if TYPE_CHECKING:
    # Each of these is refused at run time as well.
    _g = qm.Game(18.0)
    _g.try_move([4.0, 4.0])  # type: ignore[arg-type]
    _g.dead_stones(0)  # type: ignore[arg-type]
    _g.boundary_cuttable(0, qm.Color.BLACK)  # type: ignore[arg-type]
    _g.stone("1")  # type: ignore[arg-type]
    qm.Game.replay(18.0, "deltas")  # type: ignore[arg-type]
    qm.GameDelta(captured_stone_ids="12")  # type: ignore[arg-type]
    _g.turn = 3  # type: ignore[misc]
    qm.Stone(0, qm.Color.BLACK, (0.0, 0.0)).id = 1  # type: ignore[misc]

    class _Derived(qm.Game):  # type: ignore[misc]
        pass


if __name__ == "__main__":
    played = play()
    query(played)
    catch(rebuild(played))
    print("typing usage ran")
