#include "clipping/clipping_graph.hpp"

#include "room.hpp"

#include <algorithm>

namespace quelmar {

ClippingGraph::ClippingGraph(const ClippingGraph& other)
    : arena_(other.arena_),
      free_list_(other.free_list_),
      live_count_(other.live_count_),
      shapes_(other.shapes_),
      starts_(other.starts_),
      next_shape_id_(other.next_shape_id_),
      geometries_(other.geometries_),
      shape_ids_(other.shape_ids_) {
  reserve_free_list();
}

ClippingGraph& ClippingGraph::operator=(const ClippingGraph& other) {
  if (this != &other) *this = ClippingGraph(other);
  return *this;
}

Shape* ClippingGraph::find_shape(ShapeId id) {
  // Tests may edit the map behind the graph's back; then it is searched.
  if (shape_ids_.size() != shapes_.size()) {
    auto it = shapes_.find(id);
    return it == shapes_.end() ? nullptr : &it->second;
  }
  auto at = std::lower_bound(shape_ids_.begin(), shape_ids_.end(), id);
  if (at == shape_ids_.end() || *at != id) return nullptr;
  return &(shapes_.begin() + (at - shape_ids_.begin()))->second;
}

Shape* ClippingGraph::cached_shape(ShapeId id) {
  std::pair<ShapeId, std::uint32_t>& slot = lookups_[id % lookups_.size()];
  if (shape_ids_.size() == shapes_.size()) {
    if (slot.second < shape_ids_.size() && shape_ids_[slot.second] == id && slot.first == id)
      return &(shapes_.begin() + slot.second)->second;
    auto at = std::lower_bound(shape_ids_.begin(), shape_ids_.end(), id);
    if (at == shape_ids_.end() || *at != id) return nullptr;
    slot = {id, static_cast<std::uint32_t>(at - shape_ids_.begin())};
    return &(shapes_.begin() + slot.second)->second;
  }
  return find_shape(id);
}

void ClippingGraph::reserve_free_list() {
  if (free_list_.capacity() < arena_.capacity()) free_list_.reserve(arena_.capacity());
}

void ClippingGraph::reserve_for_carve(std::size_t crossings) {
  const std::size_t segments = 4 * crossings + 2;
  reserve_more(arena_, segments);
  reserve_free_list();
  starts_.reserve_more(segments);
  shapes_.reserve_more(1);
  reserve_more(geometries_, 1);
  reserve_more(shape_ids_, 1);
}

ShapeId ClippingGraph::alloc_shape(const ShapeGeometry& geometry) {
  // Room first, so that a failure leaves nothing half made.
  shapes_.reserve_more(1);
  reserve_more(geometries_, 1);
  reserve_more(shape_ids_, 1);
  const ShapeId id = next_shape_id_++;
  Shape shape;
  shape.geometry = geometry;
  shape.open = as_edge(geometry) != nullptr;
  shapes_.insert_or_assign(id, shape);
  // Ids only grow, so appending keeps the tables ascending.
  geometries_.push_back({id, geometry});
  shape_ids_.push_back(id);
  return id;
}

void ClippingGraph::unalloc_last_shape(ShapeId shape) {
  remove_shape(shape);
  if (next_shape_id_ == shape + 1) next_shape_id_ = shape;
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
  // Every step that can fail comes before the first change.
  const bool reuse = !free_list_.empty();
  const SegId id = reuse ? free_list_.back() : static_cast<SegId>(arena_.size());
  if (!reuse) {
    reserve_more(arena_, 1);
    reserve_free_list();
  }
  starts_.append(PointKey::from(start), id);
  if (reuse) free_list_.pop_back();
  else arena_.emplace_back();
  seg.next = id;
  seg.prev = id;
  arena_[id] = std::move(seg);
  ++live_count_;
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

std::optional<SegId> ClippingGraph::containing_segment(const Shape& shape, double v, std::optional<SegId> from) const {
  const SegId head = *shape.head;
  if (from) {
    SegId cur = *from;
    for (std::uint32_t step = 0; step < shape.len; ++step) {
      const Segment* seg = segment(cur);
      // At the closing segment of an edge line, or anything amiss, the
      // walk from the head decides.
      if (!seg || (shape.open && seg->next == head)) break;
      const Segment* next = segment(seg->next);
      if (!next) break;
      if (piece_contains(seg->offset, next->offset, v)) return cur;
      cur = seg->next;
      if (cur == *from) break;
    }
  }
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
  const Shape* shape = this->shape(shape_id);
  if (!shape) return std::nullopt;
  bool created = false;
  return insert_or_get_existing(shape_id, p, offset_along(shape->geometry, p), created);
}

std::optional<SegId> ClippingGraph::insert_or_get_existing(ShapeId shape_id, Point p, double v, bool& created) {
  return insert_at(shape_id, p, v, created, std::nullopt);
}

std::optional<SegId> ClippingGraph::insert_or_get_existing(ShapeId shape_id, Point p, double v, bool& created,
                                                          SegId after) {
  return insert_at(shape_id, p, v, created, segment(after) ? std::optional<SegId>(after) : std::nullopt);
}

std::optional<SegId> ClippingGraph::insert_at(ShapeId shape_id, Point p, double v, bool& created,
                                              std::optional<SegId> after) {
  created = false;
  Shape* found = cached_shape(shape_id);
  if (!found) return std::nullopt;

  if (!found->head) {
    const SegId id = push_segment(shape_id, std::nullopt, p, v);
    found->head = id;
    found->len = 1;
    created = true;
    return id;
  }

  if (const SharedStarts::SegList* entry = starts_.find(PointKey::from(p))) {
    for (SegId id : *entry) {
      const Segment* seg = segment(id);
      if (seg && seg->shape == shape_id) return id;
    }
  }

  // Pushing may move arena slots (so only ids are held across it) but never
  // the shape's entry.
  Shape& shape = *found;
  const SegId head = *shape.head;
  SegId made;
  if (std::optional<SegId> f = containing_segment(shape, v, after)) {
    made = push_segment(shape_id, *f, p, v);
    link_after(*f, made);
  } else {
    const Segment* head_seg = segment(head);
    if (!head_seg) return std::nullopt;
    if (!shape.open) {
      made = push_segment(shape_id, head, p, v);
      link_after(head, made);
    } else {
      const SegId last = head_seg->prev;
      if (v < head_seg->offset) {
        made = push_segment(shape_id, std::nullopt, p, v);
        link_after(last, made);
        shape.head = made;
      } else {
        made = push_segment(shape_id, last, p, v);
        link_after(last, made);
      }
    }
  }
  ++shape.len;
  created = true;
  return made;
}

void ClippingGraph::delete_segment(SegId id) {
  Segment* seg = live(id);
  if (!seg) return;
  Shape* owner = cached_shape(seg->shape);
  if (seg->next == id) {
    if (owner) {
      owner->head.reset();
      owner->len = 0;
    }
  } else {
    if (Segment* n = live(seg->next)) n->prev = seg->prev;
    if (Segment* p = live(seg->prev)) p->next = seg->next;
    if (owner) {
      if (owner->head == id) owner->head = seg->next;
      if (owner->len > 0) --owner->len;
    }
  }
  starts_.remove(PointKey::from(seg->start), id);
  arena_[id].reset();
  --live_count_;
  free_list_.push_back(id);  // within the room kept for every slot
}

void ClippingGraph::remove_shape(ShapeId shape_id) {
  if (const Shape* shape = this->shape(shape_id)) {
    // Each deletion moves the head on; the list can only shrink.
    for (std::uint32_t left = shape->len; left > 0 && shape->head; --left) delete_segment(*shape->head);
  }
  shapes_.erase(shape_id);
  if (auto at = std::lower_bound(shape_ids_.begin(), shape_ids_.end(), shape_id);
      at != shape_ids_.end() && *at == shape_id)
    shape_ids_.erase(at);
  auto it = std::lower_bound(geometries_.begin(), geometries_.end(), shape_id,
                             [](const ShapeGeometryEntry& e, ShapeId id) { return e.id < id; });
  if (it != geometries_.end() && it->id == shape_id) geometries_.erase(it);
}

std::vector<SegId> ClippingGraph::node_ids(ShapeId shape_id) const {
  std::vector<SegId> ids;
  const Shape* owner = shape(shape_id);
  if (!owner || !owner->head) return ids;
  ids.reserve(owner->len);
  for_each_segment(*owner, [&](SegId id, const Segment&) { ids.push_back(id); });
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
