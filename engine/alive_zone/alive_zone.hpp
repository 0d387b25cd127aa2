#pragma once
// The playable area of one game: the board square inset by one stone radius,
// less a dead zone of radius 2 round every stone in play, plus the forced
// eyes that captures leave behind.

#include <optional>
#include <span>
#include <vector>

#include "alive_zone/crossings.hpp"
#include "alive_zone/dead_zone_error.hpp"
#include "alive_zone/forced_eyes.hpp"
#include "alive_zone/life.hpp"
#include "alive_zone/shape_index.hpp"
#include "clipping/clipping_graph.hpp"
#include "flat_map.hpp"
#include "room.hpp"
#include "game/stone.hpp"
#include "geometry/fuzzy_point.hpp"
#include "geometry/point.hpp"
#include "geometry/shapes.hpp"
#include "result.hpp"

namespace quelmar {

// The circle carved for each stone in play, by stone id.
using DeadZoneMap = FlatMap<StoneId, ShapeId>;

class AliveZone {
 public:
  // The initial zone: the four edge lines (shape ids 0 to 3), each cut at
  // offsets −2S, 1, S − 1 and 2S with only the inset edge exposed. The size
  // is taken unchecked.
  explicit AliveZone(double board_size);
  // A copy keeps the room that an uncarve relies on.
  AliveZone(const AliveZone& other);
  AliveZone& operator=(const AliveZone& other);
  AliveZone(AliveZone&&) noexcept = default;
  AliveZone& operator=(AliveZone&&) noexcept = default;

  double board_size() const { return board_size_; }
  const ClippingGraph& graph() const { return graph_; }
  // The circle carved for each stone in play.
  const DeadZoneMap& dead_zones() const { return dead_zones_; }
  const ForcedEyes& forced_eyes() const { return forced_eyes_; }
  // Circles of hypothetical stones, carved while a cut question runs.
  const std::vector<ShapeId>& temporary_circles() const { return temporary_circles_; }

  // Carves the dead zone of radius 2 about `centre` and answers its new
  // shape id. A circle that crosses nothing keeps an empty outline. All or
  // nothing: a failed allocation takes back what was carved so far and
  // leaves the zone as it was.
  ShapeId carve(Point centre);
  // Takes a carved circle out again, merging the outlines it split. Carve
  // then uncarve restores every surviving segment bit for bit. Never
  // allocates: carving keeps the room an uncarve needs.
  void uncarve(ShapeId shape);

  // Whether a dead zone about `centre` would overlap more than `limit`
  // circles already carved: circles near enough to cross it or sharing its
  // centre.
  bool crowded(Point centre, std::size_t limit) const;

  // Uses up one shape id unseen, as a carve that is undone again does.
  void skip_shape_id() { graph_.skip_shape_id(); }

  // Carves the stone's dead zone; AlreadyCarved (and no change) if it has
  // one. All or nothing, like carve.
  Status<DeadZoneError> remove_circle(StoneId stone, Point centre);
  // Gives the stone's dead zone back; NotCarved (and no change) if none.
  // Never allocates.
  Status<DeadZoneError> reclaim_circle(StoneId stone);

  // Files a forced eye at p, replacing one under the same key. Within room
  // reserved for it, this never allocates.
  void add_forced_eye(Point p) { forced_eyes_.add(p); }
  // Room for `eyes` more forced eyes and `stones` more dead zones; throws
  // std::bad_alloc with nothing changed.
  void reserve_more(std::size_t eyes, std::size_t stones) {
    forced_eyes_.reserve_more(eyes);
    dead_zones_.reserve_more(stones);
  }
  // Removes and answers the eye under exactly p's key.
  std::optional<Point> take_forced_eye(Point p) { return forced_eyes_.take(p); }
  // The eye exactly at p alone if there is one; otherwise every eye within
  // 2.0 of p (inclusive). Removes and answers them in key order.
  std::vector<Point> remove_forced_eyes_near_point(Point p);
  // The eyes remove_forced_eyes_near_point(p) would remove, in its order.
  std::vector<Point> forced_eyes_near_point(Point p) const;

  // Room to push one more temporary circle, so that a carve's circle can
  // always be pushed once it is carved; throws with nothing changed.
  void reserve_temporary_circle() { quelmar::reserve_more(temporary_circles_, 1); }
  void push_temporary_circle(ShapeId s) { temporary_circles_.push_back(s); }
  std::optional<ShapeId> pop_temporary_circle();

