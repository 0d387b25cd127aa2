#include "game/game.hpp"

#include "room.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <set>

namespace quelmar {

namespace {

std::size_t color_index(Color c) { return static_cast<std::size_t>(c); }

bool on_board(Point p, double size) { return 0 <= p.x && p.x <= size && 0 <= p.y && p.y <= size; }

}  // namespace

const char* status_name(GameStatus s) {
  switch (s) {
    case GameStatus::Playing:
      return "Playing";
    case GameStatus::NextPassEnds:
      return "NextPassEnds";
    case GameStatus::Ended:
      break;
  }
  return "Ended";
}

Game::Game(double board_size)
    : board_size_(board_size), alive_zone_(board_size), connectivity_(board_size) {}

Status<DeltaError> Game::check_delta(const GameDelta& delta) const {
  if (status_ == GameStatus::Ended) return Err{DeltaError::game_over()};
  if (!delta.new_stone && !delta.captured_stone_ids.empty()) return Err{DeltaError::pass_captures()};
  if (delta.new_stone) {
    const Stone& stone = *delta.new_stone;
    if (!on_board(stone.position, board_size_)) return Err{DeltaError::off_board(stone.id, stone.position)};
    if (stones_.count(stone.id) || alive_zone_.dead_zones().count(stone.id))
      return Err{DeltaError::stone_exists(stone.id)};
  }
  std::set<StoneId> seen;
  for (StoneId id : delta.captured_stone_ids) {
    if (!stones_.count(id)) return Err{DeltaError::no_such_stone(id)};
    if (!seen.insert(id).second) return Err{DeltaError::captured_twice(id)};
  }
  // Before any work: the carve of a stone heaped on too many others would
  // cost time and memory that grow faster than the log.
  if (delta.new_stone && alive_zone_.crowded(delta.new_stone->position, MAX_OVERLAPPING_DEAD_ZONES))
    return Err{DeltaError::crowded(delta.new_stone->id)};
  return Ok{};
}

// All or nothing: everything that can fail (the eyes to clear, room in
// every map, then the carve, which undoes itself on failure) comes before
// the first change, and nothing after it allocates.
Status<DeltaError> Game::apply_delta(GameDelta delta, bool transient) {
  if (auto checked = check_delta(delta); !checked) return checked;

  AppliedDelta entry{std::move(delta), {}, transient};
  const GameDelta& d = entry.delta;
  const std::size_t taken = d.captured_stone_ids.size();
  if (d.new_stone) entry.cleared_eyes = alive_zone_.forced_eyes_near_point(d.new_stone->position);
  reserve_more(history_, 1);
  reserve_more(kept_.marks, 1);
  stones_.reserve_more(1);
  captured_.reserve_more(taken);
  alive_zone_.reserve_more(taken, 1);
  if (d.new_stone) {
    // Only a corrupt zone can refuse here: the checks above saw no dead zone.
    if (auto carved = alive_zone_.remove_circle(d.new_stone->id, d.new_stone->position); !carved)
      return Err{DeltaError::dead_zone_failed(carved.error())};
    stones_.insert_or_assign(d.new_stone->id, *d.new_stone);
    for (Point eye : entry.cleared_eyes) (void)alive_zone_.take_forced_eye(eye);
  }
  for (StoneId id : d.captured_stone_ids) {
    const Stone stone = stones_.at(id);
    stones_.erase(id);
    captured_.insert_or_assign(id, stone);
    // A captured stone leaves a forced eye at its centre.
    alive_zone_.add_forced_eye(stone.position);
    if (auto reclaimed = alive_zone_.reclaim_circle(id); !reclaimed)
      return Err{DeltaError::dead_zone_failed(DeadZoneError{DeadZoneError::Kind::NotCarved, id})};
  }
  if (d.new_stone) captures_[color_index(d.new_stone->color)] += static_cast<std::uint32_t>(taken);
  if (!transient) ++turn_;

  if (d.new_stone) connectivity_.invalidate_near(d.new_stone->position);
  for (StoneId id : d.captured_stone_ids) connectivity_.invalidate_near(captured_.at(id).position);
  invalidate_lazy();
  follow_applied(d, transient);
  history_.push_back(std::move(entry));
  status_ = status_from_history();
  ++revision_;
  check_invariants();
  return Ok{};
}

void Game::follow_applied(const GameDelta& delta, bool transient) {
  if (!kept_.state) return;
  // A stone from a replayed or raw delta was judged by no probe.
  if (!transient && !delta.is_pass()) return drop_kept();
  kept_.marks.push_back(kept_.state->mark());  // room reserved
  kept_.awaits_probe = transient;
  // The logs keep what the last few hundred entries changed; an undo past
  // them drops the kept state, and the next probe builds it again.
  constexpr std::size_t KEEP = 512;
  if (kept_.marks.size() > KEEP) {
    const KeptPartition::Mark oldest = kept_.marks[KEEP / 2];
    kept_.state->forget_before(oldest);
    kept_.marks.erase(kept_.marks.begin(), kept_.marks.begin() + KEEP / 2);
    for (KeptPartition::Mark& m : kept_.marks) m = KeptPartition::minus(m, oldest);
    kept_.base += KEEP / 2;
  }
}

void Game::drop_kept() {
  kept_.state.reset();
  kept_.marks.clear();
  kept_.base = 0;
  kept_.awaits_probe = false;
}

KeptPartition* Game::kept_for_probe() {
  if (!KeptPartition::eligible(board_size_)) return nullptr;
  if (!kept_.state) {
    if (kept_.declined > 0) {
      --kept_.declined;
      return nullptr;
    }
    auto fresh = std::make_unique<KeptPartition>();
    if (!fresh->build(stone_list(), alive_zone_, board_size_)) {
      // Tried again after a while: stones nearly on top of each other
      // stay so for some moves.
      ++local_.refused;
      kept_.declined = 32;
      return nullptr;
    }
    ++local_.builds;
    kept_.state = std::move(fresh);
    kept_.marks.clear();
    kept_.base = history_.size();
  }
  return kept_.state.get();
}

std::optional<std::string> Game::validate_kept() const {
  if (!kept_.state) return std::nullopt;
  if (history_.size() != kept_.base + kept_.marks.size()) return std::string("the kept marks do not follow the history");
  // The mesh holds the stones in play and the captured stones waiting to leave it.
  std::vector<Stone> held = stone_list();
  for (StoneId id : kept_.state->pending_captures()) {
    auto it = captured_.find(id);
    if (it == captured_.end()) return "pending captured stone " + std::to_string(id) + " is not captured";
    held.push_back(it->second);
  }
  std::sort(held.begin(), held.end(), [](const Stone& a, const Stone& b) { return a.id < b.id; });
  return kept_.state->validate(held);
}

// All or nothing as well: the captured stones' circles are carved again
// first, and a failure there takes back those already carved.
std::optional<GameDelta> Game::pop_delta() {
  if (history_.empty()) return std::nullopt;
  AppliedDelta& entry = history_.back();
  const GameDelta& delta = entry.delta;
  const std::size_t taken = delta.captured_stone_ids.size();
  stones_.reserve_more(taken);
  alive_zone_.reserve_more(entry.cleared_eyes.size(), taken);
  std::vector<StoneId> recarved;
  recarved.reserve(taken);
  try {
    for (StoneId id : delta.captured_stone_ids) {
      auto it = captured_.find(id);
      if (it == captured_.end()) continue;  // skipped, as the stone is not there to restore
      if (alive_zone_.remove_circle(id, it->second.position)) recarved.push_back(id);
    }
  } catch (...) {
    for (auto it = recarved.rbegin(); it != recarved.rend(); ++it) (void)alive_zone_.reclaim_circle(*it);
    throw;
  }

  // From here on nothing allocates.
  for (StoneId id : delta.captured_stone_ids) {
    auto it = captured_.find(id);
    if (it == captured_.end()) continue;
    const Stone restored = it->second;
    captured_.erase(it);
    stones_.insert_or_assign(id, restored);
    (void)alive_zone_.take_forced_eye(restored.position);
  }
  if (delta.new_stone) {
    const Stone& stone = *delta.new_stone;
    std::uint32_t& count = captures_[color_index(stone.color)];
    const auto n = static_cast<std::uint32_t>(taken);
    count = count > n ? count - n : 0;
    stones_.erase(stone.id);
    (void)alive_zone_.reclaim_circle(stone.id);
  }
  for (Point eye : entry.cleared_eyes) alive_zone_.add_forced_eye(eye);
  if (kept_.state) {
    if (kept_.marks.empty()) {
      drop_kept();  // an entry from before the kept state began
    } else {
      kept_.state->rollback(kept_.marks.back());
      kept_.marks.pop_back();
      kept_.awaits_probe = false;
    }
  }

  if (delta.new_stone) connectivity_.invalidate_near(delta.new_stone->position);
  for (StoneId id : delta.captured_stone_ids)
    if (auto it = stones_.find(id); it != stones_.end()) connectivity_.invalidate_near(it->second.position);
  invalidate_lazy();
  const bool was_transient = entry.transient;
  GameDelta popped = std::move(entry.delta);
  history_.pop_back();
  if (!was_transient && turn_ > 0) --turn_;
  status_ = status_from_history();
  ++revision_;
  check_invariants();
  return popped;
}

// The probe's placement becomes the committed turn. This has exactly the
// effects of popping the probe and applying the committed delta afresh:
// that carve would cross the same shapes in the same order at the same
// points, and the forced eyes it would clear are the ones the probe
// cleared, so only the bookkeeping of the commit remains. The partition the
// probe built is the committed board's too when nothing was captured.
void Game::commit_probed_move() {
  if (!pending_move_) return;
  std::vector<StoneId> captured = std::move(pending_move_->captures);
  pending_move_.reset();
  AppliedDelta& entry = history_.back();
  const Stone& stone = *entry.delta.new_stone;
  // Nothing here allocates: probe_move reserved the room.
  for (StoneId id : captured) {
    const Stone taken = stones_.at(id);
    stones_.erase(id);
    captured_.insert_or_assign(id, taken);
    // A captured stone leaves a forced eye at its centre.
    alive_zone_.add_forced_eye(taken.position);
    (void)alive_zone_.reclaim_circle(id);
  }
  if (kept_.state) kept_.state->capture(captured);  // room reserved by probe_move
  captures_[color_index(stone.color)] += static_cast<std::uint32_t>(captured.size());
  ++turn_;
  for (StoneId id : captured) connectivity_.invalidate_near(captured_.at(id).position);
  if (!captured.empty()) invalidate_lazy();
  entry.delta.captured_stone_ids = std::move(captured);
  entry.transient = false;
  status_ = status_from_history();
  // The rollback and the commit that this stands for each count a change,
  // and the commit's carve would have taken a fresh shape id.
  revision_ += 2;
  alive_zone_.skip_shape_id();
  check_invariants();
}

GameStatus Game::status_from_history() const {
  auto committed = [](const AppliedDelta& e) { return !e.transient; };
  auto it = history_.rbegin();
  while (it != history_.rend() && !committed(*it)) ++it;
  if (it == history_.rend() || !it->delta.is_pass()) return GameStatus::Playing;
  ++it;
  while (it != history_.rend() && !committed(*it)) ++it;
  if (it != history_.rend() && it->delta.is_pass()) return GameStatus::Ended;
  return GameStatus::NextPassEnds;
}

void Game::invalidate_lazy() {
  stone_list_.reset();
  voronoi_.reset();
}

void Game::reserve_commit(std::size_t captures) {
  captured_.reserve_more(captures);
  alive_zone_.reserve_more(captures, 0);
}

Status<DeltaError> Game::pass() {
  if (status_ == GameStatus::Ended) return Err{DeltaError::game_over()};
  return apply_delta(GameDelta{}, false);
}

Result<Game, DeltaError> Game::replay(double board_size, const std::vector<GameDelta>& deltas) {
  Game game(board_size);
  for (const GameDelta& delta : deltas)
    if (auto applied = game.apply_delta(delta, false); !applied) return Err{applied.error()};
  return game;
}

std::vector<GameDelta> Game::log() const {
  std::vector<GameDelta> out;
  for (const AppliedDelta& entry : history_)
    if (!entry.transient) out.push_back(entry.delta);
  return out;
}

const std::vector<Stone>& Game::stone_list() const {
  if (!stone_list_) {
    auto list = std::make_shared<std::vector<Stone>>();
    list->reserve(stones_.size());
    for (const auto& [id, stone] : stones_) list->push_back(stone);
    stone_list_ = std::move(list);
  }
  return *stone_list_;
}

const Voronoi& Game::voronoi() const {
  if (!voronoi_) voronoi_ = std::make_shared<const Voronoi>(Voronoi::build(stone_list(), board_size_));
  return *voronoi_;
}

void Game::check_invariants() const {
#if QUELMAR_CHECK_INVARIANTS
  std::optional<BoardError> failure;
  try {
    failure = validate();
  } catch (const std::bad_alloc&) {
    return;  // no room to check; the change itself is complete
  }
  // A replayed log may reuse a captured stone's id, which leaves that id
  // both in play and captured; every other failure is an engine fault.
  if (failure && failure->kind != BoardError::Kind::InPlayAndCaptured) {
    std::fprintf(stderr, "quelmar: board invariant broken: %s\n", failure->message().c_str());
    std::abort();
  }
  // Between a probe's placement and its judging the kept state lacks the
  // probe's stone; probe_move checks it once it has it.
  if (!kept_.awaits_probe) check_kept();
#endif
}

void Game::check_kept() const {
#if QUELMAR_CHECK_INVARIANTS
  std::optional<std::string> kept;
  try {
    kept = validate_kept();
  } catch (const std::bad_alloc&) {
    return;
  }
  if (kept) {
    std::fprintf(stderr, "quelmar: kept partition broken: %s\n", kept->c_str());
    std::abort();
  }
#endif
}

}  // namespace quelmar
