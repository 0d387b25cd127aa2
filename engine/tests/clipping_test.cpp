#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "clipping/clipping_graph.hpp"
#include "clipping/graph_validation.hpp"
#include "geometry/angles.hpp"

using namespace quelmar;

namespace {

const EdgeGeometry LEFT_EDGE{0, 18.0};

// Side 0 of a board of 18 cut at y = 1, 5, 9, 17, plus a circle about
// (2, 9) with two vertices; the edge's piece from 5 to 9 is covered by it.
struct Fixture {
  ClippingGraph g;
  ShapeId edge = g.alloc_shape(LEFT_EDGE);
  ShapeId circle = g.alloc_shape(CircleGeometry{{2.0, 9.0}, 2.0});
  std::vector<SegId> edge_ids;
  std::vector<SegId> circle_ids;

  Fixture() {
    for (double y : {1.0, 5.0, 9.0, 17.0}) edge_ids.push_back(*g.insert_or_get_existing(edge, {1.0, y}));
    circle_ids.push_back(*g.insert_or_get_existing(circle, {4.0, 9.0}));
    circle_ids.push_back(*g.insert_or_get_existing(circle, {0.0, 9.0}));
    g.add_cover(edge_ids[1], circle);
  }
  Segment& seg(SegId id) { return *g.debug_mutable_arena()[id]; }
};

std::string check_text(const ClippingGraph& g) {
  std::optional<StructureError> e = check_clipping_graph(g);
  return e ? e->message() : "ok";
}

}  // namespace

TEST(ClippingGraph, InsertingIntoAnEmptyOutlineMakesOneSelfLinkedSegment) {
  ClippingGraph g;
  ShapeId c = g.alloc_shape(CircleGeometry{{5, 5}, 2});
  EXPECT_EQ(c, 0u);
  EXPECT_TRUE(g.node_ids(c).empty());
  SegId s = *g.insert_or_get_existing(c, {7, 5});
  const Segment& seg = *g.segment(s);
  EXPECT_EQ(seg.next, s);
  EXPECT_EQ(seg.prev, s);
  EXPECT_EQ(g.shape(c)->len, 1u);
  EXPECT_EQ(g.shape(c)->head, s);
  // A single segment spans a zero-length arc.
  Span span = *g.segment_span(s);
  ASSERT_TRUE(span.is_arc);
  EXPECT_EQ(span.arc.start, span.arc.end);
  EXPECT_FALSE(g.insert_or_get_existing(c + 1, {0, 0}));  // no such shape
}

TEST(ClippingGraph, ExistingVertexIsReturnedAndNothingChanges) {
  Fixture f;
  ClippingGraph before = f.g;
  EXPECT_EQ(f.g.insert_or_get_existing(f.edge, {1.0, 9.0}), f.edge_ids[2]);
  EXPECT_TRUE(f.g == before);
  // -0.0 and 0.0 are one key: (0, 9) on the circle is its existing vertex.
  ClippingGraph h;
  ShapeId c = h.alloc_shape(CircleGeometry{{2, 9}, 2});
  SegId s = *h.insert_or_get_existing(c, {0.0, 9.0});
  EXPECT_EQ(h.insert_or_get_existing(c, {-0.0, 9.0}), s);
}

TEST(ClippingGraph, EdgeLineGrowsAtBothEndsAndSplitsInside) {
  Fixture f;
  // Beyond the last vertex: appended after it, inheriting its covers.
  SegId tail = *f.g.insert_or_get_existing(f.edge, {1.0, 20.0});
  // Below the first: becomes the head, with nothing inherited.
  f.g.add_cover(f.edge_ids[3], f.circle);
  SegId head = *f.g.insert_or_get_existing(f.edge, {1.0, -3.0});
  // Inside the covered piece from 5 to 9: the split inherits the cover.
  SegId mid = *f.g.insert_or_get_existing(f.edge, {1.0, 6.0});
  std::vector<SegId> expect{head, f.edge_ids[0], f.edge_ids[1], mid, f.edge_ids[2], f.edge_ids[3], tail};
  EXPECT_EQ(f.g.node_ids(f.edge), expect);
  EXPECT_EQ(f.g.shape(f.edge)->head, head);
  EXPECT_TRUE(f.g.segment(head)->covered_by.empty());
  EXPECT_TRUE(f.g.segment(mid)->covered_by.contains(f.circle));
  EXPECT_FALSE(f.g.segment(tail)->covered_by.contains(f.circle));  // inserted before the cover
  EXPECT_EQ(check_text(f.g), "ok");
}