  // How deep p lies in dead space: positive inside, ≤ 0 in the playable
  // area, +∞ off the board, −∞ at a forced eye. Placeable means ≤ EPSILON.
  double deepest(Point p) const;
  // Least distance from the segment to any exposed boundary piece; +∞ when
  // nothing is measured, 0 as soon as anything touches.
  double closest_distance(const LineSegment& q) const;
  // Whether territory with these rings (ring 0 outer, then holes) touches
  // playable space. No rings: dead.
  bool cell_is_alive(const std::vector<std::vector<Point>>& rings) const;
  // cell_is_alive for rings known only within their points' spreads:
  // `points` holds the rings end to end, open, ring r from starts[r] up to
  // starts[r + 1]; their order is free, ring 0 being the largest. Alive or
  // Dead when cell_is_alive answers so for every rings within the spreads
  // (the partition's among them), else Unsure. `witnesses` receives up to
  // `max_witnesses` vertices whose depth alone proves life, or else an
  // edge whose nearness to the boundary alone does.
  Life fuzzy_cell_is_alive(std::span<const FuzzyPoint> points, std::span<const std::uint32_t> starts,
                           std::size_t max_witnesses, std::vector<FuzzyWitness>& witnesses) const;
  // The edge test of cell_is_alive for one such edge, likewise.
  Life fuzzy_edge_alive(const FuzzyPoint& a, const FuzzyPoint& b) const;
  // The vertex test of cell_is_alive for one such vertex: Alive when it
  // proves life for every value within its spread, Dead when it proves
  // nothing for any.
  Life fuzzy_vertex_alive(const FuzzyPoint& v) const;
  // A bound far above the rounding of any measure cell_is_alive takes on
  // this board, which each side of a margin concedes.
  double rounding_slack() const;

  // The placeable point nearest p (p itself at depth ≤ 0); none for a
  // non-finite p or a full board. A boundary point that rounding leaves
  // deeper than EPSILON is stepped off into placeable space; on a board
  // whose inset square is empty or a point, where the boundary offers only
  // dead space, the answer is the nearest forced eye, or none.
  std::optional<Point> closest_point(Point p) const;

  // The plain scans over every shape and segment that define the four
  // answers above. The answers above visit only what the shape index says
  // can matter, equal these bit for bit, and fall back to them wherever the
  // index cannot vouch for its bounds.
  double reference_deepest(Point p) const;
  double reference_closest_distance(const LineSegment& q) const;
  bool reference_cell_is_alive(const std::vector<std::vector<Point>>& rings) const;
  std::optional<Point> reference_closest_point(Point p) const;

  // The grid of circles, kept in step with the graph by carve and uncarve.
  const ShapeIndex& index() const { return index_; }
  // The index as filing every shape of the graph afresh gives it; equal to
  // index() whenever that is kept in step.
  ShapeIndex index_from_scratch() const;

  // Debug/mutable access, for tests that build corrupt zones. Editing the
  // graph this way drops the shape index for good: the zone answers by
  // plain scans from then on.
  ClippingGraph& debug_mutable_graph() {
    index_.disable();
    return graph_;
  }
  DeadZoneMap& debug_mutable_dead_zones() { return dead_zones_; }
  ForcedEyes& debug_mutable_forced_eyes() { return forced_eyes_; }
  std::vector<ShapeId>& debug_mutable_temporary_circles() { return temporary_circles_; }

