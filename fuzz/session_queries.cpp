// The operations that only ask, or rebuild the game from its log: replay,
// copies, cut and nearest-point questions, SVG dumps and dead stones.

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include "geometry/number_text.hpp"
#include "positions.hpp"
#include "session.hpp"
#include "svg/svg_writer.hpp"

namespace quelmar::fuzz {

namespace {

// The error a cut question must answer, before anything is probed.
std::optional<CutError::Kind> expected_pair_error(const Game& g, StoneId a, StoneId b) {
  auto sa = g.stones().find(a), sb = g.stones().find(b);
  if (sa == g.stones().end() || sb == g.stones().end()) return CutError::Kind::NoSuchStone;
  if (a == b) return CutError::Kind::SameStone;
  if (sa->second.color != sb->second.color) return CutError::Kind::ColorsDiffer;
  return std::nullopt;
}

Point foot_on_edge(Point c, BoardEdge edge, double s) {
  switch (edge) {
    case BoardEdge::LEFT: return {0.0, c.y};
    case BoardEdge::RIGHT: return {s, c.y};
    case BoardEdge::TOP: return {c.x, 0.0};
    case BoardEdge::BOTTOM: break;
  }
  return {c.x, s};
}

// A question leaves the board as found; only the shape-id counter moves.
Failure unchanged_by_question(const Game& before, const Game& after) {
  if (Failure f = compare_games(before, after, {true, GraphMatch::LiveStructure}))
    return "a question changed the board: " + *f;
  return std::nullopt;
}

// A replayed log's game, held to the invariants of any game.
Failure check_replayed(const Game& g) {
  if (Failure f = check_validates(g, true)) return "a replayed log's game: " + *f;
  if (Failure f = check_replay(g, true)) return "a replayed log's game: " + *f;
  return check_territory(g);
}

}  // namespace

Failure Session::switch_to_replay() {
  Result<Game, DeltaError> r = Game::replay(game_.board_size(), game_.log());
  if (!r) return "the game's own log does not replay: " + r.error().message();
  retire_game();
  game_ = std::move(r.value());
  ++epoch_;  // a rebuilt graph has its own shape ids and crossings
  return std::nullopt;
}

Failure Session::switch_to_copy() {
  std::optional<Game> copy(game_);
  if (Failure f = compare_games(game_, *copy, {true, GraphMatch::Exact})) return "a copy differs: " + *f;
  game_ = Game(game_.board_size());  // the original's storage is gone
  game_ = *copy;
  copy.reset();
  return std::nullopt;
}

Failure Session::pair_cut() {
  const StoneId a = read_stone_id(in_, game_), b = read_stone_id(in_, game_);
  const Game before = game_;
  const std::optional<CutError::Kind> expected = expected_pair_error(before, a, b);
  Result<CutKind, CutError> r = game_.pair_cuttable(a, b);
  if (!r) {
    if (!expected || *expected != r.error().kind) return "a pair question was refused: " + r.error().message();
    return unchanged_by_question(before, game_);
  }
  if (expected) return std::string("a malformed pair question was answered");
  const double d = distance(before.stones().at(a).position, before.stones().at(b).position);
  if ((r.value() == CutKind::TOO_FAR) != (d > MAX_PAIR_CUT_DISTANCE))
    return "a pair " + plain_number_text(d) + " apart was judged against the wrong limit";
  Result<CutKind, CutError> mirrored = game_.pair_cuttable(b, a);
  if (!mirrored || mirrored.value() != r.value()) return std::string("a pair question and its mirror disagree");
  return unchanged_by_question(before, game_);
}

Failure Session::boundary_cut() {
  const StoneId id = read_stone_id(in_, game_);
  const auto edge = static_cast<BoardEdge>(in_.pick(4));
  const Game before = game_;
  Result<CutKind, CutError> r = game_.boundary_cuttable(id, edge);
  auto stone = before.stones().find(id);
  if (!r) {
    if (stone != before.stones().end() || r.error().kind != CutError::Kind::NoSuchStone)
      return "a boundary question was refused: " + r.error().message();
    return unchanged_by_question(before, game_);
  }
  if (stone == before.stones().end()) return std::string("a boundary question about no stone was answered");
  const Point c = stone->second.position;
  const double d = distance(c, foot_on_edge(c, edge, before.board_size()));
  if ((r.value() == CutKind::TOO_FAR) != (d > MAX_BOUNDARY_CUT_DISTANCE))
    return "a stone " + plain_number_text(d) + " from the edge was judged against the wrong limit";
  Result<CutKind, CutError> again = game_.boundary_cuttable(id, edge);
  if (!again || again.value() != r.value()) return std::string("a cached boundary answer changed");
  return unchanged_by_question(before, game_);
}

Failure Session::nearest() {
  const Point p = read_any_point(in_, game_);
  const AliveZone& zone = game_.alive_zone();
  const std::optional<Point> q = game_.nearest_living_move(p);
  if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
    if (q) return std::string("a non-finite position has a nearest living move");
    return std::nullopt;
  }
  if (zone.deepest(p) <= 0 && !(q && same_bits(*q, p)))
    return std::string("a placeable position is not its own nearest living move");
  if (!q) return std::nullopt;
  if (placeability_checked(p) && !(zone.deepest(*q) <= EPSILON))
    return "the nearest living move (" + plain_number_text(q->x) + ", " + plain_number_text(q->y) +
           ") is not placeable";
  const double best = distance(p, *q);
  for (const auto& [key, eye] : zone.forced_eyes())
    if (distance(p, eye) < best) return std::string("a forced eye is nearer than the nearest living move");
  return std::nullopt;
}

