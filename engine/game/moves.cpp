#include <algorithm>

#include "game/game.hpp"

namespace quelmar {

namespace {

// Pops the transient entry however the probe ends.
class RollbackGuard {
 public:
  explicit RollbackGuard(Game& game) : game_(game) {}
  RollbackGuard(const RollbackGuard&) = delete;
  RollbackGuard& operator=(const RollbackGuard&) = delete;
  ~RollbackGuard() { (void)game_.pop_delta(); }

 private:
  Game& game_;
};

}  // namespace

template <class Probe>
Status<DeltaError> Game::with_transient_stone(const Stone& stone, Probe&& probe) {
  if (auto placed = apply_delta(GameDelta{stone, {}}, true); !placed) return placed;
  RollbackGuard rollback(*this);
  probe();
  return Ok{};
}

Result<GameDelta, MoveError> Game::try_move(Point position) {
  if (status_ == GameStatus::Ended) return Err{MoveError::game_over()};
  // A NaN depth is not placeable either.
  if (!(alive_zone_.deepest(position) <= EPSILON)) return Err{MoveError::not_placeable(position)};

  const Stone stone{turn_, color_of_turn(turn_), position};
  std::vector<Stone> captured;
  bool self_capture = false;
  auto probed = with_transient_stone(stone, [&] {
    captured = dead_stones(opposite(stone.color));
    // When enemy stones die, the mover's own dead groups are not looked at.
    if (captured.empty()) self_capture = !dead_stones(stone.color).empty();
  });
  if (!probed) return Err{MoveError::from_delta(probed.error())};
  if (self_capture) return Err{MoveError::self_capture(stone.color, position)};

  std::vector<StoneId> ids;
  ids.reserve(captured.size());
  for (const Stone& s : captured) ids.push_back(s.id);
  std::sort(ids.begin(), ids.end());

  GameDelta delta{stone, std::move(ids)};
  if (auto committed = apply_delta(delta, false); !committed)
    return Err{MoveError::from_delta(committed.error())};
  return delta;
}

std::vector<Stone> Game::dead_stones(Color color) const {
  const Voronoi& partition = voronoi();
  const auto& groups = color == Color::Black ? partition.black : partition.white;
  std::vector<Stone> dead;
  for (const VoronoiGroup& group : groups)
    if (!alive_zone_.cell_is_alive(group.rings))
      dead.insert(dead.end(), group.stones.begin(), group.stones.end());
  return dead;
}

std::optional<Stone> Game::last_placed_stone() const {
  for (auto it = history_.rbegin(); it != history_.rend(); ++it)
    if (!it->transient) return it->delta.new_stone;
  return std::nullopt;
}

std::optional<Point> Game::nearest_living_move(Point position) const {
  return alive_zone_.closest_point(position);
}

}  // namespace quelmar
