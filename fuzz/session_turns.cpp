// The operations that change the board: moves, passes, undos and raw
// deltas, each checked against the board as it was before.

#include <cmath>
#include <set>
#include <string>

#include "geometry/number_text.hpp"
#include "positions.hpp"
#include "session.hpp"

namespace quelmar::fuzz {

namespace {

std::string at(Point p) { return " at (" + plain_number_text(p.x) + ", " + plain_number_text(p.y) + ")"; }

// What apply_delta must answer for `d` on `g`, by its checks in order.
std::optional<DeltaError::Kind> expected_refusal(const Game& g, const GameDelta& d) {
  if (g.status() == GameStatus::Ended) return DeltaError::Kind::GameOver;
  if (!d.new_stone && !d.captured_stone_ids.empty()) return DeltaError::Kind::PassCaptures;
  if (d.new_stone) {
    const Point p = d.new_stone->position;
    const double s = g.board_size();
    if (!(0 <= p.x && p.x <= s && 0 <= p.y && p.y <= s)) return DeltaError::Kind::OffBoard;
    const StoneId id = d.new_stone->id;
    if (g.stones().count(id) || g.alive_zone().dead_zones().count(id)) return DeltaError::Kind::StoneExists;
  }
  std::set<StoneId> seen;
  for (StoneId id : d.captured_stone_ids) {
    if (!g.stones().count(id)) return DeltaError::Kind::NoSuchStone;
    if (!seen.insert(id).second) return DeltaError::Kind::CapturedTwice;
  }
  return std::nullopt;
}

// Undoing a capture re-carves the captured stones' circles under new ids.
GraphMatch undo_match(const GameDelta& d) {
  return d.captured_stone_ids.empty() ? GraphMatch::LiveStructure : GraphMatch::Region;
}

}  // namespace

Failure Session::committed(const Game& before, GraphMatch undo_restores) {
  ++committed_turns_;
  snapshots_.push_back({before, epoch_});
  return check_undo_restores(game_, before, {false, undo_restores, irregular_});
}

bool Session::placeability_checked(Point asked) const {
  // Below a size of 2 the inset square is empty and its edge lines still
  // offer their pieces as boundary: nothing is placeable to snap to.
  const double limit = 1e6;
  return reasonable_board(game_.board_size()) && game_.board_size() >= 2.0 && std::fabs(asked.x) <= limit &&
         std::fabs(asked.y) <= limit;
}

Failure Session::move(Point p) {
  const Game before = game_;
  const double depth = before.alive_zone().deepest(p);
  Result<GameDelta, MoveError> r = game_.try_move(p);
  if (r) return committed_move(before, p, r.value());
  return refused_move(before, p, depth, r.error());
}

Failure Session::committed_move(const Game& before, Point p, const GameDelta& delta) {
  if (before.status() == GameStatus::Ended) return std::string("a move was played on an ended game");
  if (!(before.alive_zone().deepest(p) <= EPSILON)) return "a stone was placed in dead space" + at(p);
  const Stone expected{before.turn(), color_of_turn(before.turn()), p};
  if (!delta.new_stone || delta.new_stone->id != expected.id || delta.new_stone->color != expected.color ||
      !same_bits(delta.new_stone->position, p))
    return "the committed stone is not the one asked for" + at(p);
  if (game_.revision() != before.revision() + 3) return std::string("a move did not raise the revision by 3");
  const std::vector<StoneId>& ids = delta.captured_stone_ids;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (i > 0 && !(ids[i - 1] < ids[i])) return std::string("captured ids are not ascending");
    auto it = before.stones().find(ids[i]);
    if (it == before.stones().end() || it->second.color == expected.color)
      return "stone " + std::to_string(ids[i]) + " was captured but was no enemy stone in play";
  }
  if (game_.log().empty() || !(game_.log().back() == delta)) return std::string("the answered delta is not the log's last");
  if (game_.last_placed_stone() != std::optional<Stone>(expected)) return std::string("the last placed stone is wrong");
  return committed(before, undo_match(delta));
}

