#pragma once
// The whole state of one game: stones, history, counters, the playable
// area, the cut-answer cache and two lazily built structures. Every change
// of the board goes through apply_delta and pop_delta.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "alive_zone/alive_zone.hpp"
#include "connectivity/connectivity.hpp"
#include "connectivity/cut_types.hpp"
#include "flat_map.hpp"
#include "game/board_error.hpp"
#include "game/delta.hpp"
#include "game/delta_error.hpp"
#include "game/game_status.hpp"
#include "game/kept_partition.hpp"
#include "game/move_error.hpp"
#include "game/stone.hpp"
#include "result.hpp"
#include "voronoi/voronoi.hpp"

namespace quelmar {

// Stones by id, ascending.
using StoneMap = FlatMap<StoneId, Stone>;

class Game {
 public:
  // An empty game; the size is taken unchecked.
  explicit Game(double board_size);

  double board_size() const { return board_size_; }
  std::uint32_t turn() const { return turn_; }
  GameStatus status() const { return status_; }
  // Black's count, then White's.
  const std::array<std::uint32_t, 2>& captures() const { return captures_; }
  std::uint64_t revision() const { return revision_; }
  const StoneMap& stones() const { return stones_; }
  const StoneMap& captured() const { return captured_; }
  const History& history() const { return history_; }
  const AliveZone& alive_zone() const { return alive_zone_; }
  const Connectivity& connectivity() const { return connectivity_; }

  // Checks the whole delta first; either changes nothing and answers the
  // first failed check, or applies it and pushes one history entry. A
  // failed allocation (std::bad_alloc) leaves the game as it was.
  Status<DeltaError> apply_delta(GameDelta delta, bool transient);
  // Takes the last history entry back, whichever kind; nothing when empty.
  // A failed allocation (std::bad_alloc) leaves the game as it was; taking
  // back an entry without captures never allocates.
  std::optional<GameDelta> pop_delta();

  // A committed turn without a stone; GameOver once the game has ended.
  Status<DeltaError> pass();
  std::optional<GameDelta> undo() { return pop_delta(); }
  // A new game with every delta applied as a committed turn, in order; the
  // first refusal answers its error and no game.
  static Result<Game, DeltaError> replay(double board_size, const std::vector<GameDelta>& deltas);
  // The deltas of the committed entries, oldest first.
  std::vector<GameDelta> log() const;

  // Plays the colour to move at an already placeable position.
  Result<GameDelta, MoveError> try_move(Point position);

  // try_move in two steps, for callers with fallible work of their own
  // between deciding a move and committing it. probe_move decides: it
  // answers the delta the move will commit and leaves the probe's placement
  // on the board, pending; then exactly one of commit_probed_move (the move
  // as try_move makes it) or abandon_probed_move (the game exactly as
  // before probe_move, revision included). Neither can fail. A refusal, or
  // a failed allocation inside probe_move (which leaves the game exactly as
  // before), leaves nothing pending.
  Result<GameDelta, MoveError> probe_move(Point position);
  void commit_probed_move();
  void abandon_probed_move();
  bool move_pending() const { return pending_move_.has_value(); }
  // Stones of `color` whose group's territory no longer touches playable space.
  std::vector<Stone> dead_stones(Color color) const;
  // The stone of the last committed turn; nothing after a pass.
  std::optional<Stone> last_placed_stone() const;
  // The placeable point nearest `position`; nothing when the board is full.
  std::optional<Point> nearest_living_move(Point position) const;

  // Whether an enemy pair can be wedged between two stones, or between a
  // stone and a board edge. Probes the playable area and leaves it as found.
  Result<CutKind, CutError> pair_cuttable(StoneId a, StoneId b);
  Result<CutKind, CutError> boundary_cuttable(StoneId stone, BoardEdge edge);

  // The stones in play ascending by id, and their partition into groups;
  // built on first use and kept until the next change.
  const std::vector<Stone>& stone_list() const;
  const Voronoi& voronoi() const;

  // Every invariant of the board; the first that fails.
  std::optional<BoardError> validate() const;

