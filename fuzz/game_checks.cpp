#include "game_checks.hpp"

#include <cmath>
#include <sstream>
#include <vector>

#include "clipping/clipping_graph.hpp"
#include "geometry/number_text.hpp"

namespace quelmar::fuzz {

namespace {

std::string point_text(Point p) { return "(" + plain_number_text(p.x) + ", " + plain_number_text(p.y) + ")"; }

bool same_stone(const Stone& a, const Stone& b) {
  return a.id == b.id && a.color == b.color && same_bits(a.position, b.position);
}

bool same_stones(const StoneMap& a, const StoneMap& b) {
  if (a.size() != b.size()) return false;
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
    if (i->first != j->first || !same_stone(i->second, j->second)) return false;
  return true;
}

bool same_delta(const GameDelta& a, const GameDelta& b) {
  if (a.new_stone.has_value() != b.new_stone.has_value()) return false;
  if (a.new_stone && !same_stone(*a.new_stone, *b.new_stone)) return false;
  return a.captured_stone_ids == b.captured_stone_ids;
}

bool same_points(const std::vector<Point>& a, const std::vector<Point>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (!same_bits(a[i], b[i])) return false;
  return true;
}

bool same_history(const History& a, const History& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (!same_delta(a[i].delta, b[i].delta) || !same_points(a[i].cleared_eyes, b[i].cleared_eyes) ||
        a[i].transient != b[i].transient)
      return false;
  return true;
}

bool same_eyes(const ForcedEyes& a, const ForcedEyes& b) {
  if (a.size() != b.size()) return false;
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j)
    if (!(i->first == j->first) || !same_bits(i->second, j->second)) return false;
  return true;
}

bool same_dead_zone_stones(const AliveZone& a, const AliveZone& b) {
  if (a.dead_zones().size() != b.dead_zones().size()) return false;
  for (auto i = a.dead_zones().begin(), j = b.dead_zones().begin(); i != a.dead_zones().end(); ++i, ++j)
    if (i->first != j->first) return false;
  return true;
}

// Where the two playable areas are compared: every stone and eye of the
// expected game, points 2 from each stone, and a grid over the board.
std::vector<Point> sample_points(const Game& g) {
  std::vector<Point> out;
  auto add_stone = [&](const Stone& s) {
    out.push_back(s.position);
    out.push_back({s.position.x + 2.0, s.position.y});
    out.push_back({s.position.x, s.position.y - 2.0});
  };
  for (const auto& [id, s] : g.stones()) add_stone(s);
  for (const auto& [id, s] : g.captured()) add_stone(s);
  for (const auto& [key, eye] : g.alive_zone().forced_eyes()) out.push_back(eye);
  const double s = g.board_size();
  for (int i = 0; i <= 6; ++i)
    for (int j = 0; j <= 6; ++j) out.push_back({s * (i / 6.0), s * (j / 6.0)});
  return out;
}

Failure compare_region(const Game& expected, const Game& actual) {
  for (Point p : sample_points(expected)) {
    const double a = expected.alive_zone().deepest(p), b = actual.alive_zone().deepest(p);
    if (!same_bits(a, b) && !(std::isnan(a) && std::isnan(b)))
      return "the depth at " + point_text(p) + " is " + plain_number_text(b) + " instead of " +
             plain_number_text(a);
  }
  return std::nullopt;
}

Failure compare_graph(const Game& expected, const Game& actual, GraphMatch how) {
  const ClippingGraph& a = expected.alive_zone().graph();
  const ClippingGraph& b = actual.alive_zone().graph();
  // On a non-finite board every finite point of a far edge line has the
  // same infinite or NaN offset, so a line's vertices have no order for a
  // carve to split and an uncarve to merge back. Only the region can match.
  if (how == GraphMatch::LiveStructure && !std::isfinite(expected.board_size())) how = GraphMatch::Region;
  if (how == GraphMatch::Exact && !(a == b)) return std::string("the clipping graph is not bit for bit the same");
  if (how == GraphMatch::LiveStructure && !same_live_structure(a, b))
    return std::string("the clipping graph's live structure differs");
  return compare_region(expected, actual);
}

Failure compare_counters(const Game& e, const Game& a, bool revision) {
  if (!same_bits(e.board_size(), a.board_size())) return std::string("the board size differs");
  if (e.turn() != a.turn())
    return "the turn is " + std::to_string(a.turn()) + " instead of " + std::to_string(e.turn());
  if (e.status() != a.status())
    return std::string("the status is ") + status_name(a.status()) + " instead of " + status_name(e.status());
  if (e.captures() != a.captures()) return std::string("the capture counters differ");
  if (revision && e.revision() != a.revision())
    return "the revision is " + std::to_string(a.revision()) + " instead of " + std::to_string(e.revision());
  return std::nullopt;
}

}  // namespace

