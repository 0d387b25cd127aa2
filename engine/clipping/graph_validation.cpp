#include "clipping/graph_validation.hpp"

#include <algorithm>
#include <vector>

namespace quelmar {

namespace {

using Kind = StructureError::Kind;

StructureError error(Kind kind) { return StructureError{kind}; }

StructureError seg_error(Kind kind, SegId seg) {
  StructureError e{kind};
  e.segment = seg;
  return e;
}

StructureError shape_error(Kind kind, ShapeId shape) {
  StructureError e{kind};
  e.shape = shape;
  return e;
}

StructureError missing(ShapeId shape, SegId seg) {
  StructureError e{Kind::MissingSegment};
  e.shape = shape;
  e.segment = seg;
  return e;
}

StructureError link_mismatch(SegId a, SegId b) {
  StructureError e{Kind::LinkMismatch};
  e.segment = a;
  e.other_segment = b;
  return e;
}

bool indexed_under_start(const ClippingGraph& g, SegId id, const Segment& seg) {
  const SharedStarts::SegList* entry = g.shared_starts().find(PointKey::from(seg.start));
  return entry && std::find(entry->begin(), entry->end(), id) != entry->end();
}

// The per-segment checks of a list walk, in the order they are reported.
std::optional<StructureError> check_visited(const ClippingGraph& g, ShapeId id, const Shape& shape, SegId s,
                                            std::vector<bool>& seen) {
  const Segment* seg = g.segment(s);
  if (!seg) return missing(id, s);
  if (seg->shape != id) {
    StructureError e{Kind::WrongOwner};
    e.segment = s;
    e.shape = id;
    e.owner = seg->shape;
    return e;
  }
  if (seen[s]) return seg_error(Kind::InSeveralLists, s);
  seen[s] = true;

  const Segment* next = g.segment(seg->next);
  if (!next) return missing(id, seg->next);
  if (next->prev != s) return link_mismatch(s, seg->next);
  const Segment* prev = g.segment(seg->prev);
  if (!prev) return missing(id, seg->prev);
  if (prev->next != s) return link_mismatch(seg->prev, s);

  if (!same_bits(seg->offset, offset_along(shape.geometry, seg->start)))
    return seg_error(Kind::OffsetMismatch, s);
  if (!indexed_under_start(g, s, *seg)) return seg_error(Kind::NotIndexed, s);
  for (ShapeId cover : seg->covered_by) {
    if (cover == id) return shape_error(Kind::SelfCover, id);
    if (!g.shape(cover)) {
      StructureError e{Kind::CoveredByMissing};
      e.segment = s;
      e.shape = cover;
      return e;
    }
  }
  return std::nullopt;
}

// Walks one shape's list from its head. Every step either marks a segment
// seen for the first time or reports, so the walk is bounded by the arena.
std::optional<StructureError> check_list(const ClippingGraph& g, ShapeId id, const Shape& shape,
                                         std::vector<bool>& seen) {
  const SegId head = *shape.head;
  SegId s = head;
  std::uint64_t steps = 0;
  std::uint64_t descents = 0;
  bool last_descent_closes = false;
  while (true) {
    if (auto e = check_visited(g, id, shape, s, seen)) return e;
    const Segment& seg = *g.segment(s);
    if (++steps > shape.len) {
      StructureError e{Kind::WalkTooLong};
      e.shape = id;
      e.count = shape.len;
      return e;
    }
    if (seg.offset > g.segment(seg.next)->offset) {
      ++descents;
      last_descent_closes = seg.next == head;
    }
    if (seg.next == head) {
      if (steps != shape.len) {
        StructureError e{Kind::LengthMismatch};
        e.shape = id;
        e.count = shape.len;
        e.other_count = steps;
        return e;
      }
      if (descents > 1) return shape_error(Kind::OffsetsOutOfOrder, id);
      if (shape.open && descents == 1 && !last_descent_closes) return shape_error(Kind::OffsetsOutOfOrder, id);
      return std::nullopt;
    }
    s = seg.next;
  }
}

std::optional<StructureError> check_index(const ClippingGraph& g) {
  std::uint64_t sum = 0;
  std::vector<SegId> listed;
  for (const auto& [key, ids] : g.shared_starts().sorted_entries()) {
    if (ids->empty()) return error(Kind::EmptyIndexEntry);
    listed.clear();
    for (SegId id : *ids) {
      if (std::find(listed.begin(), listed.end(), id) != listed.end()) return seg_error(Kind::IndexedTwice, id);
      listed.push_back(id);
      const Segment* seg = g.segment(id);
      if (!seg) return seg_error(Kind::IndexedMissing, id);
      if (PointKey::from(seg->start) != key) return seg_error(Kind::IndexedElsewhere, id);
    }
    sum += ids->size();
  }
  if (sum != g.live_count()) {
    StructureError e{Kind::IndexCountMismatch};
    e.count = sum;
    e.other_count = g.live_count();
    return e;
  }
  return std::nullopt;
}

}  // namespace

std::optional<StructureError> check_clipping_graph(const ClippingGraph& graph) {
  std::vector<bool> seen(graph.arena().size(), false);
  for (const auto& [id, shape] : graph.shapes()) {
    if (!shape.head) continue;
    if (auto e = check_list(graph, id, shape, seen)) return e;
  }
  for (std::size_t i = 0; i < graph.arena().size(); ++i)
    if (graph.arena()[i] && !seen[i]) return seg_error(Kind::Unreachable, static_cast<SegId>(i));
  return check_index(graph);
}

}  // namespace quelmar
