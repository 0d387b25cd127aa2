#pragma once
// A uniform grid over the board that files every dead-zone circle by its
// centre, so that the alive zone's questions visit only the circles that can
// change their answer. The grid only prunes: whoever asks still computes
// every answer from the clipping graph with the arithmetic of the plain
// scan, and keeps any order that can reach an answer. Where its bounds
// cannot be trusted (a board size too small, too large or not finite, a
// point far off the board, a circle of another radius), the index says so
// and the caller scans everything.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "clipping/ids.hpp"
#include "clipping/clipping_graph.hpp"
#include "clipping/shape.hpp"
#include "geometry/point.hpp"

namespace quelmar {

// An axis-aligned box, bounds inclusive.
struct Box {
  double x0 = 0.0;
  double y0 = 0.0;
  double x1 = 0.0;
  double y1 = 0.0;

  static Box of_point(Point p) { return {p.x, p.y, p.x, p.y}; }
  static Box of_segment(Point a, Point b) {
    return {a.x < b.x ? a.x : b.x, a.y < b.y ? a.y : b.y, a.x < b.x ? b.x : a.x, a.y < b.y ? b.y : a.y};
  }
  // The smallest box holding every point; a NaN coordinate leaves a box
  // that `ShapeIndex::tame` refuses.
  static Box of_points(const std::vector<Point>& points);

  // Holds nothing; joining it to a box gives that box.
  static Box empty() {
    const double inf = std::numeric_limits<double>::infinity();
    return {inf, inf, -inf, -inf};
  }
  Box joined(const Box& o) const {
    return {x0 < o.x0 ? x0 : o.x0, y0 < o.y0 ? y0 : o.y0, x1 > o.x1 ? x1 : o.x1, y1 > o.y1 ? y1 : o.y1};
  }
  bool meets(const Box& o) const { return x0 <= o.x1 && o.x0 <= x1 && y0 <= o.y1 && o.y0 <= y1; }
  Box grown(double by) const { return {x0 - by, y0 - by, x1 + by, y1 + by}; }
  bool contains(Point p) const { return x0 <= p.x && p.x <= x1 && y0 <= p.y && p.y <= y1; }
  // Whether the disc of radius r about c reaches into the box.
  bool meets_square_of(Point c, double r) const {
    return c.x + r >= x0 && c.x - r <= x1 && c.y + r >= y0 && c.y - r <= y1;
  }
};

// A circle as the grid files it: the shape's id and its geometry, copied
// bit for bit so that answers computed from it equal the graph's, and two
// marks that the zone refreshes whenever a carve or uncarve touches the
// circle's outline.
struct FiledCircle {
  Point centre;
  double radius = 0.0;
  ShapeId id = 0;
  // Some piece of the outline is exposed (boundary of the alive zone).
  bool exposed = false;
  // The outline has fewer than two segments: the circle counts as whole.
  bool whole = true;
  // Holds every point the circle offers the boundary questions: its whole
  // disc's box when whole, else its exposed pieces (empty when none).
  Box reach = Box::empty();
};

// How far apart two boxes are at the least; 0 when they meet.
inline double box_gap(const Box& a, const Box& b) {
  const double dx = std::max({0.0, a.x0 - b.x1, b.x0 - a.x1});
  const double dy = std::max({0.0, a.y0 - b.y1, b.y0 - a.y1});
  return std::sqrt(dx * dx + dy * dy);
}

// Which cells a visit looks into: all of them, or only those holding a
// circle with an exposed piece, or one that is exposed or whole (so that
// it offers closest_point a point). Circles of other cells are not
// visited; those of the cells looked into all are.
enum class Cells { All, Exposed, Offering };

class ShapeIndex {
 public:
  // The largest radius a gridded circle may have; every dead zone has it.
  static constexpr double MAX_RADIUS = STONE_DIAMETER;

  // A disabled index: every question falls back to the plain scan.
  ShapeIndex() = default;
  // A grid of cells about 2.5 wide over [0, S]², or a disabled index when S
  // is not a finite size between 1 and 1e6.
  explicit ShapeIndex(double board_size);

  bool enabled() const { return cells_ > 0; }
  // Drops the grid for good; used when the graph is edited behind the
  // zone's back and the grid can no longer mirror it.
  void disable();