bool reasonable_board(double board_size) { return std::isfinite(board_size) && board_size >= 1.0 && board_size <= 1e6; }

Failure compare_games(const Game& expected, const Game& actual, Agreement what) {
  if (Failure f = compare_counters(expected, actual, what.revision)) return f;
  if (what.ids_reused) return std::nullopt;
  if (!same_stones(expected.stones(), actual.stones())) return std::string("the stones in play differ");
  if (!same_stones(expected.captured(), actual.captured())) return std::string("the captured stones differ");
  if (!same_history(expected.history(), actual.history())) return std::string("the history differs");
  const AliveZone& ez = expected.alive_zone();
  const AliveZone& az = actual.alive_zone();
  if (!same_eyes(ez.forced_eyes(), az.forced_eyes())) return std::string("the forced eyes differ");
  if (!same_dead_zone_stones(ez, az)) return std::string("the stones with dead zones differ");
  if (!az.temporary_circles().empty()) return std::string("a temporary circle outlived its cut question");
  return compare_graph(expected, actual, what.graph);
}

Failure check_validates(const Game& game, bool ids_reused) {
  std::optional<BoardError> failure = game.validate();
  if (!failure) return std::nullopt;
  if (ids_reused && failure->kind == BoardError::Kind::InPlayAndCaptured) return std::nullopt;
  return "validate() fails: " + failure->message();
}

Failure check_replay(const Game& game, bool ids_reused) {
  Result<Game, DeltaError> replayed = Game::replay(game.board_size(), game.log());
  if (!replayed) return "the game's own log does not replay: " + replayed.error().message();
  if (Failure f = compare_games(game, replayed.value(), {false, GraphMatch::Region, ids_reused}))
    return "the replayed log differs from the game: " + *f;
  return std::nullopt;
}

Failure check_territory(const Game& game) {
  const Voronoi& v = game.voronoi();
  double total = 0.0;
  for (const auto* groups : {&v.black, &v.white}) {
    for (const VoronoiGroup& g : *groups) {
      for (std::size_t i = 0; i < g.stones.size(); ++i) {
        if (g.stones[i].color != g.color) return std::string("a group holds a stone of the other colour");
        if (i > 0 && !(g.stones[i - 1].id < g.stones[i].id)) return std::string("a group's stones are not ascending");
      }
      for (const Ring& r : g.rings)
        if (!r.empty() && !same_bits(r.front(), r.back())) return std::string("a group's ring is not closed");
      total += g.area();
    }
  }
  const double s = game.board_size();
  if (game.stones().empty() || !reasonable_board(s)) return std::nullopt;
  const double area = s * s;
  if (!(std::fabs(total - area) <= 1e-9 * area))
    return "the groups cover " + plain_number_text(total) + " of a board of area " + plain_number_text(area);
  return std::nullopt;
}

Failure check_undo_restores(const Game& game, const Game& before, Agreement what) {
  Game undone = game;
  if (!undone.undo()) return std::string("a committed turn cannot be undone");
  if (undone.revision() != game.revision() + 1) return std::string("undo did not raise the revision by 1");
  if (Failure f = compare_games(before, undone, what)) return "undo does not restore the board: " + *f;
  return std::nullopt;
}

Failure check_svg(const std::string& svg) {
  const std::string head = "<svg xmlns=";
  const std::string tail = "</svg>\n";
  if (svg.compare(0, head.size(), head) != 0) return std::string("the SVG does not start with its root tag");
  if (svg.size() < tail.size() || svg.compare(svg.size() - tail.size(), tail.size(), tail) != 0)
    return std::string("the SVG does not end with its closing tag");
  std::istringstream lines(svg);
  std::string line;
  while (std::getline(lines, line)) {
    std::size_t open = 0, close = 0;
    for (char c : line) {
      open += c == '<';
      close += c == '>';
    }
    if (line.empty() || line.front() != '<' || line.back() != '>' || open != close)
      return "the SVG holds a malformed line: " + line.substr(0, 120);
  }
  return std::nullopt;
}

}  // namespace quelmar::fuzz
