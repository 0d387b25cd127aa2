#pragma once
// Delaunay triangulation of a point set by an incremental sweep hull, held
// as flat index arrays with 32-bit half-edge ids.
//
// Half-edge e of triangle t = e / 3 runs from point triangles[e] to point
// triangles[next_halfedge(e)]; triangles are stored clockwise in a y-up
// frame. Topology-changing signs (visibility, flips, point location) come
// from exact predicates, so lattices, collinear rows and duplicates are
// ordinary input.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "geometry/point.hpp"
#include "result.hpp"

namespace quelmar {

struct Triangulation {
  static constexpr std::uint32_t NONE = 0xFFFFFFFFu;

  // Three point indices per triangle, clockwise (y-up).
  std::vector<std::uint32_t> triangles;
  // Twin of each half-edge: halfedges[halfedges[e]] == e, or NONE on the hull.
  std::vector<std::uint32_t> halfedges;
  // Per input point one half-edge ending at it (the hull edge for a hull
  // point, else the lowest-numbered), or NONE for a point left out.
  std::vector<std::uint32_t> inedges;

  std::size_t triangle_count() const { return triangles.size() / 3; }
};

inline std::uint32_t next_halfedge(std::uint32_t e) { return e % 3 == 2 ? e - 2 : e + 1; }
inline std::uint32_t prev_halfedge(std::uint32_t e) { return e % 3 == 0 ? e + 2 : e - 1; }

enum class TriangulationError : std::uint8_t {
  TooFewPoints,   // fewer than 3 points with finite coordinates
  Collinear,      // every usable point lies on one line
  TooManyPoints,  // half-edge ids would not fit in 32 bits
  Inconsistent,   // predicates contradicted each other (overflow, underflow)
};

// The circumcentre of a, b, c in this operand order; (0, 0) when the
// determinant or either squared edge length from a is exactly 0.
Point circumcentre(Point a, Point b, Point c);

// The same arithmetic inline, for loops over every triangle. A NaN's bits
// depend on the operand order the compiled code picks, so where this
// answers a NaN the caller asks circumcentre, the code answers were fixed
// with; any other answer is the same bits either way.
inline Point circumcentre_inline(Point a, Point b, Point c) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double ex = c.x - a.x, ey = c.y - a.y;
  const double bl = dx * dx + dy * dy;
  const double cl = ex * ex + ey * ey;
  const double det = dx * ey - dy * ex;
  if ((det == 0.0) | (bl == 0.0) | (cl == 0.0)) return {0.0, 0.0};
  const double k = 0.5 / det;
  return {a.x + (ey * bl - dy * cl) * k, a.y + (dx * cl - ex * bl) * k};
}

// Reusable sweep-hull triangulator: its buffers survive between calls, so a
// caller that triangulates often allocates only while inputs grow.
class Triangulator {
 public:
  // Triangulates `points`. Points with a non-finite coordinate, exact
  // duplicates and points within 2^-51 of the one swept before them are left
  // out (inedges NONE). On success triangulation() holds the answer; on
  // failure it is empty.
  Status<TriangulationError> run(std::span<const Point> points);
  const Triangulation& triangulation() const { return out_; }

 private:
  struct SortKey {
    double dist;
    std::uint32_t index;
  };

  Status<TriangulationError> prepare(std::span<const Point> points);
  Status<TriangulationError> choose_seeds();
  void sort_by_distance();
  void radix_sort_by_distance();
  void store_in_sweep_order();
  void start_hull();
  void sweep();
  void insert(std::uint32_t i);
  std::uint32_t hull_vertex_near(Point p) const;
  std::uint32_t visible_edge(Point p, std::uint32_t start) const;
  void add_fan(std::uint32_t i, std::uint32_t e, bool walk_back);
  void insert_inside(std::uint32_t i, std::uint32_t hull_vertex);
  std::uint32_t locate(Point p, std::uint32_t start_triangle);
  void split_triangle(std::uint32_t t, std::uint32_t i);
  void split_hull_edge(std::uint32_t e, std::uint32_t i);
  void split_inner_edge(std::uint32_t e, std::uint32_t i);
  std::uint32_t add_triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t ab,
                             std::uint32_t bc, std::uint32_t ca);
  void link(std::uint32_t a, std::uint32_t b);
  std::uint32_t legalize(std::uint32_t a);
  void move_hull_reference(std::uint32_t from, std::uint32_t to);
  std::uint32_t hash_key(Point p) const;
  void finish(std::size_t point_count);

  std::span<const Point> pts_;      // the points, possibly rescaled; only during run()
  std::vector<Point> scaled_;       // rescaled copy when magnitudes are extreme
  std::vector<Point> sorted_;       // the usable points in sweep order
  std::vector<std::uint8_t> usable_;
  std::vector<SortKey> order_, order_spare_;
  std::vector<std::uint32_t> radix_count_;
  // Advancing hull, clockwise (y-up): a ring by point index. A vertex n
  // taken off the hull has hull_next_[n] == n. hull_tri_[v] is the hull
  // half-edge running from v to hull_next_[v].
  std::vector<std::uint32_t> hull_prev_, hull_next_, hull_tri_, hull_hash_;
  std::vector<std::uint32_t> edge_stack_;
  Triangulation out_;
  std::uint32_t i0_ = 0, i1_ = 0, i2_ = 0;  // seeds: input indices, then sweep places
  std::uint32_t s0_ = 0, s1_ = 0, s2_ = 0;
  std::size_t point_count_ = 0;
  std::uint32_t hull_start_ = 0;
  std::uint32_t hull_size_ = 0;
  std::uint32_t hash_size_ = 1;
  std::uint32_t edge_count_ = 0;   // half-edges in use
  std::uint32_t inserted_ = 0;     // points in the triangulation so far
  std::int64_t flip_budget_ = 0;   // flips left for the current insertion
  bool inconsistent_ = false;
  Point centre_;
  double skip_distance_ = 0.0;     // 2^-51 in the units of pts_
  Point bbox_min_, bbox_max_;
};

// A one-off triangulation with a fresh triangulator.
Result<Triangulation, TriangulationError> triangulate(std::span<const Point> points);

enum class TriangulationFault : std::uint8_t {
  BadSizes,        // array lengths disagree
  IndexOutOfRange, // a point or half-edge index past its array
  Unpaired,        // twin of a twin is not the half-edge, or ends disagree
  NotClockwise,    // a triangle is not strictly clockwise (y-up)
  NotDelaunay,     // an interior edge fails the empty-circle test
  BadInedge,       // an inedges entry does not end at its point
  MissingInedge,   // a point in some triangle has no inedges entry
  NotPlanar,       // triangle, point and hull counts break Euler's formula
};

// Checks the triangulation of `points` from scratch, with exact predicates:
// twins pair up, every triangle is clockwise, every interior edge is locally
// Delaunay (so the whole is Delaunay), inedges match, Euler's formula holds.
std::optional<TriangulationFault> validate_triangulation(std::span<const Point> points,
                                                         const Triangulation& t);

}  // namespace quelmar