  // Files a shape just allocated in the graph: a circle of radius at most
  // MAX_RADIUS with a tame centre goes into the grid, anything else into
  // the list every question scans. Ids must arrive in ascending order.
  void file(ShapeId id, const ShapeGeometry& geometry);
  // Room to file one more shape of this geometry without allocating;
  // throws std::bad_alloc with nothing changed.
  void reserve_for(const ShapeGeometry& geometry);
  // Takes a filed shape out again; no effect when it is not filed. Never
  // allocates.
  void unfile(ShapeId id, const ShapeGeometry& geometry);
  // Sets the marks of a gridded circle; no effect on any other shape.
  void mark(ShapeId id, const ShapeGeometry& geometry, bool exposed, bool whole, const Box& reach);
  // The gridded circle filed under this id and geometry, or null.
  const FiledCircle* find(ShapeId id, const ShapeGeometry& geometry) const;

  // Whether bounds computed about this point or box can be trusted: the
  // index is enabled and every coordinate is finite and within reach.
  bool tame(Point p) const { return enabled() && within_reach(p.x) && within_reach(p.y); }
  bool tame(const Box& b) const {
    return enabled() && within_reach(b.x0) && within_reach(b.y0) && within_reach(b.x1) && within_reach(b.y1);
  }
  // A distance far beyond the rounding of any computation on tame values;
  // every pruning bound gives this much away.
  double slack() const { return slack_; }

  // The shapes outside the grid (edge lines and untamed circles) in
  // ascending id order.
  const std::vector<ShapeGeometryEntry>& ungridded() const { return ungridded_; }
  std::size_t gridded_count() const;

  // Calls visit(circle) for every gridded circle whose centre may lie in
  // the box (a superset, in no particular order) until visit answers false.
  // Answers whether every call answered true. The box must be tame.
  template <class Visit>
  bool for_each_near(const Box& box, Visit&& visit, Cells which = Cells::All) const;

  // Visits the gridded circles in rings of cells round the box, nearest
  // rings first, calling visit(circle) (false stops everything) and, after
  // each ring, enough(bound): every circle not yet visited has its centre
  // farther than `bound` from the box (+∞ once all are visited). The search
  // ends when enough answers true or nothing is left. The box must be tame.
  template <class Visit, class Enough>
  void search_outward(const Box& box, Visit&& visit, Enough&& enough, Cells which = Cells::All) const;

  // The structure bit for bit, for tests that compare an incrementally
  // kept index with one filed from scratch.
  friend bool operator==(const ShapeIndex& a, const ShapeIndex& b);

 private:
  bool within_reach(double v) const { return -reach_ <= v && v <= reach_; }
  std::size_t cell_of(double v) const;
  // The cell of a circle the grid holds, or none for any other shape.
  std::optional<std::size_t> cell_for(const ShapeGeometry& geometry) const;
  // The filed circle of that cell under `id`, or null.
  FiledCircle* find_in(std::size_t cell, ShapeId id);
  template <class Visit>
  bool visit_cells(std::size_t cx0, std::size_t cy0, std::size_t cx1, std::size_t cy1, Visit& visit,
                   Cells which) const;
  bool wanted(std::size_t cell, Cells which) const {
    return which == Cells::Exposed ? exposed_[cell] != 0 : exposed_[cell] + whole_[cell] != 0;
  }
  // Moves a circle's marks into or out of its cell's counts.
  void count_marks(std::size_t cell, const FiledCircle& f, int sign);
  // Lays the array out afresh, the overflow filed into its cells, with
  // SPARE free slots after the circles of every cell that holds any.
  void regrow();
  std::size_t room(std::size_t cell) const { return start_[cell + 1] - start_[cell] - used_[cell]; }
  std::size_t cell_of_filed(const FiledCircle& f) const { return cell_of(f.centre.y) * cells_ + cell_of(f.centre.x); }

