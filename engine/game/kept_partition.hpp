#pragma once
// What a probe needs, kept across moves: the Delaunay mesh of the stones,
// each stone's group, and each group's verdict, with the Voronoi vertices
// that proved a living group alive. A probe inserts its stone, judges again
// only the groups whose cells, membership or nearby playable area it
// changed, and reuses every other verdict. Every change is logged, so that
// undoing a move, or abandoning a probe, rolls the kept state back exactly.
//
// Exactness. The partition the game answers from is built from scratch by
// the sweep triangulator, whose triangles differ from the mesh's only where
// four or more points are cocircular, and whose circumcentres differ from
// the mesh's in the last bits (another rotation of each triangle). So a
// verdict is kept only when the mesh's triangles and joins round the group
// are the only ones possible and each of its tests holds with a margin
// covering every rotation (AliveZone::fuzzy_cell_is_alive); where that
// fails the group is Unsure, and a probe that needs an Unsure verdict is
// answered by the full computation instead.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "alive_zone/alive_zone.hpp"
#include "alive_zone/life.hpp"
#include "game/stone.hpp"
#include "geometry/fuzzy_point.hpp"
#include "logged_vector.hpp"
#include "voronoi/delaunay_mesh.hpp"

namespace quelmar {

class KeptPartition {
 public:
  static constexpr std::uint32_t NONE = DelaunayMesh::NONE;

  // Boards whose size the margins are worked out for.
  static bool eligible(double board_size);

  // Builds everything from the stones in play (ascending id) and judges
  // every group. False when the position is not one the local path can
  // vouch for (stones nearly on top of each other, a sweep that fails).
  bool build(std::span<const Stone> stones, const AliveZone& zone, double board_size);

  enum class Outcome {
    Decided,    // captured / self_capture hold the answer
    Undecided,  // some verdict the answer needs is Unsure
    OutOfStep,  // the stone could not be inserted; the kept state no longer follows the game
  };
  struct Judgement {
    Outcome outcome = Outcome::Undecided;
    std::vector<StoneId> captured;  // ascending
    bool self_capture = false;
  };
  // Inserts the probe's stone, already carved into `zone`, and judges the
  // move: the enemy stones it kills or, when none, whether it kills only
  // the mover's own. The kept state then holds the probed board.
  Judgement probe(const Stone& stone, const AliveZone& zone);
  // The probe's captures, committed. Their stones leave the mesh at the
  // next probe (a capture taken back before then costs nothing), and the
  // groups they touched wait, stale, for that probe to judge them.
  // Allocates nothing within room reserved for them first.
  void reserve_captures(std::size_t count) { pending_.reserve_more(count, count); }
  void capture(std::span<const StoneId> ids);
  // Captured stones still in the mesh, waiting for the next probe.
  std::span<const StoneId> pending_captures() const { return pending_.items(); }

  struct Mark {
    DelaunayMesh::Mark mesh;
    std::size_t stones, groups_of, groups, free_groups, watch, pending;
  };
  Mark mark() const;
  // Takes back every change since `m`. Never allocates.
  void rollback(const Mark& m) noexcept;
  // Forgets what was logged before `m`; later marks move down by it.
  void forget_before(const Mark& m);
  static Mark minus(const Mark& a, const Mark& b);

  // The groups as the kept state holds them: per stone in play, its
  // group's number, and per group its verdict. For the check against the
  // full computation.
  std::optional<std::uint32_t> group_of(StoneId id) const;
  // Every stone in play with its group's number, ascending by id.
  std::vector<std::pair<StoneId, std::uint32_t>> stone_groups() const;
  std::size_t group_size(std::uint32_t group) const { return groups_[group].size; }
  // Unsure for a group whose verdict waits, stale, for the next probe.
  Life life(std::uint32_t group) const { return groups_[group].stale ? Life::Unsure : groups_[group].life; }

  // The same mesh, stones, groups, verdicts and watch list, slot for slot
  // and bit for bit (logs and scratch aside).
  bool same_as(const KeptPartition& o) const;

  // The kept state against the stones in play: mesh, membership (every
  // group a component of the joins), sizes and the watch list.
  std::optional<std::string> validate(std::span<const Stone> stones) const;

 private:
  // A Voronoi vertex (a triangle's centre) that proved its group alive by
  // its depth, or a Voronoi edge (from that centre to the centre of the
  // triangle across) that did by its nearness to the boundary; each
  // triangle named with the version it had then.
  struct Witness {
    std::uint32_t triangle = NONE;
    std::uint32_t across = NONE;
    std::uint64_t version = 0;
    std::uint64_t across_version = 0;
  };
  static constexpr std::size_t WITNESSES = 4;
  struct Group {
    std::uint32_t anchor = NONE;  // a member; NONE in a free record
    std::uint32_t size = 0;
    Color colour = Color::Black;
    Life life = Life::Unsure;
    // Its verdict waits for the next probe: a capture changed what it
    // rests on, and a move that is undone again need not judge it.
    bool stale = false;
    std::uint32_t watch = NONE;  // its place in watch_ while Dead, Unsure or stale
    std::uint8_t witness_count = 0;
    std::array<Witness, WITNESSES> witnesses{};
  };
  // Per vertex slot: the stone there, or a sentinel or nothing.
  static constexpr std::uint8_t SENTINEL = 2, EMPTY = 3;
  struct VertexStone {
    StoneId id = 0;
    std::uint8_t colour = EMPTY;
  };
  enum class Join { Apart, Joined, Ambiguous };

