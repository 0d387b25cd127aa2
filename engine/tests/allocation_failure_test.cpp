// Every change of a game is all or nothing under a failed allocation: this
// binary replaces the global allocator with one that throws std::bad_alloc
// at a chosen allocation, and runs each change once for every allocation it
// makes, comparing the game afterwards with the game before.

#include <gtest/gtest.h>

#include <cstdlib>
#include <bit>
#include <functional>
#include <new>
#include <random>

#include "game/game.hpp"
#include "game_snapshot.hpp"

namespace {

// The allocation that fails, counted from arming; 0: none.
long fail_at = 0;
long counted = 0;
bool armed = false;

void* allocate(std::size_t n) {
  if (armed && ++counted == fail_at) throw std::bad_alloc();
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace quelmar;

namespace {

// Everything a failed change must leave as it was: the snapshot an undo
// restores, the revision, and the clipping graph's live segments bit for
// bit.
struct State {
  testing_support::Snapshot snapshot;
  std::uint64_t revision;
  ClippingGraph graph;

  explicit State(const Game& g) : snapshot(g), revision(g.revision()), graph(g.alive_zone().graph()) {}
  bool operator==(const State& o) const {
    return snapshot == o.snapshot && revision == o.revision && same_live_structure(graph, o.graph);
  }
};

// The outlines as lists of pieces, shape by shape from each head, and each
// shared start as the owners of its segments in order, shapes named by
// their rank: the graph up to the numbering of segment and shape ids, which
// a retried change may hand out anew (an undo that failed after carving
// some circles again used up their shape ids).
struct Outlines {
  struct Piece {
    std::uint64_t offset;
    PointKey start;
    std::vector<ShapeId> covers;
    bool beyond_corner;
    bool operator==(const Piece&) const = default;
  };
  std::vector<std::pair<ShapeId, std::vector<Piece>>> shapes;
  std::vector<std::pair<PointKey, std::vector<ShapeId>>> starts;

  explicit Outlines(const ClippingGraph& g) {
    auto rank = [&](ShapeId id) {
      return static_cast<ShapeId>(g.shapes().find(id) - g.shapes().begin());
    };
    for (const auto& [id, shape] : g.shapes()) {
      std::vector<Piece> pieces;
      g.for_each_segment(shape, [&](SegId, const Segment& seg) {
        std::vector<ShapeId> covers;
        for (ShapeId c : seg.covered_by) covers.push_back(rank(c));
        pieces.push_back({std::bit_cast<std::uint64_t>(seg.offset), PointKey::from(seg.start), covers,
                          seg.beyond_corner});
      });
      shapes.emplace_back(rank(id), std::move(pieces));
    }
    for (const auto& [key, ids] : g.shared_starts().sorted_entries()) {
      std::vector<ShapeId> owners;
      for (SegId id : *ids) owners.push_back(rank(g.segment(id)->shape));
      starts.emplace_back(key, std::move(owners));
    }
  }
  bool operator==(const Outlines&) const = default;
};

bool same_but_for_segment_ids(const Game& a, const Game& b) {
  return a.stones() == b.stones() && a.captured() == b.captured() && a.log() == b.log() && a.turn() == b.turn() &&
         a.revision() == b.revision() && a.alive_zone().forced_eyes() == b.alive_zone().forced_eyes() &&
         Outlines(a.alive_zone().graph()) == Outlines(b.alive_zone().graph());
}

// Runs `change` on a copy of `position` once per allocation it makes, with
// that allocation failing: the change either fails and leaves the game as
// it was, or (where the failed allocation was one it can do without)
// succeeds as it does without failures. Answers how many failed.
long each_failure_leaves_the_game_as_it_was(const Game& position, const std::function<void(Game&)>& change) {
  Game expected = position;
  armed = true;
  counted = 0;
  fail_at = 0;
  change(expected);
  armed = false;
  const long allocations = counted;
  const State after(expected);
  long failures = 0;
  for (long k = 1; k <= allocations; ++k) {
    Game game = position;
    const State before(game);
    armed = true;
    counted = 0;
    fail_at = k;
    bool failed = false;
    try {
      change(game);
    } catch (const std::bad_alloc&) {
      failed = true;
    }
    armed = false;
    EXPECT_FALSE(game.move_pending());
    EXPECT_TRUE(State(game) == (failed ? before : after)) << "allocation " << k << " of " << allocations;
    const auto broken = game.validate();
    EXPECT_FALSE(broken) << broken->message();
    if (!failed) continue;
    ++failures;
    // Nothing latent: the change now goes through.
    change(game);
    EXPECT_TRUE(same_but_for_segment_ids(game, expected)) << "allocation " << k;
  }
  return failures;
}

// Snapped random play until a move captures `want` or more stones; the
// game just before that move, and the move.
std::pair<Game, Point> position_before_a_capture(double size, std::size_t want, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(0.0, size);
  Game game(size);
  for (int tries = 0; tries < 5000; ++tries) {
    const std::optional<Point> p = game.nearest_living_move({u(rng), u(rng)});
    if (!p) break;
    Game before = game;
    auto moved = game.try_move(*p);
    if (moved && moved.value().captured_stone_ids.size() >= want) return {before, *p};
  }
  ADD_FAILURE() << "no capture of " << want << " stones";
  return {Game(size), Point{}};
}

}  // namespace

TEST(AllocationFailure, MovesPassesAndUndosAreAllOrNothing) {
  const auto [before_capture, capture] = position_before_a_capture(13.5, 3, 5);
  Game captured = before_capture;
  ASSERT_TRUE(captured.try_move(capture));
  EXPECT_GT(each_failure_leaves_the_game_as_it_was(before_capture, [&](Game& g) { (void)g.try_move(capture); }),
            0);
  EXPECT_GT(each_failure_leaves_the_game_as_it_was(captured, [](Game& g) { (void)g.undo(); }), 0);
  EXPECT_GT(each_failure_leaves_the_game_as_it_was(captured, [](Game& g) { (void)g.pass(); }), 0);
  const Point elsewhere = *captured.nearest_living_move({2.0, 11.0});
  EXPECT_GT(each_failure_leaves_the_game_as_it_was(captured, [&](Game& g) { (void)g.try_move(elsewhere); }), 0);
  auto replayed = Game::replay(13.5, captured.log());
  ASSERT_TRUE(replayed);
  EXPECT_GT(each_failure_leaves_the_game_as_it_was(replayed.value(), [](Game& g) { (void)g.undo(); }), 0);
}

TEST(AllocationFailure, CutQuestionsLeaveThePlayableAreaAsFound) {
  const auto [position, unused] = position_before_a_capture(13.5, 2, 9);
  (void)unused;
  const StoneMap& stones = position.stones();
  for (const auto& [a, sa] : stones) {
    for (const auto& [b, sb] : stones) {
      const double d = distance(sa.position, sb.position);
      if (a >= b || sa.color != sb.color || !(2.9 < d && d < 3.4)) continue;
      EXPECT_GT(each_failure_leaves_the_game_as_it_was(position, [a = a, b = b](Game& g) {
                  ASSERT_TRUE(g.pair_cuttable(a, b));
                }),
                0);
      const Stone& near_edge = sa;
      EXPECT_GT(each_failure_leaves_the_game_as_it_was(position, [&](Game& g) {
                  (void)g.boundary_cuttable(near_edge.id, BoardEdge::LEFT);
                  (void)g.boundary_cuttable(near_edge.id, BoardEdge::TOP);
                }),
                0);
      return;
    }
  }
  ADD_FAILURE() << "no pair to ask about";
}

// The kept local state is a cache a game builds on its first probe and
// follows through moves and undos. Played in place (a copy starts without
// one), a move or an undo that fails at any allocation leaves it exactly as
// it was.
TEST(AllocationFailure, TheKeptStateFollowsEveryChangeThatFails) {
  const auto [position, capture] = position_before_a_capture(13.5, 2, 5);
  // The same position again, played in place rather than copied.
  auto replayed = Game::replay(13.5, position.log());
  ASSERT_TRUE(replayed);
  Game& game = replayed.value();
  const Point warm = *game.nearest_living_move({1.0, 1.0});
  if (game.try_move(warm)) (void)game.undo();
  ASSERT_NE(game.kept_partition(), nullptr);

  // Runs `change` once per allocation it makes, that allocation failing;
  // `take_back` undoes a run that went through.
  auto each_failure = [&](const std::function<void()>& change, const std::function<void()>& take_back) -> long {
    armed = true;
    counted = 0;
    fail_at = 0;
    change();
    armed = false;
    take_back();
    const long allocations = counted;
    long failures = 0;
    for (long k = 1; k <= allocations; ++k) {
      const State before(game);
      const KeptPartition kept = *game.kept_partition();
      armed = true;
      counted = 0;
      fail_at = k;
      bool failed = false;
      try {
        change();
      } catch (const std::bad_alloc&) {
        failed = true;
      }
      armed = false;
      if (!failed) {
        take_back();
        continue;
      }
      ++failures;
      EXPECT_TRUE(State(game) == before) << "allocation " << k;
      EXPECT_NE(game.kept_partition(), nullptr) << "allocation " << k;
      if (game.kept_partition()) EXPECT_TRUE(game.kept_partition()->same_as(kept)) << "allocation " << k;
      const auto broken = game.validate_kept();
      EXPECT_FALSE(broken) << *broken;
    }
    return failures;
  };
  EXPECT_GT(each_failure([&] { (void)game.try_move(capture); }, [&] { (void)game.undo(); }), 0);
  ASSERT_TRUE(game.try_move(capture));
  EXPECT_GT(each_failure([&] { (void)game.undo(); }, [&] { EXPECT_TRUE(game.try_move(capture)); }), 0);
}
