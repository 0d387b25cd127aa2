#pragma once
// Merges same-colour Voronoi cells into groups and traces each group's
// boundary into rings clipped to the board.

#include <cstdint>
#include <span>
#include <vector>

#include "game/stone.hpp"
#include "geometry/point.hpp"
#include "voronoi/topology.hpp"
#include "voronoi/voronoi_group.hpp"

namespace quelmar {

// Whether the segment a -> b keeps a piece of positive length inside the
// closed square [0, s] x [0, s] (parametric clipping). An edge along the rim
// counts; one that only touches the square in a point does not.
bool edge_enters_board(Point a, Point b, double s);

// The partition's join test on the Voronoi edge from centre a to centre b,
// given how each lies beyond the board's lines (clip_lines::beyond_lines,
// 0 on the board): a piece of positive length on the board. Ends on the
// board are finite, so there numeric equality is PointKey equality.
inline bool centres_join(Point a, Point b, unsigned beyond_a, unsigned beyond_b, double s) {
  if ((beyond_a | beyond_b) == 0) return !(a.x == b.x && a.y == b.y);
  return !(a == b) && edge_enters_board(a, b, s);
}

// Clips `ring` in place to [0, s] x [0, s] against the left, right, bottom
// and top lines in turn. False (ring dropped) when fewer than 3 points are
// left before any pass or after the last. `scratch` is working storage.
bool clip_ring_to_board(std::vector<Point>& ring, double s, std::vector<Point>& scratch);

// Working storage of merge_groups; a caller that merges often keeps one so
// the buffers are allocated only while inputs grow. Contents are scratch.
struct GroupScratch {
  // A vertex index is a triangle, and only its own three Voronoi edges can
  // reach it, so a group boundary gives it at most three neighbours.
  struct Adjacency {
    std::uint32_t next[3];
    std::uint8_t count;
    std::uint8_t visited;
  };
  std::vector<std::uint32_t> component, members, stack;
  std::vector<Adjacency> adjacency;  // per vertex index
  std::vector<std::uint32_t> first_seen, ring;
  std::vector<Point> points, clip;
};

// The groups of `stones` (ascending id; index = point index of the
// topology), numbered by their lowest stone index. Two cells join across an
// edge whose ends differ and which enters the board.
std::vector<VoronoiGroup> merge_groups(std::span<const Stone> stones, const Topology& topology,
                                       GroupScratch& scratch);
std::vector<VoronoiGroup> merge_groups(std::span<const Stone> stones, const Topology& topology);

}  // namespace quelmar
