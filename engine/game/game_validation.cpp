// The game's own invariants, checked after the alive zone's.

#include <array>

#include "game/game.hpp"

namespace quelmar {

std::string BoardError::message() const {
  const std::string id = std::to_string(stone);
  switch (kind) {
    case Kind::Zone:
      return "the alive zone is corrupt: " + zone->message();
    case Kind::MisfiledStone:
      return "stone " + id + " is filed under id " + std::to_string(filed_under);
    case Kind::NoDeadZone:
      return "stone " + id + " is in play with no dead zone carved for it";
    case Kind::CapturedWithDeadZone:
      return "captured stone " + id + " still has a dead zone carved for it";
    case Kind::InPlayAndCaptured:
      return "stone " + id + " is both in play and captured";
    case Kind::TurnMismatch:
      return "the turn is " + std::to_string(held) + " but history holds " + std::to_string(from_history) +
             " committed turns";
    case Kind::StatusMismatch:
      return std::string("the status is ") + status_name(status) + " but the committed turns imply " +
             status_name(implied);
    case Kind::CaptureCountMismatch:
      break;
  }
  return std::string(color_name(color)) + " is credited with " + std::to_string(held) +
         " captures but history holds " + std::to_string(from_history);
}

namespace {

BoardError error_of(BoardError::Kind kind, StoneId stone) {
  BoardError e{kind};
  e.stone = stone;
  return e;
}

// Trailing committed passes: none → Playing, one → NextPassEnds, two or more → Ended.
GameStatus status_implied_by(const History& history) {
  int passes = 0;
  for (auto it = history.rbegin(); it != history.rend() && passes < 2; ++it) {
    if (it->transient) continue;
    if (!it->delta.is_pass()) break;
    ++passes;
  }
  return static_cast<GameStatus>(passes);
}

}  // namespace

std::optional<BoardError> Game::validate() const {
  if (auto zone = check_alive_zone(alive_zone_)) {
    BoardError e{BoardError::Kind::Zone};
    e.zone = std::move(zone);
    return e;
  }
  const auto& dead_zones = alive_zone_.dead_zones();
  for (const auto& [id, stone] : stones_) {
    if (stone.id != id) {
      BoardError e = error_of(BoardError::Kind::MisfiledStone, stone.id);
      e.filed_under = id;
      return e;
    }
    if (!dead_zones.count(id)) return error_of(BoardError::Kind::NoDeadZone, id);
    if (captured_.count(id)) return error_of(BoardError::Kind::InPlayAndCaptured, id);
  }
  for (const auto& [id, stone] : captured_) {
    if (stone.id != id) {
      BoardError e = error_of(BoardError::Kind::MisfiledStone, stone.id);
      e.filed_under = id;
      return e;
    }
    if (dead_zones.count(id)) return error_of(BoardError::Kind::CapturedWithDeadZone, id);
  }

  std::uint64_t committed = 0;
  std::array<std::uint64_t, 2> taken{0, 0};
  for (const AppliedDelta& entry : history_) {
    if (entry.transient) continue;
    ++committed;
    if (entry.delta.new_stone)
      taken[static_cast<std::size_t>(entry.delta.new_stone->color)] += entry.delta.captured_stone_ids.size();
  }
  if (turn_ != committed) {
    BoardError e{BoardError::Kind::TurnMismatch};
    e.held = turn_;
    e.from_history = committed;
    return e;
  }
  if (GameStatus implied = status_implied_by(history_); status_ != implied) {
    BoardError e{BoardError::Kind::StatusMismatch};
    e.status = status_;
    e.implied = implied;
    return e;
  }
  for (Color color : {Color::Black, Color::White}) {
    auto i = static_cast<std::size_t>(color);
    if (captures_[i] != taken[i]) {
      BoardError e{BoardError::Kind::CaptureCountMismatch};
      e.color = color;
      e.held = captures_[i];
      e.from_history = taken[i];
      return e;
    }
  }
  return std::nullopt;
}

}  // namespace quelmar
