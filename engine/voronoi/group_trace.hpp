#pragma once
// The groups of the partition traced from the cells, the route
// Voronoi::build takes on ordinary input. Each boundary vertex of a group
// has exactly one boundary edge leaving it (a triangle has one half-edge
// running from a corner inside the group to one outside), so a group's
// boundary is one successor per vertex, kept in flat per-triangle arrays
// stamped with the group number: no adjacency lists, nothing cleared
// between groups, and every group's stones come out in id order unsorted.
//
// Ordinary input is input where every stone in the triangulation has a
// closed cell and stone ids strictly ascend; then every group boundary is a
// set of disjoint simple cycles, and tracing each cycle from the first of
// its edges that merge_groups would add, in their own direction, gives the
// rings merge_groups gives. On anything else (a vertex left twice, a walk
// that does not close) the tracer declines and the caller merges the
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
// the buffers are allocated only while inputs grow. Contents are scratch;
// per-triangle entries are group numbers, so no group clears them.
struct GroupTracer {
  std::vector<std::uint8_t> colour;        // per point: a Color, or SENTINEL
  std::vector<std::uint32_t> group;        // per point: group number, or none
  std::vector<std::uint32_t> members;      // stones of every group in search order
  std::vector<std::uint32_t> group_start;  // group count + 1 offsets into members
  std::vector<std::uint32_t> stack;
  std::vector<std::uint32_t> traced;       // per triangle: last group that traced it
  std::vector<std::uint32_t> out_group;    // per triangle: last group it bounds
  std::vector<std::uint32_t> out_to;       // per triangle: its successor there
  std::vector<std::uint32_t> order;        // boundary edge starts, in order
  std::vector<VoronoiGroup*> slot;         // per group: where it is filed
  std::vector<Point> ring;                 // the cycle being traced
  std::vector<std::uint8_t> ring_beyond;   // its points' board lines, as Topology::beyond
  RingClipper clipper;
};

// Fills `out` with the groups of `stones` (ascending id; index = point
// index of `t` and `topology`, which were built from the stones and the
// sentinels after them), exactly as merge_groups followed by filing each
// group by colour would. False, with `out` empty, on input that is not
// ordinary.
bool trace_groups(std::span<const Stone> stones, const Triangulation& t, const Topology& topology,
                  GroupTracer& scratch, Voronoi& out);

}  // namespace quelmar
