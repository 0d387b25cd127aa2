#pragma once
// The groups of the partition traced straight from the triangulation, the
// route Voronoi::build takes on ordinary input.
//
// The search that numbers the groups walks each stone's cell once, by the
// turns of the topology, and keeps the group's cell edges in the order
// merge_groups meets them (members in search order, each cell in order).
// A Voronoi vertex on a group's boundary is a triangle with corners both
// in and out of the group, and exactly one of its half-edges runs from a
// corner in to a corner out: the boundary edge leaving that vertex. So a
// ring is traced one triangle at a time, the next boundary edge found from
// the third corner of the triangle the last one enters, with no adjacency
// built. The search also counts the group's boundary edges (cell edges
// less twice the pairs of members that meet), so the kept cell edges are
// scanned for ring starts only until every boundary edge has been traced:
// for most groups that is the first boundary edge of the first stone.
//
// Ordinary input is input where every stone in the triangulation has a
// closed cell and stone ids strictly ascend; then every group boundary is a
// set of disjoint simple cycles, and tracing each cycle from the first of
// its edges that merge_groups would add, in their own direction, gives the
// rings merge_groups gives. On anything else (a walk that does not close,
// a ring shorter than three) the tracer declines and the caller merges the
// general way.

#include <cstdint>
#include <span>
#include <vector>

#include "game/stone.hpp"
#include "geometry/point.hpp"
#include "voronoi/ring_clipper.hpp"
#include "voronoi/topology.hpp"
#include "voronoi/triangulation.hpp"
#include "voronoi/voronoi.hpp"

namespace quelmar {

// Working storage of trace_groups, kept by a caller that builds often so
// the buffers are allocated only while inputs grow. Contents are scratch.
struct GroupTracer {
  // A group as searched: its colour, its stone count and its kept rings,
  // ring_order[first_ring .. first_ring + rings).
  struct Traced {
    Color color = Color::Black;
    std::uint32_t stones = 0;
    std::uint32_t first_ring = 0;
    std::uint32_t rings = 0;
  };
  // Per point while unlabelled its Color, or SENTINEL; once labelled,
  // LABELLED + its group number. One load answers both questions the
  // search asks of a neighbour.
  std::vector<std::uint32_t> state;
  std::vector<std::uint32_t> stack;
  // The group being searched: per cell edge, members in search order and
  // each cell in order, the half-edge into the member from the point
  // beyond.
  std::vector<std::uint32_t> steps;
  // Per half-edge the mark of the last group whose ring took it. Marks
  // only grow from build to build (next_mark), so none is ever cleared.
  std::vector<std::uint32_t> traced;
  std::uint32_t next_mark = 1;
  std::vector<std::uint32_t> ring_edge;    // the cycle being traced: its edges
  std::vector<Point> ring;                 // and their centres
  std::vector<std::uint8_t> ring_beyond;   // its points' board lines, as Topology::beyond
  std::vector<Point> ring_points;          // every kept ring, clipped and open, end to end
  std::vector<std::uint32_t> ring_start;   // ring count + 1 offsets into ring_points
  std::vector<std::uint32_t> ring_order;   // per group its rings, ordered by area
  std::vector<double> areas;
  std::vector<Traced> groups;
  std::vector<VoronoiGroup*> slot;         // per group: where it is filed
  RingClipper clipper;
};

// Fills `out` with the groups of `stones` (ascending id; index = point
// index of `t` and `topology`, whose vertices and turns build_vertices made
// from the stones and the sentinels after them), exactly as merge_groups
// followed by filing each group by colour would. False, with `out` empty,
// on input that is not ordinary. The topology's cells are not used.
bool trace_groups(std::span<const Stone> stones, const Triangulation& t, const Topology& topology,
                  GroupTracer& scratch, Voronoi& out);

}  // namespace quelmar
