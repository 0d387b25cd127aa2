#include <algorithm>

#include "game/game.hpp"

namespace quelmar {

Game::ProbeVerdict Game::judge_probe(Color mover) const {
  ProbeVerdict verdict;
  for (const Stone& s : dead_stones(opposite(mover))) verdict.captured.push_back(s.id);
  std::sort(verdict.captured.begin(), verdict.captured.end());
  // When enemy stones die, the mover's own dead groups are not looked at.
  if (verdict.captured.empty()) verdict.self_capture = !dead_stones(mover).empty();
  return verdict;
}

Result<GameDelta, MoveError> Game::probe_move(Point position) {
  if (status_ == GameStatus::Ended) return Err{MoveError::game_over()};
  // A NaN depth is not placeable either.
  if (!(alive_zone_.deepest(position) <= EPSILON)) return Err{MoveError::not_placeable(position)};

  const Stone stone{turn_, color_of_turn(turn_), position};
  // Before the board changes: making or unsharing the kept state may fail.
  (void)kept_for_probe();
  PendingMove pending;
  pending.revision_before = revision_;
  // The probe: the stone placed as a transient delta that captures nothing.
  if (auto placed = apply_delta(GameDelta{stone, {}}, true); !placed) return Err{MoveError::from_delta(placed.error())};
  pending_move_.emplace(std::move(pending));
  GameDelta delta{stone, {}};
  try {
    ProbeVerdict verdict;
    bool local = false;
    if (kept_.state) {
      KeptPartition::Judgement judged = kept_.state->probe(stone, alive_zone_);
      kept_.awaits_probe = false;
      if (judged.outcome == KeptPartition::Outcome::OutOfStep) drop_kept();
      check_kept();
      local = judged.outcome == KeptPartition::Outcome::Decided;
      if (local) {
        check_local(stone.color, judged);
        verdict.captured = std::move(judged.captured);
        verdict.self_capture = judged.self_capture;
      }
    }
    if (!local) verdict = judge_probe(stone.color);
    ++(local ? local_.local : local_.full);
    if (verdict.self_capture) {
      drop_probe(false);
      return Err{MoveError::self_capture(stone.color, position)};
    }
    delta.captured_stone_ids = verdict.captured;
    pending_move_->captures = std::move(verdict.captured);
    reserve_commit(delta.captured_stone_ids.size());
    // Room for the commit, which cannot fail, to hand the kept state its
    // captures.
    if (kept_.state) kept_.state->reserve_captures(delta.captured_stone_ids.size());
  } catch (...) {
    // A failed allocation while judging: the game goes back exactly as it
    // was, its revision included.
    drop_probe(true);
    throw;
  }
  return delta;
}

void Game::abandon_probed_move() { drop_probe(true); }

void Game::drop_probe(bool unseen) {
  if (!pending_move_) return;
  const std::uint64_t before = pending_move_->revision_before;
  pending_move_.reset();
  (void)pop_delta();
  if (unseen) revision_ = before;
}

Result<GameDelta, MoveError> Game::try_move(Point position) {
  Result<GameDelta, MoveError> probed = probe_move(position);
  if (probed) commit_probed_move();
  return probed;
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
