// The Game class's methods: queries under shared access, and the moves,
// passes, undos and cut questions that take the game exclusively.

#include <string>

#include "game_object.hpp"
#include "svg/svg_writer.hpp"
#include "type_support.hpp"
#include "types.hpp"

namespace quelmar::py {

namespace {

constexpr std::array<const char*, 1> STONE_ID_PARAM = {"stone_id"};
constexpr std::array<const char*, 1> POSITION_PARAM = {"position"};
constexpr std::array<const char*, 1> COLOR_PARAM = {"color"};
constexpr std::array<const char*, 2> PAIR_PARAMS = {"a", "b"};
constexpr std::array<const char*, 2> EDGE_PARAMS = {"stone_id", "edge"};

constexpr Signature STONE_SIGNATURE = {"Game.stone()", STONE_ID_PARAM, 1};
constexpr Signature NEAREST_SIGNATURE = {"Game.nearest_living_move()", POSITION_PARAM, 1};
constexpr Signature DEAD_STONES_SIGNATURE = {"Game.dead_stones()", COLOR_PARAM, 1};
constexpr Signature TRY_MOVE_SIGNATURE = {"Game.try_move()", POSITION_PARAM, 1};
constexpr Signature PAIR_SIGNATURE = {"Game.pair_cuttable()", PAIR_PARAMS, 2};
constexpr Signature EDGE_SIGNATURE = {"Game.boundary_cuttable()", EDGE_PARAMS, 2};

Ref stone_or_none(const std::optional<Stone>& stone) {
  return stone ? new_stone(*stone) : Ref::borrow(Py_None);
}

Ref stone_list(const std::vector<Stone>& stones) {
  return new_list(stones, [](const Stone& s) { return new_stone(s); });
}

PyObject* cut_answer(const Result<CutKind, CutError>& answer) {
  if (!answer) {
    raise_cut_error(answer.error());
    return nullptr;
  }
  return new_cut_kind(answer.value()).release();
}

// A probed move that is abandoned unless committed: however making the
// answer ends, no probe stays on the board.
class PendingMove {
 public:
  explicit PendingMove(Game& game) : game_(game) {}
  PendingMove(const PendingMove&) = delete;
  PendingMove& operator=(const PendingMove&) = delete;
  ~PendingMove() {
    if (!committed_) game_.abandon_probed_move();
  }
  void commit() {
    game_.commit_probed_move();
    committed_ = true;
  }