  std::size_t cells_ = 0;  // per side; 0 when disabled
  double cell_size_ = 0.0;
  double inverse_cell_ = 0.0;
  double reach_ = 0.0;  // tame coordinates lie in [-reach, reach]
  double slack_ = 0.0;
  // Every gridded circle in one array, cell by cell in row-major order and
  // ascending by id within a cell; cell k's circles are filed_[start_[k]]
  // up to filed_[start_[k] + used_[k]], and its slots up to start_[k + 1]
  // are free, so that filing a circle (a probe's) and unfiling it moves
  // only its cell's circles. A circle whose cell has no free slot (an
  // empty cell has none) waits in overflow_, ascending by id, which every
  // visit also looks at; the array is relaid, overflow and all, when that
  // holds more than a few. One block to copy, a few more.
  std::vector<FiledCircle> filed_;
  std::vector<std::uint32_t> start_;  // cells_ × cells_ + 1 offsets
  std::vector<std::uint32_t> used_;   // per cell
  std::vector<FiledCircle> overflow_;
  // Per cell: how many of its circles are exposed, and how many whole.
  std::vector<std::uint32_t> exposed_;
  std::vector<std::uint32_t> whole_;
  std::vector<ShapeGeometryEntry> ungridded_;  // ascending id
};

inline std::size_t ShapeIndex::cell_of(double v) const {
  // Monotone in v, clamped: a centre off the grid files in its edge cell.
  const double c = std::floor(v * inverse_cell_);
  if (!(c > 0)) return 0;
  if (c >= static_cast<double>(cells_ - 1)) return cells_ - 1;
  return static_cast<std::size_t>(c);
}

template <class Visit>
bool ShapeIndex::visit_cells(std::size_t cx0, std::size_t cy0, std::size_t cx1, std::size_t cy1, Visit& visit,
                             Cells which) const {
  const FiledCircle* all = filed_.data();
  for (std::size_t cy = cy0; cy <= cy1; ++cy) {
    const std::size_t row = cy * cells_;
    for (std::size_t k = row + cx0; k <= row + cx1; ++k) {
      if (which != Cells::All && !wanted(k, which)) continue;
      for (const FiledCircle *c = all + start_[k], *end = c + used_[k]; c != end; ++c)
        if (!visit(*c)) return false;
    }
  }
  // The overflow's circles of these cells, as if filed there.
  for (const FiledCircle& c : overflow_) {
    const std::size_t cx = cell_of(c.centre.x), cy = cell_of(c.centre.y);
    if (cx < cx0 || cx > cx1 || cy < cy0 || cy > cy1) continue;
    if (which == Cells::Exposed && !c.exposed) continue;
    if (which == Cells::Offering && !c.exposed && !c.whole) continue;
    if (!visit(c)) return false;
  }
  return true;
}

template <class Visit>
bool ShapeIndex::for_each_near(const Box& box, Visit&& visit, Cells which) const {
  const Box b = box.grown(slack_);
  return visit_cells(cell_of(b.x0), cell_of(b.y0), cell_of(b.x1), cell_of(b.y1), visit, which);
}

template <class Visit, class Enough>
void ShapeIndex::search_outward(const Box& box, Visit&& visit, Enough&& enough, Cells which) const {
  const std::size_t bx0 = cell_of(box.x0), by0 = cell_of(box.y0);
  const std::size_t bx1 = cell_of(box.x1), by1 = cell_of(box.y1);
  const std::size_t last = cells_ - 1;
  for (std::size_t k = 0; k <= cells_; ++k) {
    // Ring k: the cells at Chebyshev distance k from the box's own cells.
    const std::size_t x0 = bx0 >= k ? bx0 - k : 0, y0 = by0 >= k ? by0 - k : 0;
    const std::size_t x1 = bx1 + k <= last ? bx1 + k : last, y1 = by1 + k <= last ? by1 + k : last;
    if (k == 0) {
      if (!visit_cells(x0, y0, x1, y1, visit, which)) return;
    } else {
      if (bx0 >= k && !visit_cells(x0, y0, x0, y1, visit, which)) return;
      if (bx1 + k <= last && !visit_cells(x1, y0, x1, y1, visit, which)) return;
      const std::size_t ix0 = bx0 >= k ? x0 + 1 : x0, ix1 = bx1 + k <= last ? x1 - 1 : x1;
      if (ix0 <= ix1) {
        if (by0 >= k && !visit_cells(ix0, y0, ix1, y0, visit, which)) return;
        if (by1 + k <= last && !visit_cells(ix0, y1, ix1, y1, visit, which)) return;
      }
    }
    const bool all = x0 == 0 && y0 == 0 && x1 == last && y1 == last;
    // A centre outside the window lies at least k whole cells beyond the
    // box's cells, less the rounding of the cell arithmetic.
    const double bound = all ? std::numeric_limits<double>::infinity()
                             : static_cast<double>(k) * cell_size_ - slack_;
    if (enough(bound) || all) return;
  }
}

}  // namespace quelmar