 private:
  // The deepest penetration over every shape, −∞ when there are none.
  double penetration_depth(Point p) const;
  // The same maximum, visiting only the shapes that can attain it.
  double indexed_penetration_depth(Point p) const;
  // Whether some shape's penetration at p exceeds `threshold` (at least
  // −1), that is, whether penetration_depth(p) ≤ threshold fails.
  bool penetrates(Point p, double threshold) const;
  // Whether closest_distance(q) ≤ limit (≥ 0), stopping at the first piece
  // within reach.
  bool boundary_within(const LineSegment& q, double limit) const;
  // Whether the start point of some exposed piece (edge lines: closing
  // segment excluded) lies inside ring 0 and outside every hole.
  bool boundary_point_inside(const std::vector<std::vector<Point>>& rings) const;
  // Distance from q to one exposed piece; NaN when it has no span.
  double piece_distance(SegId seg, const LineSegment& q) const;
  // Folds the distances from q to one shape's exposed pieces into `best`;
  // false once something touches q.
  bool fold_shape_distance(const Shape& shape, const LineSegment& q, double& best) const;
  // The point one shape offers to closest_point, and its distance from p.
  std::optional<Point> shape_offer(const Shape& shape, Point p, double& offer_distance) const;
  // The same offer where it matters: equal to shape_offer whenever that
  // lies within `bound` of p; otherwise some offer beyond `bound`, or none.
  std::optional<Point> nearer_shape_offer(const Shape& shape, Point p, double bound, double& offer_distance) const;
  // Replaces `best` by the first forced eye strictly nearer to p.
  void offer_forced_eyes(Point p, std::optional<Point>& best, double& best_distance) const;
  // The same, looking only at the eyes that could be nearer.
  void offer_nearer_forced_eyes(Point p, std::optional<Point>& best, double& best_distance) const;
  // `answer` when it is placeable by `depth`, else the nearby point
  // closest_point answers instead: a placeable point a hair away, or else
  // the nearest forced eye, or none.
  std::optional<Point> placeable_near(std::optional<Point> answer, Point asked,
                                      double (AliveZone::*depth)(Point) const) const;
  // The existing shapes a circle about `centre` may cross, ascending by id.
  std::vector<ShapeGeometryEntry> crossing_candidates(Point centre) const;
  // One existing shape a new circle crosses, and where.
  struct PlannedCrossing {
    ShapeGeometryEntry other;
    Crossing cross;
  };
  // The crossings of a circle about `centre` with the shapes there now, in
  // ascending id order: the whole carve, computed before anything changes.
  std::vector<PlannedCrossing> plan_carve(Point centre) const;
  // The carve's changes to the graph once `circle` is allocated. It records
  // every segment it splits off another outline in `splits`.
  void carve_crossings(ShapeId circle, const std::vector<PlannedCrossing>& plan, std::vector<SegId>& splits);
  // Takes back a carve that failed halfway: its covers, its splits of
  // other outlines, its own outline and the shape. Never allocates.
  void undo_partial_carve(ShapeId circle, const std::vector<SegId>& splits);
  // Adds to `touched_` (ascending, no repeats) within its reserved room.
  void touch(ShapeId shape);
  // Removes `circle` from the covers of every other shape, noting in
  // touched_ the shapes it may have uncovered.
  void uncover(ShapeId circle);
  // Removes `cover` from the pieces of one outline from `from` on, as far
  // as they carry it.
  void uncover_run(SegId from, ShapeId cover);
  // After an uncarve deleted its vertex at `key`: merges away the other
  // outlines' vertices there that no longer mark anything.
  void merge_vertices_at(PointKey key);
  // Recomputes the index's marks of one circle from its outline.
  void refresh_marks(ShapeId shape);
  void refresh_marks(ShapeId id, const Shape& shape, ShapeIndex& index) const;
  bool on_board(Point p) const;
  // Adds `cover` to the segments of `shape` from `from` up to, not
  // including, `stop`, at most len of them.
  void cover_run(ShapeId shape, SegId from, SegId stop, ShapeId cover);
  // Calls visit(id, segment) for the exposed segments of the shape's list
  // until it answers false; an edge line's closing segment is never
  // boundary.
  template <class Visit>
  void for_each_exposed(const Shape& shape, Visit&& visit) const;
  bool inside_ring0_outside_holes(const std::vector<std::vector<Point>>& rings, Point p,
                                  std::size_t min_hole_vertices) const;
  // visit(eye) for each forced eye in the box.
  template <class Visit>
  void for_each_eye_in(const Box& box, Visit&& visit) const;
  // visit(start) for the start point of each exposed piece (edge lines:
  // closing segment excluded) that lies in the box, until it answers false.
  template <class Visit>
  void for_each_exposed_start_in(const Box& box, Visit&& visit) const;

  // Whether a vertex marks nothing any more: the pieces either side of it
  // carry the same covers and corner flag, or it is a circle's only
  // vertex. An edge line's first and last vertices always stay.
  bool redundant_vertex(SegId id) const;

  ClippingGraph graph_;
  double board_size_;
  DeadZoneMap dead_zones_;  // each names a distinct circle
  ForcedEyes forced_eyes_;
  std::vector<ShapeId> temporary_circles_;  // empty between engine calls
  ShapeIndex index_;  // every shape of graph_, filed as it is allocated
  // The shapes an uncarve changes, ascending. Scratch, kept with room for
  // every shape so that an uncarve never allocates.
  std::vector<ShapeId> touched_;
};

template <class Visit>
void AliveZone::for_each_exposed(const Shape& shape, Visit&& visit) const {
  if (!shape.head) return;
  const SegId head = *shape.head;
  SegId cur = head;
  for (std::uint32_t step = 0; step < shape.len; ++step) {
    const Segment* seg = graph_.segment(cur);
    if (!seg) return;
    if (shape.open && seg->next == head) return;
    if (seg->exposed() && !visit(cur, *seg)) return;
    cur = seg->next;
    if (cur == head) return;
  }
}

}  // namespace quelmar
