#pragma once
// A Delaunay triangulation kept across moves: points are inserted and
// removed one at a time, each change logged so that rolling back to a mark
// restores the mesh exactly. It holds the same conventions as Triangulation
// (half-edge e of triangle e / 3 runs from tri(e) to tri(next(e)),
// triangles clockwise in a y-up frame, twins paired or NONE on the hull),
// with triangle and vertex slots that are freed and reused.
//
// Every triangle also keeps its circumcentre and how far the other two
// rotations of the same arithmetic can land from it. The sweep triangulator
// stores each triangle in whichever rotation its sweep left it, and the
// partition computes the centre in that rotation; a centre computed here is
// thus within `spread` (in each coordinate) of the one the partition of the
// same triangle computes, whatever the sweep did.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "geometry/point.hpp"
#include "logged_vector.hpp"
#include "voronoi/triangulation.hpp"

namespace quelmar {

class DelaunayMesh {
 public:
  static constexpr std::uint32_t NONE = Triangulation::NONE;

  // What an insertion or a removal changed, for the caller's bookkeeping.
  struct Change {
    // Edges that no longer exist, as point pairs (insertion: the edges the
    // new point's cavity swallowed).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> lost;
    // Edges that did not exist before, other than those at a new point
    // (removal: the diagonals that fill the hole).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> made;
    // The points round the new point, or round the hole, counter-clockwise.
    std::vector<std::uint32_t> ring;
    // Some in-circle or orientation test along the way came out exactly 0:
    // cocircular points, whose triangulation another Delaunay
    // triangulator may choose differently.
    bool degenerate = false;
  };

  // The positions logged together, for rollback: one per logged vector.
  struct Mark {
    std::size_t tri, half, into, points, centre, spread, version, tie, free_tri, free_vertex;
  };

  // The triangulation of `points` by the sweep triangulator, with point i
  // as vertex i; `box` bounds where later points will be inserted, for the
  // grid of starting places. False (and an empty mesh) when the sweep fails
  // or leaves some point out.
  bool build(std::span<const Point> points, double box);

  // Inserts p as a new vertex and answers it; NONE, with nothing changed,
  // when p lies outside the mesh or on a vertex.
  std::uint32_t insert(Point p, Change& change);
  // Removes vertex v, which must be inside the hull, and fills its hole.
  void remove(std::uint32_t v, Change& change);

  Mark mark() const;
  // Takes back every change made since `m`. Never allocates.
  void rollback(const Mark& m) noexcept;
  // Forgets changes made before `m`; see LoggedVector::forget_before.
  void forget_before(const Mark& m);
  void clear_logs();

  // Vertex slots: live vertices have an incoming half-edge.
  std::size_t vertex_slots() const { return points_.size(); }
  bool live(std::uint32_t v) const { return v < into_.size() && into_[v] != NONE; }
  Point point(std::uint32_t v) const { return points_[v]; }
  // A half-edge ending at v.
  std::uint32_t into(std::uint32_t v) const { return into_[v]; }

  // Half-edges and triangles.
  std::size_t half_edge_slots() const { return tri_.size(); }
  std::uint32_t tri(std::uint32_t e) const { return tri_[e]; }
  std::uint32_t twin(std::uint32_t e) const { return half_[e]; }
  // The next half-edge ending where e ends, counter-clockwise (y-up); NONE
  // on the hull.
  std::uint32_t turn(std::uint32_t e) const { return half_[next_halfedge(e)]; }
  bool live_triangle(std::uint32_t t) const { return tri_[3 * t] != NONE; }
  Point centre(std::uint32_t t) const { return centre_[t]; }
  // How far (in each coordinate) the centre of t, computed in another
  // rotation, may lie from centre(t); +inf when some rotation is not finite.
  double spread(std::uint32_t t) const { return spread_[t]; }
  // The centres of t in its three rotations, the stored one first.
  std::array<Point, 3> rotated_centres(std::uint32_t t) const;
  // Whether every Delaunay triangulation holds t: no neighbour's far point
  // lies on its circumcircle. Kept per triangle: the tests that make and
  // change triangles meet every tie as it arises. Errs only towards false.
  bool unique(std::uint32_t t) const { return tie_[t] == 0; }
  // A number the slot's triangle has for as long as it stands; a slot
  // made anew gets a new one (rolling back restores the old).
  std::uint64_t version(std::uint32_t t) const { return version_[t]; }

  // The points adjacent to v, counter-clockwise.
  void neighbours(std::uint32_t v, std::vector<std::uint32_t>& out) const;

  // The same vertices, triangles, twins, centres and free slots, slot for
  // slot and bit for bit (logs aside).
  bool same_as(const DelaunayMesh& o) const;

  // Checks the whole structure from scratch: twins, clockwise triangles,
  // the empty-circle test on every inner edge, incoming half-edges, free
  // slots and stored centres. Answers the first fault found.
  std::optional<std::string> validate() const;

 private:
  std::uint32_t locate(Point p) const;
  std::uint32_t start_near(Point p) const;
  std::uint32_t new_triangle();
  void set_triangle(std::uint32_t t, std::uint32_t a, std::uint32_t b, std::uint32_t c);
  void renew(std::uint32_t t);
  void link(std::uint32_t a, std::uint32_t b);
  void split_triangle(std::uint32_t t, std::uint32_t p, Change& change);
  void split_edge(std::uint32_t e, std::uint32_t p, Change& change);
  void legalize(std::uint32_t a, Change& change);
  void finish_star(std::uint32_t p, std::uint32_t t, Change& change);
  void compute_centre(std::uint32_t t, Point& centre, double& spread) const;
  bool compute_unique(std::uint32_t t) const;
  void mark_tie(std::uint32_t t);
  void update_centre(std::uint32_t t);
  std::uint32_t new_vertex(Point p);
  void file_hint(std::uint32_t v);

  LoggedVector<std::uint32_t> tri_;    // three points per triangle slot; NONE in a free slot
  LoggedVector<std::uint32_t> half_;   // twin of each half-edge, or NONE on the hull
  LoggedVector<std::uint32_t> into_;   // per vertex slot a half-edge ending there; NONE when free
  LoggedVector<Point> points_;
  LoggedVector<Point> centre_;         // per triangle slot
  LoggedVector<double> spread_;        // per triangle slot
  LoggedVector<std::uint64_t> version_;  // per triangle slot
  LoggedVector<std::uint8_t> tie_;     // per triangle slot: 1 when some neighbour's far point is on its circle
  std::uint64_t next_version_ = 1;
  LoggedVector<std::uint32_t> free_tri_, free_vertex_;  // stacks of free slots
  std::vector<std::uint32_t> stack_;   // edges still to legalize; scratch
  std::vector<std::uint32_t> star_, polygon_, made_, outer_;  // a removal's hole; scratch
  std::uint32_t anchor_ = NONE;        // a vertex never removed (a sentinel), where walks start at worst
  // A coarse grid over the box of later insertions: per cell a vertex
  // inserted there lately, where a walk to a new point starts. A hint
  // only: rollbacks leave it, and a stale entry just starts a longer walk.
  std::vector<std::uint32_t> hints_;
  std::size_t hint_cells_ = 0;
  double hint_scale_ = 0.0;
};

}  // namespace quelmar