  // Membership (kept_membership.cpp).
  bool is_stone(std::uint32_t v) const { return stones_[v].colour < SENTINEL; }
  Join join(std::uint32_t h) const;
  // join() for a change that acts on the answer: an ambiguous join notes
  // its stones, whose groups are then judged in full (which finds them
  // Unsure where it matters) rather than by witnesses.
  Join noted_join(std::uint32_t h);
  Join noted_join_between(std::uint32_t a, std::uint32_t b);
  bool doubtful(std::uint32_t g) const;
  std::uint32_t new_group(Color colour, std::uint32_t anchor);
  void free_group(std::uint32_t g);
  std::uint32_t merge(std::uint32_t a, std::uint32_t b, std::span<const std::uint32_t> ring);
  void relabel(std::uint32_t from, std::uint32_t into, std::span<const std::uint32_t> ring);
  void resolve_split(std::uint32_t g, std::span<const std::uint32_t> seeds);
  void place_vertex(std::uint32_t v, VertexStone stone);
  void join_stone(std::uint32_t v, Color colour);
  void rejoin_ring(std::uint32_t v);
  void label_components();

  // Verdicts (kept_judge.cpp).
  void begin_affecting();
  void affect(std::uint32_t g);
  void affect_near(std::span<const Point> centres, std::span<const std::uint32_t> seeds);
  void judge_affected(const AliveZone& zone, bool witnesses_hold, std::span<const std::uint32_t> fresh);
  void judge_probe_groups(const AliveZone& zone, bool witnesses_hold, std::span<const std::uint32_t> fresh,
                          Color mover);
  void judge(std::uint32_t g, const AliveZone& zone, bool witnesses_hold, std::span<const std::uint32_t> fresh);
  bool witness_holds(const Witness& w, std::uint32_t g, const AliveZone& zone) const;
  bool witness_triangle(std::uint32_t t, std::uint32_t g) const;
  bool witness_edge(std::uint32_t t, std::uint32_t across, std::uint32_t g) const;
  Life judge_whole(std::uint32_t g, const AliveZone& zone, std::vector<FuzzyWitness>& witnesses);
  bool collect_members(std::uint32_t g);
  bool trace_rings(std::uint32_t g);
  void set_verdict(std::uint32_t g, Life life, std::span<const FuzzyWitness> witnesses);
  void set_stale(std::uint32_t g, bool drop_witnesses);
  void watch(std::uint32_t g, bool on);
  std::uint32_t next_generation();
  Judgement answer(Color mover, bool degenerate);
  // What removing captured stones has touched so far.
  struct Removal {
    std::vector<std::uint32_t> gone;  // the stones' vertices, ascending
    std::vector<std::uint32_t> rim;   // the points round every hole
    std::vector<std::uint32_t> cut;   // stones beside a removed stone of their own group
    std::vector<Point> centres;
    bool degenerate = false;
  };
  void remove_captured();
  void remove_stone(std::uint32_t v, Removal& r);
  void resplit(Removal& r);
  void star_triangles(std::uint32_t v, std::vector<std::uint32_t>& out) const;

  DelaunayMesh mesh_;
  LoggedVector<VertexStone> stones_;     // per vertex slot
  LoggedVector<std::uint32_t> group_of_;  // per vertex slot; NONE for a sentinel or an empty slot
  LoggedVector<Group> groups_;
  LoggedVector<std::uint32_t> free_groups_;
  LoggedVector<std::uint32_t> watch_;     // the groups that are Dead, Unsure or stale
  LoggedVector<StoneId> pending_;         // captured stones the mesh still holds
  double board_size_ = 0.0;

  // Scratch, never logged. Generation marks (per vertex, half-edge and
  // group) spare clearing between uses.
  std::vector<std::uint32_t> seen_, edge_seen_, group_seen_, tri_seen_, owner_;
  std::uint32_t generation_ = 0, affect_generation_ = 0;
  std::vector<std::uint32_t> queue_, members_, affected_, ring_starts_, suspects_;
  std::vector<std::uint32_t> doubts_;  // stones at joins noted ambiguous since begin_affecting
  std::vector<FuzzyWitness> tags_;
  std::vector<FuzzyPoint> ring_points_, ring_, clip_scratch_;
  std::vector<std::uint32_t> ring_copy_, joined_, seeds_, fresh_;
  // resolve_split's working storage, per search.
  struct SplitScratch {
    std::vector<std::uint32_t> parent;
    std::vector<std::uint8_t> finished;
    std::vector<std::size_t> next;
    std::vector<std::vector<std::uint32_t>> frontier, reached;
  } split_;
  DelaunayMesh::Change change_;
};

}  // namespace quelmar