Failure Session::refused_move(const Game& before, Point p, double depth, const MoveError& e) {
  const Agreement unchanged{true, GraphMatch::Exact};
  Failure f;
  switch (e.kind) {
    case MoveError::Kind::GameOver:
      if (before.status() != GameStatus::Ended) return std::string("a move was refused as game over in play");
      f = compare_games(before, game_, unchanged);
      break;
    case MoveError::Kind::NotPlaceable:
      if (before.status() == GameStatus::Ended) return std::string("an ended game looked at the position");
      if (depth <= EPSILON) return "a placeable point was refused as not placeable" + at(p);
      if (!same_bits(e.position, p)) return std::string("the refusal names another position");
      f = compare_games(before, game_, unchanged);
      break;
    case MoveError::Kind::SelfCapture:
      if (e.color != color_of_turn(before.turn()) || !same_bits(e.position, p))
        return std::string("the self-capture names the wrong mover or position");
      if (game_.revision() != before.revision() + 2)
        return std::string("a refused self-capture did not raise the revision by 2");
      f = compare_games(before, game_, {false, GraphMatch::LiveStructure});
      break;
    case MoveError::Kind::Delta:
      if (!irregular_) return "a move was refused by its own delta: " + e.message();
      f = compare_games(before, game_, {false, GraphMatch::LiveStructure});
      break;
  }
  if (f) return "a refused move changed the board: " + *f;
  return std::nullopt;
}

Failure Session::snapped_move() {
  const Point asked = read_any_point(in_, game_);
  const std::optional<Point> q = game_.nearest_living_move(asked);
  if (!q) return std::nullopt;
  if (placeability_checked(asked) && !(game_.alive_zone().deepest(*q) <= EPSILON))
    return "the nearest living move" + at(*q) + " is not placeable";
  return move(*q);
}

Failure Session::pass() {
  const Game before = game_;
  Status<DeltaError> r = game_.pass();
  if (!r) {
    if (r.error().kind != DeltaError::Kind::GameOver || before.status() != GameStatus::Ended)
      return "a pass was refused: " + r.error().message();
    if (Failure f = compare_games(before, game_, {true, GraphMatch::Exact})) return "a refused pass changed the board: " + *f;
    return std::nullopt;
  }
  if (before.status() == GameStatus::Ended) return std::string("a pass was accepted on an ended game");
  if (game_.revision() != before.revision() + 1 || game_.turn() != before.turn() + 1)
    return std::string("a pass did not count one turn and one revision");
  if (game_.last_placed_stone()) return std::string("a pass left a last placed stone");
  return committed(before, GraphMatch::Exact);
}

Failure Session::undo() {
  const Game before = game_;
  const std::optional<GameDelta> d = game_.undo();
  if (before.history().empty()) {
    if (d) return std::string("an empty history answered a delta");
    if (Failure f = compare_games(before, game_, {true, GraphMatch::Exact})) return "undo of nothing changed the board: " + *f;
    return std::nullopt;
  }
  if (!d || !(*d == before.history().back().delta)) return std::string("undo answered another delta");
  if (game_.revision() != before.revision() + 1) return std::string("undo did not raise the revision by 1");
  const Snapshot snap = std::move(snapshots_.back());
  snapshots_.pop_back();
  const bool live = snap.epoch == epoch_ && d->captured_stone_ids.empty();
  if (!d->captured_stone_ids.empty()) ++epoch_;
  if (Failure f = compare_games(snap.game, game_, {false, live ? GraphMatch::LiveStructure : GraphMatch::Region, irregular_}))
    return "undo does not restore the board of that turn: " + *f;
  return std::nullopt;
}

Failure Session::undo_several() {
  const std::uint32_t n = 1 + in_.pick(8);
  for (std::uint32_t i = 0; i < n; ++i) {
    if (Failure f = undo()) return f;
    if (Failure f = check_validates(game_, irregular_)) return f;
  }
  return std::nullopt;
}

Failure Session::raw_delta() {
  const std::uint8_t flags = in_.u8();
  GameDelta d;
  if (flags & 1) {
    const StoneId id = (flags & 2) ? game_.turn() : read_stone_id(in_, game_);
    const Color color = (flags & 4) ? Color::White : Color::Black;
    d.new_stone = Stone{id, color, read_any_point(in_, game_)};
  }
  for (int i = 0; i < (flags >> 4) % 4; ++i) d.captured_stone_ids.push_back(read_stone_id(in_, game_));

  const Game before = game_;
  const std::optional<DeltaError::Kind> expected = expected_refusal(before, d);
  Status<DeltaError> r = game_.apply_delta(d, false);
  if (!r) {
    if (!expected || *expected != r.error().kind) return "a delta was refused unexpectedly: " + r.error().message();
    if (Failure f = compare_games(before, game_, {true, GraphMatch::Exact})) return "a refused delta changed the board: " + *f;
    return std::nullopt;
  }
  if (expected) return std::string("a delta that must be refused was applied");
  irregular_ = irregular_ || before.captured().count(d.new_stone ? d.new_stone->id : 0) ||
               (d.new_stone && d.new_stone->id >= before.turn());
  if (game_.revision() != before.revision() + 1) return std::string("a delta did not raise the revision by 1");
  return committed(before, undo_match(d));
}

}  // namespace quelmar::fuzz
