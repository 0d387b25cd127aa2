#pragma once
// The raw material of territory: one Voronoi vertex per Delaunay triangle,
// the turn of every half-edge round the point it ends at and, per stone,
// the closed cycle of Voronoi edges around it, each edge labelled with the
// point on its far side.

#include <cstdint>
#include <span>
#include <vector>

#include "geometry/point.hpp"
#include "voronoi/triangulation.hpp"

namespace quelmar {

// Voronoi edge from vertex `from` to vertex `to` (triangle numbers), with
// point `neighbour` (a stone, or a sentinel when >= the stone count) beyond.
struct CellEdge {
  std::uint32_t from = 0;
  std::uint32_t to = 0;
  std::uint32_t neighbour = 0;
};

struct Topology {
  std::vector<Point> centres;  // circumcentre of every triangle, by number
  // Per triangle the board lines its centre lies beyond
  // (clip_lines::beyond_lines): 0 when the centre is on the board.
  std::vector<std::uint8_t> beyond;
  // Per half-edge h, the next half-edge ending where h ends, counter-
  // clockwise (y-up): the twin of h's next half-edge, NONE on the hull.
  // Following it from a point's incoming half-edge walks the point's cell,
  // one load per step. All NONE when the triangulation's arrays disagree
  // in length.
  std::vector<std::uint32_t> turn;
  // Per half-edge h, the twin of h's previous half-edge: the half-edge
  // from where h starts to the third corner of h's triangle, on the far
  // side of that corner's edge; NONE on the hull. With turn it steps a
  // group boundary in two independent loads.
  std::vector<std::uint32_t> third;
  // Every stone's cell, concatenated in stone order: cell j is
  // edges[cell_start[j] .. cell_start[j + 1]), counter-clockwise (y-up),
  // edge l running from the cell's vertex l to its vertex l + 1. Entries
  // past cell_start.back() are scratch: the buffer only grows. Filled by
  // build_cells only.
  std::vector<CellEdge> edges;
  std::vector<std::uint32_t> cell_start;  // stone count + 1 offsets
  double board_size = 0.0;

  std::size_t stone_count() const { return cell_start.empty() ? 0 : cell_start.size() - 1; }
  std::size_t edge_count() const { return cell_start.empty() ? 0 : cell_start.back(); }
  std::span<const CellEdge> cell(std::size_t j) const {
    return std::span<const CellEdge>(edges).subspan(cell_start[j], cell_start[j + 1] - cell_start[j]);
  }
};

// Fills the centres, their board lines, the turns, the thirds and the
// board size of `out` from the triangulation of `points`; leaves the cells
// alone.
void build_vertices(std::span<const Point> points, const Triangulation& t, double board_size,
                    Topology& out);

// Fills the cells of `out` (whose turns build_vertices made from `t`) for
// the first `stone_count` points. A stone left out of the triangulation,
// or whose walk round its triangles does not close, gets an empty cell.
void build_cells(const Triangulation& t, std::size_t stone_count, Topology& out);

// Both of the above: the whole topology of `points`, whose first
// `stone_count` entries are the stones.
void build_topology(std::span<const Point> points, std::size_t stone_count,
                    const Triangulation& t, double board_size, Topology& out);

}  // namespace quelmar
