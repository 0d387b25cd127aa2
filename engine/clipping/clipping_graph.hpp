#pragma once
// The exact, incrementally maintained boundary of the alive zone: every
// shape's outline cut into segments at its crossings with other shapes, each
// segment knowing which shapes lie over it.

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "clipping/ids.hpp"
#include "clipping/segment.hpp"
#include "clipping/shape.hpp"
#include "clipping/shared_starts.hpp"
#include "flat_map.hpp"
#include "geometry/point.hpp"
#include "geometry/shapes.hpp"

namespace quelmar {

// A shape's geometry in the flat, id-ordered table that point queries scan.
struct ShapeGeometryEntry {
  ShapeId id = 0;
  ShapeGeometry geometry;
};

// Shapes by id, ascending.
using ShapeMap = FlatMap<ShapeId, Shape>;

class ClippingGraph {
 public:
  ClippingGraph() = default;
  // A copy keeps the room that freeing a segment relies on.
  ClippingGraph(const ClippingGraph& other);
  ClippingGraph& operator=(const ClippingGraph& other);
  ClippingGraph(ClippingGraph&&) noexcept = default;
  ClippingGraph& operator=(ClippingGraph&&) noexcept = default;

  // Room for a carve that crosses up to `crossings` shapes: its new shape
  // and the four segments each crossing can add. Afterwards such a carve
  // allocates only where a cover set or a shared-start list outgrows the
  // room kept inside it. Throws std::bad_alloc with nothing changed.
  void reserve_for_carve(std::size_t crossings);

  // A new shape with an empty outline; open when `geometry` is an edge.
  ShapeId alloc_shape(const ShapeGeometry& geometry);
  // Hands back the id of the shape just allocated, when a carve that made
  // it is undone before anything saw it.
  void unalloc_last_shape(ShapeId shape);
  // Hands out no shape for the next id: ids are never given out twice.
  void skip_shape_id() { ++next_shape_id_; }

  // The segment of `shape` that starts at `p`, splitting the segment that
  // contains p's offset when there is none yet. None if the shape is absent
  // (or its list is too broken to link into). `offset`, when given, is p's
  // offset along the shape as offset_along computes it. `created` is set
  // when a new segment was made.
  std::optional<SegId> insert_or_get_existing(ShapeId shape, Point p);
  std::optional<SegId> insert_or_get_existing(ShapeId shape, Point p, double offset, bool& created);
  // The same, where `after` is a live segment of the shape that starts at
  // or before p along it: the piece to split is looked for from there on,
  // and found as from the head (pieces do not overlap), without walking
  // the outline up to it.
  std::optional<SegId> insert_or_get_existing(ShapeId shape, Point p, double offset, bool& created, SegId after);

  // A new self-linked segment, indexed under `start`; it copies the covers
  // and corner flag of a live `source`. The caller links it and fixes the
  // owner's head and len.
  SegId push_segment(ShapeId owner, std::optional<SegId> source, Point start, double offset);

  // Links the new segment `b` after the live segment `a`.
  void link_after(SegId a, SegId b);

  // Unlinks, unindexes and frees a live segment; no effect otherwise.
  // Never allocates: the free list always has room for every arena slot.
  void delete_segment(SegId id);

  // Deletes every segment still in the shape's list, then the shape itself.
  // Never allocates.
  void remove_shape(ShapeId shape);

  // The shape's segments in list order from the head; empty when the shape
  // is absent or has no head. Bounded by the shape's len.
  std::vector<SegId> node_ids(ShapeId shape) const;

  // The piece of outline a live segment stands for, up to its live next's
  // start: a line for an edge owner, an arc for a circle. None otherwise.
  std::optional<Span> segment_span(SegId id) const;

  // Coverage bookkeeping of a live segment; no effect on an empty slot.
  void add_cover(SegId id, ShapeId cover);
  void remove_cover(SegId id, ShapeId cover);
  void set_beyond_corner(SegId id, bool flag);

  // The live segment under `id`, or null for an empty or out-of-range slot.
  const Segment* segment(SegId id) const {
    return id < arena_.size() && arena_[id] ? &*arena_[id] : nullptr;
  }
  // The shape under `id`, or null.
  const Shape* shape(ShapeId id) const { return const_cast<ClippingGraph*>(this)->find_shape(id); }
  // The same, for a caller that is changing the graph: a carve or an
  // uncarve asks for the same few shapes again and again, and a small
  // cache of where they sit answers most of those. (Queries on a shared
  // graph use shape(), which writes nothing.)
  const Shape* shape_in_change(ShapeId id) { return cached_shape(id); }
  // The shape's list in order from the head: visit(id, segment) for each
  // live segment, at most len of them.
  template <class Visit>
  void for_each_segment(const Shape& shape, Visit&& visit) const;