Failure Session::svg() {
  return check_svg(dump_svg(game_.board_size(), game_.alive_zone(), game_.voronoi()));
}

Failure Session::broken_replay() {
  std::vector<GameDelta> log = game_.log();
  if (log.empty()) return std::nullopt;
  const std::size_t i = in_.u8() % log.size();
  switch (in_.pick(4)) {
    case 0: log.erase(log.begin() + static_cast<std::ptrdiff_t>(i)); break;
    case 1: {
      const GameDelta repeated = log[i];
      log.insert(log.begin() + static_cast<std::ptrdiff_t>(i), repeated);
      break;
    }
    case 2:
      if (i + 1 < log.size()) std::swap(log[i], log[i + 1]);
      break;
    default: {
      const auto from = log.begin() + static_cast<std::ptrdiff_t>(i);
      std::rotate(from, from + 1, log.end());
    }
  }
  Result<Game, DeltaError> r = Game::replay(game_.board_size(), log);
  if (!r) return std::nullopt;  // a refusal is the answer such a log deserves
  return check_replayed(r.value());
}

Failure Session::dead_stones() {
  for (Color c : {Color::Black, Color::White}) {
    std::set<StoneId> seen;
    for (const Stone& s : game_.dead_stones(c)) {
      auto it = game_.stones().find(s.id);
      if (it == game_.stones().end() || s.color != c || !same_bits(it->second.position, s.position))
        return "dead stone " + std::to_string(s.id) + " is not a stone of that colour in play";
      if (!seen.insert(s.id).second) return "stone " + std::to_string(s.id) + " is dead twice";
    }
  }
  const std::vector<GameDelta> log = game_.log();
  const std::optional<Stone> placed = game_.last_placed_stone();
  if (log.empty() ? placed.has_value() : placed != log.back().new_stone) return std::string("the last placed stone is not the last turn's");
  return std::nullopt;
}

Failure Session::replay_prefix() {
  if (snapshots_.empty()) return std::nullopt;
  const std::size_t k = in_.u8() % snapshots_.size();
  std::vector<GameDelta> log = game_.log();
  log.resize(k);
  Result<Game, DeltaError> r = Game::replay(game_.board_size(), log);
  if (!r) return "the first " + std::to_string(k) + " turns do not replay: " + r.error().message();
  if (Failure f = compare_games(snapshots_[k].game, r.value(), {false, GraphMatch::Region, irregular_}))
    return "the first " + std::to_string(k) + " turns replay to another board: " + *f;
  return std::nullopt;
}

}  // namespace quelmar::fuzz