  // How probes were judged: by the kept local state, or by the full
  // computation where the local state could not vouch for a verdict.
  struct LocalJudgements {
    std::uint64_t local = 0;      // answered from kept verdicts
    std::uint64_t full = 0;       // answered by the full computation
    std::uint64_t builds = 0;     // kept states built from scratch
    std::uint64_t refused = 0;    // positions the kept state declined
    std::uint64_t checked = 0;    // local answers checked against the full computation
    std::uint64_t mismatches = 0; // ... that disagreed with it (always 0)

    LocalJudgements& operator+=(const LocalJudgements& o) {
      local += o.local;
      full += o.full;
      builds += o.builds;
      refused += o.refused;
      checked += o.checked;
      mismatches += o.mismatches;
      return *this;
    }
  };
  const LocalJudgements& local_judgements() const { return local_; }
  // The first disagreement the check found, in builds that check every
  // local answer against the full computation; none otherwise.
  const std::optional<std::string>& local_check_failure() const { return local_failure_; }
  // The kept state's own check against the stones in play; none when the
  // game keeps none.
  std::optional<std::string> validate_kept() const;
  // The kept state itself, for tests; null when the game keeps none.
  const KeptPartition* kept_partition() const { return kept_.state.get(); }

 private:
  // The enemy stones a placement just probed onto the board kills, or, when
  // it kills none, whether it leaves only the mover's own stones dead.
  struct ProbeVerdict {
    std::vector<StoneId> captured;  // ascending
    bool self_capture = false;
  };
  ProbeVerdict judge_probe(Color mover) const;

  // The kept state a probe may use, built or unshared as needed; null when
  // the board or the position is not one it can vouch for. Throws
  // std::bad_alloc with nothing changed.
  KeptPartition* kept_for_probe();
  void drop_kept();
  // After apply_delta: the entry's mark, or dropping the kept state where a
  // delta came from elsewhere than a probe.
  void follow_applied(const GameDelta& delta, bool transient);
  // The local answer against the full computation, per group as well.
  void check_local(Color mover, const KeptPartition::Judgement& local);

  Status<DeltaError> check_delta(const GameDelta& delta) const;
  GameStatus status_from_history() const;
  void invalidate_lazy();
  // Room for commit_probed_move to capture `captures` stones without
  // allocating; throws std::bad_alloc with nothing changed.
  void reserve_commit(std::size_t captures);
  void check_invariants() const;
  // The kept state's check alone (Debug builds).
  void check_kept() const;

  double board_size_;
  std::uint32_t turn_ = 0;
  GameStatus status_ = GameStatus::Playing;
  std::array<std::uint32_t, 2> captures_{0, 0};
  std::uint64_t revision_ = 0;
  StoneMap stones_;
  StoneMap captured_;
  History history_;
  AliveZone alive_zone_;
  Connectivity connectivity_;
  // A probed move awaiting commit_probed_move: its captures, ascending, and
  // the revision before the probe, which abandoning it restores.
  struct PendingMove {
    std::vector<StoneId> captures;
    std::uint64_t revision_before = 0;
  };
  std::optional<PendingMove> pending_move_;
  // Pops the probe; with `unseen`, as if it had never been made (revision
  // included), else as a refused move leaves it. Never allocates.
  void drop_probe(bool unseen);
  // The local move path's state (see KeptPartition): built by a probe,
  // followed through probes, commits, undos and passes, and dropped by any
  // other change. It is a cache: a copy of the game starts without one and
  // builds its own on its first probe.
  struct Kept {
    std::unique_ptr<KeptPartition> state;
    // One mark per history entry applied since `base` entries.
    std::vector<KeptPartition::Mark> marks;
    std::size_t base = 0;
    // A probe's placement is applied and its stone not yet in the state.
    bool awaits_probe = false;
    // Probes left before a declined position is tried again.
    std::uint32_t declined = 0;

    Kept() = default;
    Kept(const Kept&) {}
    Kept& operator=(const Kept&) {
      *this = Kept();
      return *this;
    }
    Kept(Kept&&) noexcept = default;
    Kept& operator=(Kept&&) noexcept = default;
  };
  Kept kept_;
  mutable LocalJudgements local_;
  std::optional<std::string> local_failure_;
  // Write-once cells, emptied by every change. Never changed once filled,
  // so copies of the game share them.
  mutable std::shared_ptr<const std::vector<Stone>> stone_list_;
  mutable std::shared_ptr<const Voronoi> voronoi_;
};

}  // namespace quelmar
