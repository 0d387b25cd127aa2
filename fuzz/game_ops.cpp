#include "game_ops.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "byte_source.hpp"
#include "ops.hpp"
#include "positions.hpp"
#include "session.hpp"

namespace quelmar::fuzz {

const char* op_name(Op op) {
  static const char* const names[OP_COUNT] = {
      "move at special coordinates", "ordinary move", "move near a stone", "lattice move",
      "snapped move", "pass", "undo", "several undos", "switch to the replayed game",
      "switch to a copy", "pair cut question", "boundary cut question", "nearest point question",
      "SVG dump", "raw delta", "broken replay", "dead stones", "replay of a prefix",
  };
  return names[static_cast<std::size_t>(op)];
}

Failure Session::step(Op op) {
  switch (op) {
    case Op::MoveSpecial: return move(read_special_point(in_, game_.board_size()));
    case Op::MoveOrdinary: return move(read_ordinary_point(in_, game_.board_size()));
    case Op::MoveNearStone: return move(read_point_near_stone(in_, game_));
    case Op::MoveLattice: return move(read_lattice_point(in_));
    case Op::MoveSnapped: return snapped_move();
    case Op::Pass: return pass();
    case Op::Undo: return undo();
    case Op::UndoSeveral: return undo_several();
    case Op::SwitchToReplay: return switch_to_replay();
    case Op::SwitchToCopy: return switch_to_copy();
    case Op::PairCut: return pair_cut();
    case Op::BoundaryCut: return boundary_cut();
    case Op::Nearest: return nearest();
    case Op::DumpSvg: return svg();
    case Op::RawDelta: return raw_delta();
    case Op::BrokenReplay: return broken_replay();
    case Op::DeadStones: return dead_stones();
    case Op::ReplayPrefix: return replay_prefix();
  }
  return std::nullopt;
}

Failure Session::after_step() {
  if (snapshots_.size() != game_.history().size())
    return std::string("the harness lost track of the history");
  for (const AppliedDelta& e : game_.history())
    if (e.transient) return std::string("a transient entry outlived its move");
  if (Failure f = check_validates(game_, irregular_)) return f;
  if (const auto& local = game_.local_check_failure()) return "a local verdict differs: " + *local;
  if (Failure f = check_replay(game_, irregular_)) return f;
  return check_territory(game_);
}

void Session::retire_game() { retired_ += game_.local_judgements(); }

Game::LocalJudgements Session::judged() const {
  Game::LocalJudgements all = retired_;
  all += game_.local_judgements();
  return all;
}

void Session::describe(std::FILE* out, std::size_t n, Op op) const {
  std::fprintf(out, "%zu %s: turn %u, %zu stones, %zu captured, %zu eyes, revision %llu\n", n, op_name(op),
               game_.turn(), game_.stones().size(), game_.captured().size(),
               game_.alive_zone().forced_eyes().size(), static_cast<unsigned long long>(game_.revision()));
  if (game_.history().empty() || !game_.history().back().delta.new_stone) return;
  const Point p = game_.history().back().delta.new_stone->position;
  std::fprintf(out, "  last stone at (%.17g, %.17g)\n", p.x, p.y);
}

RunOutcome run_game_ops(std::span<const std::uint8_t> data, RunLimits limits) {
  ByteSource in(data);
  Session session(in, read_board_size(in));
  RunOutcome out;
  out.failure = session.after_step();
  while (!out.failure && !in.exhausted() && out.operations < limits.max_operations) {
    const Op op = op_of_byte(in.u8());
    ++out.operations;
    Failure f = session.step(op);
    if (!f) f = session.after_step();
    if (limits.trace) {
      session.describe(limits.trace, out.operations, op);
      std::fflush(limits.trace);
    }
    if (f) out.failure = "operation " + std::to_string(out.operations) + " (" + op_name(op) + "): " + *f;
  }
  out.committed_turns = session.committed_turns();
  out.judged = session.judged();
  return out;
}

}  // namespace quelmar::fuzz