  // Removes `cover` from every live segment not owned by it. On a graph that
  // passes its check every live segment is in exactly one shape's list, so
  // this sweep of the arena is the walk of every other shape's list.
  void remove_cover_everywhere(ShapeId cover);

  const SegmentArena& arena() const { return arena_; }
  const std::vector<SegId>& free_list() const { return free_list_; }
  std::uint32_t live_count() const { return live_count_; }
  const ShapeMap& shapes() const { return shapes_; }
  const SharedStarts& shared_starts() const { return starts_; }
  ShapeId next_shape_id() const { return next_shape_id_; }
  // Every shape's geometry, ascending by id: the shapes map laid flat.
  const std::vector<ShapeGeometryEntry>& geometries() const { return geometries_; }

  // Debug/mutable access, for tests that build corrupt structures. Writes
  // through these bypass every invariant, the geometry table included.
  SegmentArena& debug_mutable_arena() { return arena_; }
  std::vector<SegId>& debug_mutable_free_list() { return free_list_; }
  std::uint32_t& debug_mutable_live_count() { return live_count_; }
  ShapeMap& debug_mutable_shapes() { return shapes_; }
  SharedStarts& debug_mutable_starts() { return starts_; }
  ShapeId& debug_mutable_next_shape_id() { return next_shape_id_; }

  // The exact structure bit for bit: arena slots, free list, counters,
  // shapes, index and geometry table.
  friend bool operator==(const ClippingGraph& a, const ClippingGraph& b);

 private:
  Segment* live(SegId id) { return id < arena_.size() && arena_[id] ? &*arena_[id] : nullptr; }
  // Whether offset v lies on the piece from offset l up to offset m.
  static bool piece_contains(double l, double m, double v);
  // Step 5 of the insertion: the first non-closing segment containing v,
  // looked for from `from` on when given, else from the head.
  std::optional<SegId> containing_segment(const Shape& shape, double v, std::optional<SegId> from = {}) const;
  std::optional<SegId> insert_at(ShapeId shape_id, Point p, double v, bool& created, std::optional<SegId> after);
  // Keeps room in the free list for every slot of the arena.
  void reserve_free_list();
  // The shape under `id`, or null: a binary search of the ids alone, which
  // sit in a few cache lines where the shapes themselves do not.
  Shape* find_shape(ShapeId id);
  Shape* cached_shape(ShapeId id);

  SegmentArena arena_;
  // A stack: the last freed id is reused first. Its capacity never falls
  // below the arena's size, so freeing a segment never allocates.
  std::vector<SegId> free_list_;
  std::uint32_t live_count_ = 0;  // live slots of the arena
  ShapeMap shapes_;
  SharedStarts starts_;  // every live segment exactly once, under its start key
  ShapeId next_shape_id_ = 0;
  std::vector<ShapeGeometryEntry> geometries_;  // mirrors shapes_, ascending by id
  std::vector<ShapeId> shape_ids_;              // the keys of shapes_, in order
  // Where some shapes sat in shapes_ lately, by id modulo the size: an
  // entry is used only when shape_ids_ still holds its id there.
  std::array<std::pair<ShapeId, std::uint32_t>, 16> lookups_{};
};

template <class Visit>
void ClippingGraph::for_each_segment(const Shape& shape, Visit&& visit) const {
  if (!shape.head) return;
  const SegId head = *shape.head;
  SegId cur = head;
  for (std::uint32_t step = 0; step < shape.len; ++step) {
    const Segment* seg = segment(cur);
    if (!seg) return;
    const SegId next = seg->next;
    visit(cur, *seg);
    cur = next;
    if (cur == head) return;
  }
}

// What a carve followed by the uncarve of the same circle restores: the
// same live segments under the same ids bit for bit, the same shapes, index
// and live count. Ignores the order of the free list, empty slots at the
// arena's end and the shape-id counter.
bool same_live_structure(const ClippingGraph& a, const ClippingGraph& b);

}  // namespace quelmar
