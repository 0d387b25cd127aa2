#include "alive_zone/alive_zone.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "alive_zone/crossings.hpp"

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
}

void AliveZone::cover_run(ShapeId shape_id, SegId from, SegId stop, ShapeId cover) {
  const Shape* shape = graph_.shape(shape_id);
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

ShapeId AliveZone::carve(Point centre) {
  // The shapes that exist before this one, ascending by id, less those too
  // far away to cross it.
  const std::vector<ShapeGeometryEntry> candidates = crossing_candidates(centre);
  const CircleGeometry geometry{centre, STONE_DIAMETER};
  const ShapeId circle = graph_.alloc_shape(geometry);
  index_.file(circle, geometry);
  std::vector<ShapeId> touched;  // shapes whose outline the carve changed
  for (const ShapeGeometryEntry& entry : candidates) {
    const ShapeId other = entry.id;
    const std::optional<Crossing> cross = crossing_with(entry.geometry, centre);
    if (!cross) continue;
    // A carve only adds covers and splits pieces into pieces with the same
    // covers, so a circle with no exposed piece and two or more segments
    // keeps its marks.
    const FiledCircle* filed = index_.find(other, entry.geometry);
    if (!filed || filed->exposed || filed->whole) touched.push_back(other);
    // The same computed points go into both shapes, so each crossing's two
    // segments share one shared-start key.
    const std::optional<SegId> h = graph_.insert_or_get_existing(other, cross->p1);
    const std::optional<SegId> i1 = graph_.insert_or_get_existing(circle, cross->p1);
    const std::optional<SegId> j = graph_.insert_or_get_existing(other, cross->p2);
    const std::optional<SegId> k = graph_.insert_or_get_existing(circle, cross->p2);
    if (!h || !i1 || !j || !k) continue;
    cover_run(other, *h, *j, circle);
    cover_run(circle, *k, *i1, other);
  }
  for (ShapeId other : touched) refresh_marks(other);
  refresh_marks(circle);
  return circle;
}

std::vector<ShapeId> AliveZone::uncover(ShapeId circle) {
  std::vector<ShapeId> near;
  const Shape* shape = graph_.shape(circle);
  const CircleGeometry* c = shape ? as_circle(shape->geometry) : nullptr;
  if (!c || !index_.tame(c->centre) || !(c->radius <= ShapeIndex::MAX_RADIUS)) {
    graph_.remove_cover_everywhere(circle);
    if (index_.enabled())
      for (const auto& [id, other] : graph_.shapes())
        if (id != circle) near.push_back(id);
    return near;
  }
  // Covers are added only where a carve found a crossing, so the circle
  // covers pieces of exactly those shapes whose crossing with it, computed
  // as the later of the two carves computed it, exists: never a circle
  // beyond the two radii (and EPSILON).
  const CircleGeometry own = *c;
  const double reach = ShapeIndex::MAX_RADIUS + STONE_DIAMETER + EPSILON + index_.slack();
  auto crossed = [&](ShapeId other, const ShapeGeometry& geometry) {
    if (other == circle) return false;
    if (other < circle) return crosses(geometry, own.centre);
    const CircleGeometry* later = as_circle(geometry);
    return !later || crosses(own, later->centre);
  };
  for (const ShapeGeometryEntry& e : index_.ungridded())
    if (crossed(e.id, e.geometry)) near.push_back(e.id);
  index_.for_each_near(Box::of_point(own.centre).grown(reach), [&](const FiledCircle& f) {
    if (crossed(f.id, CircleGeometry{f.centre, f.radius})) near.push_back(f.id);
    return true;
  });
  for (ShapeId other : near) uncover_shape(other, circle);
  return near;
}

void AliveZone::uncover_shape(ShapeId shape_id, ShapeId cover) {
  const Shape* shape = graph_.shape(shape_id);
  if (!shape || !shape->head) return;
  const SegId head = *shape->head;
  SegId cur = head;
  for (std::uint32_t step = 0; step < shape->len; ++step) {
    const Segment* seg = graph_.segment(cur);
    if (!seg) return;
    const SegId next = seg->next;
    graph_.remove_cover(cur, cover);
    cur = next;
    if (cur == head) return;
  }
}

void AliveZone::uncarve(ShapeId circle) {
  // The shapes whose outline the uncarve changes: those it uncovers, and
  // the owners of vertices it merges away.
  std::vector<ShapeId> touched = uncover(circle);
  for (SegId id : graph_.node_ids(circle)) {
    const Segment* seg = graph_.segment(id);
    if (!seg) continue;
    const PointKey key = PointKey::from(seg->start);
    graph_.delete_segment(id);
    // The vertex this circle split into another outline is now alone under
    // its key: deleting it merges that outline's two pieces back into one.
    auto entry = graph_.shared_starts().find(key);
    if (entry == graph_.shared_starts().end()) continue;
    if (entry->second.size() == 1) {
      const SegId only = entry->second.front();
      // A crossing that fell exactly on an edge line's own vertex adopted
      // it rather than splitting the line; that vertex stays.
      if (original_edge_vertex(graph_, only, board_size_)) continue;
      if (const Segment* merged = graph_.segment(only)) touched.push_back(merged->shape);
      graph_.delete_segment(only);
      continue;
    }
    const std::vector<SegId> rest = entry->second;
    // Several left: the circle met other shapes at one bit-identical point
    // (a tangent point, concentric circles, a crossing that was already
    // there). Merge each vertex that no longer separates different covers;
    // a vertex of a live crossing always does.
    for (SegId r : rest)
      if (redundant_vertex(r)) {
        if (const Segment* merged = graph_.segment(r)) touched.push_back(merged->shape);
        graph_.delete_segment(r);
      }
  }
  if (const Shape* shape = graph_.shape(circle)) index_.unfile(circle, ShapeGeometry{shape->geometry});
  graph_.remove_shape(circle);
  std::sort(touched.begin(), touched.end());
  touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  for (ShapeId other : touched) refresh_marks(other);
}

void AliveZone::refresh_marks(ShapeId id, const Shape& shape, ShapeIndex& index) const {
  if (!as_circle(shape.geometry)) return;
  bool exposed = false;
  for_each_exposed(shape, [&](SegId, const Segment&) {
    exposed = true;
    return false;
  });
  index.mark(id, shape.geometry, exposed, shape.len < 2);
}

void AliveZone::refresh_marks(ShapeId id) {
  if (const Shape* shape = graph_.shape(id)) refresh_marks(id, *shape, index_);
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
  dead_zones_[stone] = carve(centre);
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

std::vector<Point> AliveZone::remove_forced_eyes_near_point(Point p) {
  if (std::optional<Point> exact = forced_eyes_.take(p)) return {*exact};
  std::vector<Point> near;
  for (const auto& [key, eye] : forced_eyes_)
    if (distance(eye, p) <= STONE_DIAMETER) near.push_back(eye);
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