TEST(ClippingGraph, SplittingAnEdgeNeverSplitsTheClosingSegment) {
  Fixture f;
  // 20 lies past the last vertex, not inside the closing piece 17 → 1.
  SegId s = *f.g.insert_or_get_existing(f.edge, {1.0, 20.0});
  EXPECT_EQ(f.g.segment(f.edge_ids[3])->next, s);
  EXPECT_EQ(f.g.segment(s)->next, f.edge_ids[0]);
}

TEST(ClippingGraph, CircleSplitsTheWrappingSegment) {
  ClippingGraph g;
  ShapeId c = g.alloc_shape(CircleGeometry{{0, 0}, 2});
  SegId a = *g.insert_or_get_existing(c, {0, 2});   // π/2
  SegId b = *g.insert_or_get_existing(c, {0, -2});  // 3π/2
  SegId w = *g.insert_or_get_existing(c, {2, 0});   // 0: inside 3π/2 → π/2
  EXPECT_EQ(g.node_ids(c), (std::vector<SegId>{a, b, w}));
  EXPECT_EQ(check_text(g), "ok");
}

TEST(ClippingGraph, DeletingRecyclesIdsAndFixesTheList) {
  Fixture f;
  f.g.delete_segment(f.edge_ids[0]);  // the head
  EXPECT_EQ(f.g.shape(f.edge)->head, f.edge_ids[1]);
  EXPECT_EQ(f.g.shape(f.edge)->len, 3u);
  EXPECT_EQ(f.g.live_count(), 5u);
  EXPECT_EQ(check_text(f.g), "ok");
  ClippingGraph before = f.g;
  f.g.delete_segment(f.edge_ids[0]);  // now an empty slot
  f.g.delete_segment(999);            // out of range
  EXPECT_TRUE(f.g == before);
  // The next push takes the most recently freed id.
  EXPECT_EQ(f.g.push_segment(f.edge, std::nullopt, {1, 3}, 3.0), f.edge_ids[0]);

  ClippingGraph g;
  ShapeId c = g.alloc_shape(CircleGeometry{{5, 5}, 2});
  SegId only = *g.insert_or_get_existing(c, {7, 5});
  g.delete_segment(only);
  EXPECT_FALSE(g.shape(c)->head);
  EXPECT_EQ(g.shape(c)->len, 0u);
  EXPECT_TRUE(g.shared_starts().empty());
}

TEST(ClippingGraph, SpansRebuildEdgePointsFromOffsets) {
  ClippingGraph g;
  ShapeId e = g.alloc_shape(EdgeGeometry{2, 18.0});  // x = 17, offset 18 − y
  SegId a = *g.insert_or_get_existing(e, {17.0, 17.0});
  ASSERT_TRUE(g.insert_or_get_existing(e, {17.0, 1.0}));
  Span span = *g.segment_span(a);
  ASSERT_FALSE(span.is_arc);
  EXPECT_EQ(span.line.a, (Point{17.0, 17.0}));
  EXPECT_EQ(span.line.b, (Point{17.0, 1.0}));
  EXPECT_FALSE(g.segment_span(77));
}

TEST(ClippingGraph, EqualityIsBitForBit) {
  Fixture f;
  ClippingGraph other = f.g;
  EXPECT_TRUE(other == f.g);
  other.debug_mutable_arena()[f.edge_ids[1]]->offset = std::nextafter(5.0, 6.0);
  EXPECT_FALSE(other == f.g);
  ClippingGraph counter = f.g;
  counter.debug_mutable_next_shape_id() += 1;
  EXPECT_FALSE(counter == f.g);
  EXPECT_TRUE(same_live_structure(counter, f.g));
}

