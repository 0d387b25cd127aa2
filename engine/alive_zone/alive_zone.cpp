#include "alive_zone/alive_zone.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "alive_zone/crossings.hpp"
#include "alive_zone/piece_box.hpp"

namespace quelmar {

namespace {

struct EdgeVertex {
  Point point;
  bool beyond_corner;
};

// The four vertices of one side, in insertion order. The overhang to ±2S
// makes every circle that reaches the side's line cross it in range.
std::array<EdgeVertex, 4> edge_vertices(std::uint8_t side, double S) {
  const double far = far_inset(S);
  switch (side) {
    case 0: return {{{{1.0, -2.0 * S}, true}, {{1.0, 1.0}, false}, {{1.0, far}, true}, {{1.0, 2.0 * S}, true}}};
    case 1: return {{{{-2.0 * S, far}, true}, {{1.0, far}, false}, {{far, far}, true}, {{2.0 * S, far}, true}}};
    case 2:
      return {{{{far, 3.0 * S}, true}, {{far, far}, false}, {{far, S - far}, true}, {{far, -S}, true}}};
    default:
      return {{{{3.0 * S, 1.0}, true}, {{far, 1.0}, false}, {{S - far, 1.0}, true}, {{-S, 1.0}, true}}};
  }
}

// Whether the segment starts at one of the vertices its edge line is built
// with: no carve adds those, so no uncarve may take one away.
bool original_edge_vertex(const ClippingGraph& graph, SegId id, double S) {
  const Segment* seg = graph.segment(id);
  const Shape* shape = seg ? graph.shape(seg->shape) : nullptr;
  const EdgeGeometry* edge = shape ? as_edge(shape->geometry) : nullptr;
  if (!edge) return false;
  for (const EdgeVertex& v : edge_vertices(edge->side, S))
    if (PointKey::from(v.point) == PointKey::from(seg->start)) return true;
  return false;
}

}  // namespace

AliveZone::AliveZone(double board_size) : board_size_(board_size), index_(board_size) {
  for (std::uint8_t side = 0; side < 4; ++side) {
    const ShapeId edge = graph_.alloc_shape(EdgeGeometry{side, board_size});
    index_.file(edge, EdgeGeometry{side, board_size});
    for (const EdgeVertex& v : edge_vertices(side, board_size)) {
      if (std::optional<SegId> seg = graph_.insert_or_get_existing(edge, v.point))
        graph_.set_beyond_corner(*seg, v.beyond_corner);
    }
  }
  touched_.reserve(16);
}

AliveZone::AliveZone(const AliveZone& other)
    : graph_(other.graph_),
      board_size_(other.board_size_),
      dead_zones_(other.dead_zones_),
      forced_eyes_(other.forced_eyes_),
      temporary_circles_(other.temporary_circles_),
      index_(other.index_) {
  touched_.reserve(2 * (graph_.shapes().size() + 1));
}

AliveZone& AliveZone::operator=(const AliveZone& other) {
  if (this != &other) *this = AliveZone(other);
  return *this;
}

void AliveZone::cover_run(ShapeId shape_id, SegId from, SegId stop, ShapeId cover) {
  const Shape* shape = graph_.shape_in_change(shape_id);
  if (!shape) return;
  const std::uint32_t len = shape->len;
  SegId cur = from;
  for (std::uint32_t step = 0; step < len && cur != stop; ++step) {
    const Segment* seg = graph_.segment(cur);
    if (!seg) return;
    graph_.add_cover(cur, cover);
    cur = seg->next;
  }
}

bool AliveZone::redundant_vertex(SegId id) const {
  const Segment* seg = graph_.segment(id);
  if (!seg) return false;
  const Shape* shape = graph_.shape(seg->shape);
  const Segment* prev = graph_.segment(seg->prev);
  if (!shape || !shape->head || !prev) return false;
  if (shape->open) {
    if (id == *shape->head || seg->next == *shape->head) return false;
  } else if (seg->next == id) {
    return true;  // every crossing leaves two vertices on a circle
  }
  return prev->covered_by == seg->covered_by && prev->beyond_corner == seg->beyond_corner;
}

std::vector<ShapeGeometryEntry> AliveZone::crossing_candidates(Point centre) const {
  if (!index_.tame(centre)) return graph_.geometries();
  // A circle crosses only circles whose centres lie within the two radii
  // (and EPSILON) of its own; the edge lines and untamed circles are always
  // tried.
  const double reach = ShapeIndex::MAX_RADIUS + STONE_DIAMETER + EPSILON + index_.slack();
  std::vector<ShapeGeometryEntry> found = index_.ungridded();
  index_.for_each_near(Box::of_point(centre).grown(reach), [&](const FiledCircle& c) {
    if (std::fabs(c.centre.x - centre.x) <= reach && std::fabs(c.centre.y - centre.y) <= reach)
      found.push_back({c.id, CircleGeometry{c.centre, c.radius}});
    return true;
  });
  std::sort(found.begin(), found.end(),
            [](const ShapeGeometryEntry& a, const ShapeGeometryEntry& b) { return a.id < b.id; });
  return found;
}

std::vector<AliveZone::PlannedCrossing> AliveZone::plan_carve(Point centre) const {
  std::vector<PlannedCrossing> plan;
  for (const ShapeGeometryEntry& entry : crossing_candidates(centre))
    if (const std::optional<Crossing> cross = crossing_with(entry.geometry, centre)) plan.push_back({entry, *cross});
  return plan;
}

void AliveZone::touch(ShapeId shape) {
  auto at = std::lower_bound(touched_.begin(), touched_.end(), shape);
  if (at == touched_.end() || *at != shape) touched_.insert(at, shape);
}

ShapeId AliveZone::carve(Point centre) {
  // Everything that can fail without harm first: the crossings, and room
  // for the new shape, its segments and the uncarve that may follow.
  const std::vector<PlannedCrossing> plan = plan_carve(centre);
  std::vector<SegId> splits;
  splits.reserve(2 * plan.size());
  const CircleGeometry geometry{centre, STONE_DIAMETER};
  graph_.reserve_for_carve(plan.size());
  index_.reserve_for(geometry);
  quelmar::reserve_more(touched_, graph_.shapes().size() + 1);  // empty between changes

  const ShapeId circle = graph_.alloc_shape(geometry);
  index_.file(circle, geometry);
  try {
    carve_crossings(circle, plan, splits);
  } catch (...) {
    // A cover set or shared-start list that outgrew its inline room could
    // not allocate: nothing of this carve may stay.
    undo_partial_carve(circle, splits);
    throw;
  }
  // A carve only adds covers and splits pieces into pieces with the same
  // covers, so a circle with no exposed piece and two or more segments
  // keeps its marks.
  for (const PlannedCrossing& c : plan) {
    const FiledCircle* filed = index_.find(c.other.id, c.other.geometry);
    if (!filed || filed->exposed || filed->whole) refresh_marks(c.other.id);
  }
  refresh_marks(circle);
  return circle;
}

void AliveZone::carve_crossings(ShapeId circle, const std::vector<PlannedCrossing>& plan,
                                std::vector<SegId>& splits) {
  const Point centre = std::get<CircleGeometry>(graph_.shape_in_change(circle)->geometry).centre;
  for (const PlannedCrossing& c : plan) {
    const ShapeId other = c.other.id;
    // The same computed points go into both shapes, so each crossing's two
    // segments share one shared-start key; the other shape's offsets are
    // the ones the crossing computed (a circle's polar angles).
    bool created = false;
    const std::optional<SegId> h = graph_.insert_or_get_existing(other, c.cross.p1, c.cross.o1, created);
    if (created) splits.push_back(*h);
    const std::optional<SegId> i1 =
        graph_.insert_or_get_existing(circle, c.cross.p1, normalize_angle(c.cross.p1 - centre), created);
    // P2 follows P1 along the other outline, so its piece is found from P1's on.
    const std::optional<SegId> j = h ? graph_.insert_or_get_existing(other, c.cross.p2, c.cross.o2, created, *h)
                                     : graph_.insert_or_get_existing(other, c.cross.p2, c.cross.o2, created);
    if (created) splits.push_back(*j);
    const std::optional<SegId> k =
        graph_.insert_or_get_existing(circle, c.cross.p2, normalize_angle(c.cross.p2 - centre), created);
    if (!h || !i1 || !j || !k) continue;
    cover_run(other, *h, *j, circle);
    cover_run(circle, *k, *i1, other);
  }
}

void AliveZone::undo_partial_carve(ShapeId circle, const std::vector<SegId>& splits) {
  graph_.remove_cover_everywhere(circle);
  // Latest first, so each split piece merges back into the one it came from.
  for (auto it = splits.rbegin(); it != splits.rend(); ++it) graph_.delete_segment(*it);
  if (const Shape* shape = graph_.shape(circle)) index_.unfile(circle, ShapeGeometry{shape->geometry});
  graph_.unalloc_last_shape(circle);
}

void AliveZone::uncover(ShapeId circle) {
  const Shape* shape = graph_.shape_in_change(circle);
  if (!shape || !as_circle(shape->geometry) || !index_.enabled()) {
    graph_.remove_cover_everywhere(circle);
    if (index_.enabled())
      for (const auto& [id, other] : graph_.shapes())
        if (id != circle) touch(id);
    return;
  }
  // A circle covers another outline only along the run its carve covered,
  // from the other outline's vertex at one crossing point up to its vertex
  // at the other; pieces later split off inside the run copied the cover,
  // and no other piece has it. Every such vertex starts where a vertex of
  // the circle does, so walking on from each one the circle shares undoes
  // exactly the covers the circle added.
  graph_.for_each_segment(*shape, [&](SegId, const Segment& own) {
    const SharedStarts::SegList* entry = graph_.shared_starts().find(PointKey::from(own.start));
    if (!entry) return;
    for (SegId id : *entry) {
      const Segment* seg = graph_.segment(id);
      if (!seg || seg->shape == circle) continue;
      touch(seg->shape);
      uncover_run(id, circle);
    }
  });
}

void AliveZone::uncover_run(SegId from, ShapeId cover) {
  const Segment* seg = graph_.segment(from);
  const Shape* owner = seg ? graph_.shape_in_change(seg->shape) : nullptr;
  if (!owner) return;
  SegId cur = from;
  for (std::uint32_t step = 0; step < owner->len; ++step) {
    seg = graph_.segment(cur);
    if (!seg || !seg->covered_by.contains(cover)) return;
    const SegId next = seg->next;
    graph_.remove_cover(cur, cover);
    cur = next;
  }
}

void AliveZone::uncarve(ShapeId circle) {
  // The shapes whose outline the uncarve changes: those it uncovers, and
  // the owners of vertices it merges away.
  touched_.clear();
  uncover(circle);
  const Shape* shape = graph_.shape_in_change(circle);
  // The list as it stands now, from the head: deleting a piece relinks its
  // neighbours but leaves the others' ids as they were.
  std::uint32_t left = shape ? shape->len : 0;
  SegId cur = shape && shape->head ? *shape->head : 0;
  for (; left > 0; --left) {
    const Segment* seg = graph_.segment(cur);
    if (!seg) break;
    const SegId next = seg->next;
    const PointKey key = PointKey::from(seg->start);
    graph_.delete_segment(cur);
    cur = next;
    merge_vertices_at(key);
  }
  if (const Shape* s = graph_.shape_in_change(circle)) index_.unfile(circle, ShapeGeometry{s->geometry});
  graph_.remove_shape(circle);
  for (ShapeId other : touched_) refresh_marks(other);
  touched_.clear();
}

void AliveZone::merge_vertices_at(PointKey key) {
  const SharedStarts::SegList* entry = graph_.shared_starts().find(key);
  if (!entry) return;
  if (entry->size() == 1) {
    // The vertex this circle split into another outline is now alone under
    // its key: deleting it merges that outline's two pieces back into one.
    const SegId only = entry->front();
    // A crossing that fell exactly on an edge line's own vertex adopted it
    // rather than splitting the line; that vertex stays.
    if (original_edge_vertex(graph_, only, board_size_)) return;
    if (const Segment* merged = graph_.segment(only)) touch(merged->shape);
    graph_.delete_segment(only);
    return;
  }
  // Several left: the circle met other shapes at one bit-identical point
  // (a tangent point, concentric circles, a crossing that was already
  // there). Merge each vertex that no longer separates different covers; a
  // vertex of a live crossing always does. The vertices belong to distinct
  // shapes, so merging one never changes whether another is redundant, and
  // the entry is walked in place in its stored order.
  for (std::uint32_t i = 0; (entry = graph_.shared_starts().find(key)) && i < entry->size();) {
    const SegId r = (*entry)[i];
    if (!redundant_vertex(r)) {
      ++i;
      continue;
    }
    if (const Segment* merged = graph_.segment(r)) touch(merged->shape);
    graph_.delete_segment(r);
  }
}

void AliveZone::refresh_marks(ShapeId id, const Shape& shape, ShapeIndex& index) const {
  const CircleGeometry* circle = as_circle(shape.geometry);
  if (!circle) return;
  const Box disc = Box::of_point(circle->centre).grown(circle->radius);
  const bool whole = shape.len < 2;
  bool exposed = false;
  Box reach = Box::empty();
  for_each_exposed(shape, [&](SegId, const Segment& seg) {
    exposed = true;
    const Segment* next = graph_.segment(seg.next);
    reach = reach.joined(next ? arc_piece_box(*circle, seg, *next) : disc);
    return true;
  });
  index.mark(id, shape.geometry, exposed, whole, whole ? disc : reach);
}

void AliveZone::refresh_marks(ShapeId id) {
  if (const Shape* shape = graph_.shape_in_change(id)) refresh_marks(id, *shape, index_);
}

ShapeIndex AliveZone::index_from_scratch() const {
  if (!index_.enabled()) return index_;
  ShapeIndex fresh(board_size_);
  for (const auto& [id, shape] : graph_.shapes()) {
    fresh.file(id, shape.geometry);
    refresh_marks(id, shape, fresh);
  }
  return fresh;
}

Status<DeadZoneError> AliveZone::remove_circle(StoneId stone, Point centre) {
  if (dead_zones_.count(stone)) return Err{DeadZoneError{DeadZoneError::Kind::AlreadyCarved, stone}};
  dead_zones_.reserve_more(1);
  dead_zones_.insert_or_assign(stone, carve(centre));
  return Ok{};
}

Status<DeadZoneError> AliveZone::reclaim_circle(StoneId stone) {
  auto it = dead_zones_.find(stone);
  if (it == dead_zones_.end()) return Err{DeadZoneError{DeadZoneError::Kind::NotCarved, stone}};
  const ShapeId circle = it->second;
  dead_zones_.erase(it);
  uncarve(circle);
  return Ok{};
}

std::vector<Point> AliveZone::forced_eyes_near_point(Point p) const {
  if (forced_eyes_.contains(p)) return {forced_eyes_.entries().at(PointKey::from(p))};
  std::vector<Point> near;
  for (const auto& [key, eye] : forced_eyes_)
    if (distance(eye, p) <= STONE_DIAMETER) near.push_back(eye);
  return near;
}

std::vector<Point> AliveZone::remove_forced_eyes_near_point(Point p) {
  std::vector<Point> near = forced_eyes_near_point(p);
  for (Point eye : near) forced_eyes_.take(eye);
  return near;
}

bool AliveZone::crowded(Point centre, std::size_t limit) const {
  std::size_t overlapping = 0;
  auto overlaps = [&](Point c, double radius) {
    // Within the reach of a crossing, as the carve tests it.
    return distance(c, centre) <= radius + STONE_DIAMETER + EPSILON;
  };
  if (!index_.tame(centre)) {
    for (const ShapeGeometryEntry& e : graph_.geometries())
      if (const CircleGeometry* c = as_circle(e.geometry); c && overlaps(c->centre, c->radius) && ++overlapping > limit)
        return true;
    return false;
  }
  for (const ShapeGeometryEntry& e : index_.ungridded())
    if (const CircleGeometry* c = as_circle(e.geometry); c && overlaps(c->centre, c->radius)) ++overlapping;
  const double reach = ShapeIndex::MAX_RADIUS + STONE_DIAMETER + EPSILON;
  return !index_.for_each_near(Box::of_point(centre).grown(reach), [&](const FiledCircle& c) {
    return !(overlaps(c.centre, c.radius) && ++overlapping > limit);
  }) || overlapping > limit;
}

std::optional<ShapeId> AliveZone::pop_temporary_circle() {
  if (temporary_circles_.empty()) return std::nullopt;
  const ShapeId s = temporary_circles_.back();
  temporary_circles_.pop_back();
  return s;
}

}  // namespace quelmar
