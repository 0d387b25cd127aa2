#include "clipping/clipping_graph.hpp"

#include <algorithm>

namespace quelmar {

ShapeId ClippingGraph::alloc_shape(const ShapeGeometry& geometry) {
  const ShapeId id = next_shape_id_++;
  Shape shape;
  shape.geometry = geometry;
  shape.open = as_edge(geometry) != nullptr;
  shapes_[id] = shape;
  // Ids only grow, so appending keeps the table ascending.
  geometries_.push_back({id, geometry});
  return id;
}

SegId ClippingGraph::push_segment(ShapeId owner, std::optional<SegId> source, Point start, double offset) {
  Segment seg;
  seg.offset = offset;
  seg.start = start;
  seg.shape = owner;
  if (source) {
    if (const Segment* src = segment(*source)) {
      seg.covered_by = src->covered_by;
      seg.beyond_corner = src->beyond_corner;
    }
  }
  SegId id;
  if (!free_list_.empty()) {
    id = free_list_.back();
    free_list_.pop_back();
  } else {
    id = static_cast<SegId>(arena_.size());
    arena_.emplace_back();
  }
  seg.next = id;
  seg.prev = id;
  arena_[id] = std::move(seg);
  ++live_count_;
  starts_[PointKey::from(start)].push_back(id);
  return id;
}

void ClippingGraph::link_after(SegId a, SegId b) {
  Segment* sa = live(a);
  Segment* sb = live(b);
  if (!sa || !sb) return;
  const SegId old_next = sa->next;
  sb->prev = a;
  sb->next = old_next;
  if (Segment* sn = live(old_next)) sn->prev = b;
  sa->next = b;
}

bool ClippingGraph::piece_contains(double l, double m, double v) {
  if (l < m) return l <= v && v < m;
  if (l > m) return v >= l || v < m;
  return false;  // an empty piece, or a NaN offset
}

std::optional<SegId> ClippingGraph::containing_segment(const Shape& shape, double v) const {
  const SegId head = *shape.head;
  SegId cur = head;
  for (std::uint32_t step = 0; step < shape.len; ++step) {
    const Segment* seg = segment(cur);
    if (!seg) return std::nullopt;
    // The closing segment of an edge line is never split.
    if (shape.open && seg->next == head) return std::nullopt;
    const Segment* next = segment(seg->next);
    if (!next) return std::nullopt;
    if (piece_contains(seg->offset, next->offset, v)) return cur;
    cur = seg->next;
    if (cur == head) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<SegId> ClippingGraph::insert_or_get_existing(ShapeId shape_id, Point p) {
  auto found = shapes_.find(shape_id);
  if (found == shapes_.end()) return std::nullopt;
  const double v = offset_along(found->second.geometry, p);

  if (!found->second.head) {
    const SegId id = push_segment(shape_id, std::nullopt, p, v);
    found->second.head = id;
    found->second.len = 1;
    return id;
  }

  if (auto entry = starts_.find(PointKey::from(p)); entry != starts_.end()) {
    for (SegId id : entry->second) {
      const Segment* seg = segment(id);
      if (seg && seg->shape == shape_id) return id;
    }
  }

  // Pushing may move arena slots (so only ids are held across it) but never
  // shape-map nodes.
  Shape& shape = found->second;
  const SegId head = *shape.head;
  SegId created;
  if (std::optional<SegId> f = containing_segment(shape, v)) {
    created = push_segment(shape_id, *f, p, v);
    link_after(*f, created);
  } else {
    const Segment* head_seg = segment(head);
    if (!head_seg) return std::nullopt;
    if (!shape.open) {
      created = push_segment(shape_id, head, p, v);
      link_after(head, created);
    } else {
      const SegId last = head_seg->prev;
      if (v < head_seg->offset) {
        created = push_segment(shape_id, std::nullopt, p, v);
        link_after(last, created);
        shape.head = created;
      } else {
        created = push_segment(shape_id, last, p, v);
        link_after(last, created);
      }
    }
  }
  ++shape.len;
  return created;
}

void ClippingGraph::delete_segment(SegId id) {
  Segment* seg = live(id);
  if (!seg) return;
  auto owner = shapes_.find(seg->shape);
  if (seg->next == id) {
    if (owner != shapes_.end()) {
      owner->second.head.reset();
      owner->second.len = 0;
    }
  } else {
    if (Segment* n = live(seg->next)) n->prev = seg->prev;
    if (Segment* p = live(seg->prev)) p->next = seg->next;
    if (owner != shapes_.end()) {
      Shape& shape = owner->second;
      if (shape.head == id) shape.head = seg->next;
      if (shape.len > 0) --shape.len;
    }
  }

  auto entry = starts_.find(PointKey::from(seg->start));
  if (entry != starts_.end()) {
    std::erase(entry->second, id);
    if (entry->second.empty()) starts_.erase(entry);
  }

  arena_[id].reset();
  --live_count_;
  free_list_.push_back(id);
}

void ClippingGraph::remove_shape(ShapeId shape) {
  for (SegId id : node_ids(shape)) delete_segment(id);
  shapes_.erase(shape);
  auto it = std::lower_bound(geometries_.begin(), geometries_.end(), shape,
                             [](const ShapeGeometryEntry& e, ShapeId id) { return e.id < id; });
  if (it != geometries_.end() && it->id == shape) geometries_.erase(it);
}

std::vector<SegId> ClippingGraph::node_ids(ShapeId shape_id) const {
  std::vector<SegId> ids;
  const Shape* owner = shape(shape_id);
  if (!owner || !owner->head) return ids;
  ids.reserve(owner->len);
  SegId cur = *owner->head;
  for (std::uint32_t step = 0; step < owner->len; ++step) {
    const Segment* seg = segment(cur);
    if (!seg) break;
    ids.push_back(cur);
    cur = seg->next;
    if (cur == *owner->head) break;
  }
  return ids;
}

std::optional<Span> ClippingGraph::segment_span(SegId id) const {
  const Segment* seg = segment(id);
  if (!seg) return std::nullopt;
  const Segment* next = segment(seg->next);
  const Shape* owner = shape(seg->shape);
  if (!next || !owner) return std::nullopt;
  if (const CircleGeometry* c = as_circle(owner->geometry))
    return Span::of_arc(Arc{c->centre, c->radius, seg->offset, next->offset});
  const EdgeGeometry& e = std::get<EdgeGeometry>(owner->geometry);
  return Span::of_line(edge_point(e, seg->offset), edge_point(e, next->offset));
}

void ClippingGraph::add_cover(SegId id, ShapeId cover) {
  if (Segment* seg = live(id)) seg->covered_by.insert(cover);
}

void ClippingGraph::remove_cover(SegId id, ShapeId cover) {
  if (Segment* seg = live(id)) seg->covered_by.erase(cover);
}

void ClippingGraph::remove_cover_everywhere(ShapeId cover) {
  for (std::optional<Segment>& slot : arena_)
    if (slot && slot->shape != cover) slot->covered_by.erase(cover);
}

void ClippingGraph::set_beyond_corner(SegId id, bool flag) {
  if (Segment* seg = live(id)) seg->beyond_corner = flag;
}

namespace {

bool same_slot(const std::optional<Segment>& a, const std::optional<Segment>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || identical(*a, *b);
}

bool same_geometries(const std::vector<ShapeGeometryEntry>& a, const std::vector<ShapeGeometryEntry>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const ShapeGeometryEntry& x, const ShapeGeometryEntry& y) {
                      return x.id == y.id && identical(x.geometry, y.geometry);
                    });
}

}  // namespace

bool operator==(const ClippingGraph& a, const ClippingGraph& b) {
  return std::equal(a.arena_.begin(), a.arena_.end(), b.arena_.begin(), b.arena_.end(), same_slot) &&
         a.free_list_ == b.free_list_ && a.live_count_ == b.live_count_ && a.shapes_ == b.shapes_ &&
         a.starts_ == b.starts_ && a.next_shape_id_ == b.next_shape_id_ &&
         same_geometries(a.geometries_, b.geometries_);
}

bool same_live_structure(const ClippingGraph& a, const ClippingGraph& b) {
  const std::size_t n = std::max(a.arena().size(), b.arena().size());
  for (std::size_t i = 0; i < n; ++i) {
    const Segment* x = a.segment(static_cast<SegId>(i));
    const Segment* y = b.segment(static_cast<SegId>(i));
    if ((x == nullptr) != (y == nullptr)) return false;
    if (x && !identical(*x, *y)) return false;
  }
  return a.live_count() == b.live_count() && a.shapes() == b.shapes() &&
         a.shared_starts() == b.shared_starts() && same_geometries(a.geometries(), b.geometries());
}

}  // namespace quelmar