// Each corruption against the message the check reports for it.
TEST(StructureError, EachCorruptionIsNamed) {
  struct Case {
    const char* text;
    std::function<void(Fixture&)> corrupt;
  };
  const std::vector<Case> cases = {
      {"shape ShapeId(0) links to segment SegId(99), which is not in the arena",
       [](Fixture& f) { f.g.debug_mutable_shapes()[f.edge].head = 99; }},
      {"segment SegId(1) is in shape ShapeId(0)'s list but belongs to ShapeId(1)",
       [](Fixture& f) { f.seg(f.edge_ids[1]).shape = f.circle; }},
      {"segments SegId(1) and SegId(2) do not agree about the link between them",
       [](Fixture& f) { f.seg(f.edge_ids[2]).prev = f.edge_ids[0]; }},
      {"walking shape ShapeId(0)'s list did not return to its head within 2 segments",
       [](Fixture& f) { f.g.debug_mutable_shapes()[f.edge].len = 2; }},
      {"shape ShapeId(0) records 6 segments but its list holds 4",
       [](Fixture& f) { f.g.debug_mutable_shapes()[f.edge].len = 6; }},
      {"segment SegId(2)'s offset is not the offset of its start point",
       [](Fixture& f) { f.seg(f.edge_ids[2]).offset = std::nextafter(9.0, 0.0); }},
      {"segment SegId(0) is not indexed under the point it starts at",
       [](Fixture& f) { f.g.debug_mutable_starts()[PointKey::from({1.0, 1.0})].clear(); }},
      {"the shared-start index refers to segment SegId(42), which is not in the arena",
       [](Fixture& f) { f.g.debug_mutable_starts()[PointKey::from({30.0, 30.0})] = {42}; }},
      {"segment SegId(3) is indexed under a point it does not start at",
       [](Fixture& f) { f.g.debug_mutable_starts()[PointKey::from({30.0, 30.0})] = {f.edge_ids[3]}; }},
      {"the shared-start index lists segment SegId(3) twice under one point",
       [](Fixture& f) { f.g.debug_mutable_starts()[PointKey::from({1.0, 17.0})].push_back(f.edge_ids[3]); }},
      {"the shared-start index holds a point with no segments",
       [](Fixture& f) { f.g.debug_mutable_starts()[PointKey::from({30.0, 30.0})]; }},
      {"segment SegId(6) is alive but no shape's list reaches it",
       [](Fixture& f) { f.g.push_segment(f.edge, std::nullopt, {1.0, 3.0}, 3.0); }},
      {"the shared-start index holds 6 segments but 7 are alive",
       [](Fixture& f) { f.g.debug_mutable_live_count() += 1; }},
      {"segment SegId(1) is covered by shape ShapeId(9), which no longer exists",
       [](Fixture& f) { f.g.add_cover(f.edge_ids[1], 9); }},
      {"shape ShapeId(1) covers part of its own outline",
       [](Fixture& f) { f.g.add_cover(f.circle_ids[0], f.circle); }},
  };
  for (const Case& c : cases) {
    Fixture f;
    ASSERT_EQ(check_text(f.g), "ok");
    c.corrupt(f);
    EXPECT_EQ(check_text(f.g), c.text);
  }
}

TEST(StructureError, OffsetsOutOfOrderOnAnOpenShape) {
  ClippingGraph g;
  ShapeId e = g.alloc_shape(LEFT_EDGE);
  std::vector<SegId> ids;
  for (double y : {5.0, 17.0, 1.0}) ids.push_back(g.push_segment(e, std::nullopt, {1.0, y}, y));
  g.link_after(ids[0], ids[1]);
  g.link_after(ids[1], ids[2]);
  g.debug_mutable_shapes()[e].head = ids[0];
  g.debug_mutable_shapes()[e].len = 3;
  // One descent, but not on the step back to the head: fine for a circle,
  // not for an open line.
  EXPECT_EQ(check_text(g), "shape ShapeId(0)'s segment offsets are not in order");
  g.debug_mutable_shapes()[e].open = false;
  EXPECT_EQ(check_text(g), "ok");
  g.debug_mutable_shapes()[e].open = true;
  g.debug_mutable_shapes()[e].head = ids[2];
  EXPECT_EQ(check_text(g), "ok");
  // Two descents are out of order for any shape.
}

TEST(StructureError, TwoDescentsAreOutOfOrderForACircle) {
  ClippingGraph g;
  ShapeId c = g.alloc_shape(CircleGeometry{{0, 0}, 2});
  std::vector<SegId> ids;
  for (Point p : {Point{2, 0}, Point{-2, 0}, Point{0, 2}}) ids.push_back(g.push_segment(c, std::nullopt, p, normalize_angle(p)));
  g.link_after(ids[0], ids[1]);
  g.link_after(ids[1], ids[2]);
  g.debug_mutable_shapes()[c].head = ids[0];
  g.debug_mutable_shapes()[c].len = 3;
  EXPECT_EQ(check_text(g), "shape ShapeId(0)'s segment offsets are not in order");
}

// The per-segment checks before it (owner, links) make a second visit of a
// segment unreachable by corrupting links alone, so the message is pinned
// on a built error value.
TEST(StructureError, SegmentInTwoListsText) {
  StructureError e{StructureError::Kind::InSeveralLists};
  e.segment = 7;
  EXPECT_EQ(e.message(), "segment SegId(7) is in more than one shape's list");
}