 private:
  Game& game_;
  bool committed_ = false;
};

}  // namespace

PyObject* game_stones(PyObject* self, PyObject*) {
  return run_member(self, Mode::Shared, [](const Game& game) {
    return new_list(game.stones(), [](const auto& entry) { return new_stone(entry.second); }).release();
  });
}

PyObject* game_stone(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return run_member<1>(self, STONE_SIGNATURE, args, nargs, kwnames, Mode::Shared,
                       [](const Game& game, std::span<Ref> bound) -> PyObject* {
                         const std::optional<StoneId> id = stone_id_argument(bound[0].get(), "stone_id");
                         if (!id) return nullptr;
                         const auto found = game.stones().find(*id);
                         if (found == game.stones().end()) Py_RETURN_NONE;
                         return new_stone(found->second).release();
                       });
}

PyObject* game_last_placed_stone(PyObject* self, PyObject*) {
  return run_member(self, Mode::Shared,
                    [](const Game& game) { return stone_or_none(game.last_placed_stone()).release(); });
}

PyObject* game_deltas(PyObject* self, PyObject*) {
  return run_member(self, Mode::Shared, [](const Game& game) {
    return new_list(game.log(), [](const GameDelta& d) { return new_game_delta(d); }).release();
  });
}

PyObject* game_nearest_living_move(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return run_member<1>(self, NEAREST_SIGNATURE, args, nargs, kwnames, Mode::Shared,
                       [](const Game& game, std::span<Ref> bound) -> PyObject* {
                         const std::optional<Point> position = position_argument(bound[0].get(), "position");
                         if (!position) return nullptr;
                         const std::optional<Point> nearest = game.nearest_living_move(*position);
                         if (!nearest) Py_RETURN_NONE;
                         return new_point_tuple(*nearest).release();
                       });
}

PyObject* game_dead_stones(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return run_member<1>(self, DEAD_STONES_SIGNATURE, args, nargs, kwnames, Mode::Shared,
                       [](const Game& game, std::span<Ref> bound) -> PyObject* {
                         const std::optional<Color> color = color_argument(bound[0].get(), "color");
                         if (!color) return nullptr;
                         return stone_list(game.dead_stones(*color)).release();
                       });
}

PyObject* game_try_move(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return run_member<1>(self, TRY_MOVE_SIGNATURE, args, nargs, kwnames, Mode::Exclusive,
                       [](Game& game, std::span<Ref> bound) -> PyObject* {
                         const std::optional<Point> position = position_argument(bound[0].get(), "position");
                         if (!position) return nullptr;
                         Result<GameDelta, MoveError> probed = game.probe_move(*position);
                         if (!probed) {
                           raise_move_error(probed.error());
                           return nullptr;
                         }
                         // The answer is made before the move is committed, so
                         // a failure to make it leaves the game as it was.
                         PendingMove pending(game);
                         Ref answer = new_game_delta(probed.value());
                         if (!answer) return nullptr;
                         pending.commit();
                         return answer.release();
                       });
}

PyObject* game_pass_turn(PyObject* self, PyObject*) {
  return run_member(self, Mode::Exclusive, [](Game& game) -> PyObject* {
    if (Status<DeltaError> passed = game.pass(); !passed) {
      raise_delta_error(passed.error());
      return nullptr;
    }
    Py_RETURN_NONE;
  });
}

PyObject* game_undo_move(PyObject* self, PyObject*) {
  return run_member(self, Mode::Exclusive, [](Game& game) -> PyObject* {
    if (game.history().empty()) Py_RETURN_NONE;
    // The answer first: a failure to make it, or to undo, leaves the game
    // as it was.
    Ref answer = new_game_delta(game.history().back().delta);
    if (!answer) return nullptr;
    (void)game.undo();
    return answer.release();
  });
}

PyObject* game_groups(PyObject* self, PyObject*) {
  return run_member(self, Mode::Shared, [](const Game& game) -> PyObject* {
    const Voronoi& voronoi = game.voronoi();
    Ref list = Ref::steal(PyList_New(0));
    if (!list) return nullptr;
    for (const auto* groups : {&voronoi.black, &voronoi.white}) {
      for (const VoronoiGroup& group : *groups) {
        Ref element = new_group(group);
        if (!element || PyList_Append(list.get(), element.get()) < 0) return nullptr;
      }
    }
    return list.release();
  });
}

PyObject* game_territory(PyObject* self, PyObject*) {
  return run_member(self, Mode::Shared, [](const Game& game) -> PyObject* {
    const Voronoi& voronoi = game.voronoi();
    // Summed in group order from -0.0, so a colour without groups has -0.0.
    double black = -0.0;
    for (const VoronoiGroup& group : voronoi.black) black = black + group.area();
    double white = -0.0;
    for (const VoronoiGroup& group : voronoi.white) white = white + group.area();
    return new_point_tuple({black, white}).release();
  });
}

PyObject* game_validate(PyObject* self, PyObject*) {
  return run_member(self, Mode::Shared, [](const Game& game) -> PyObject* {
    if (const std::optional<BoardError> failure = game.validate()) {
      raise_board_error(failure->message());
      return nullptr;
    }
    Py_RETURN_NONE;
  });
}

PyObject* game_pair_cuttable(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return run_member<2>(self, PAIR_SIGNATURE, args, nargs, kwnames, Mode::Exclusive,
                       [](Game& game, std::span<Ref> bound) -> PyObject* {
                         const std::optional<StoneId> a = stone_id_argument(bound[0].get(), "a");
                         if (!a) return nullptr;
                         const std::optional<StoneId> b = stone_id_argument(bound[1].get(), "b");
                         if (!b) return nullptr;
                         return cut_answer(game.pair_cuttable(*a, *b));
                       });
}

PyObject* game_boundary_cuttable(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return run_member<2>(self, EDGE_SIGNATURE, args, nargs, kwnames, Mode::Exclusive,
                       [](Game& game, std::span<Ref> bound) -> PyObject* {
                         const std::optional<StoneId> id = stone_id_argument(bound[0].get(), "stone_id");
                         if (!id) return nullptr;
                         const std::optional<BoardEdge> edge = board_edge_argument(bound[1].get(), "edge");
                         if (!edge) return nullptr;
                         return cut_answer(game.boundary_cuttable(*id, *edge));
                       });
}

PyObject* game_dump_svg(PyObject* self, PyObject*) {
  return run_member(self, Mode::Shared, [](const Game& game) {
    const std::string svg = dump_svg(game.board_size(), game.alive_zone(), game.voronoi());
    return PyUnicode_FromStringAndSize(svg.data(), static_cast<Py_ssize_t>(svg.size()));
  });
}

}  // namespace quelmar::py
