#include <algorithm>
#include <cmath>
#include <vector>

#include "voronoi/clip_lines.hpp"
#include "voronoi/group_merge.hpp"

namespace quelmar {

namespace {

using namespace clip_lines;

// Updates [t0, t1] for one axis of A + t (B - A); false when the segment
// runs parallel to this axis' slab and outside it.
bool clip_axis(double a, double b, double s, double& t0, double& t1) {
  const double d = b - a;
  if (d > 0.0) {
    const double lo = -a / d, hi = (s - a) / d;
    if (lo > t0) t0 = lo;
    if (hi < t1) t1 = hi;
  } else if (d < 0.0) {
    const double hi = -a / d, lo = (s - a) / d;
    if (hi < t1) t1 = hi;
    if (lo > t0) t0 = lo;
  } else if (a < 0.0 || s - a < 0.0) {
    return false;
  }
  return true;
}

template <Side S>
void clip_pass(const std::vector<Point>& in, double s, std::vector<Point>& out) {
  out.clear();
  Point prev = in.back();
  bool prev_in = inside<S>(prev, s);
  for (const Point cur : in) {
    const bool cur_in = inside<S>(cur, s);
    if (prev_in != cur_in) out.push_back(crossing<S>(prev, cur, s));
    if (cur_in) out.push_back(cur);
    prev = cur;
    prev_in = cur_in;
  }
}

// One pass, unless the ring's box says every point is inside the line: the
// pass would then copy the ring unchanged. Clipping only shrinks the box, so
// the box of the unclipped ring is a safe test for every pass.
template <Side S>
bool clip_side(std::vector<Point>& ring, double s, bool skip, std::vector<Point>& scratch) {
  if (ring.size() < 3) return false;
  if (skip) return true;
  clip_pass<S>(ring, s, scratch);
  ring.swap(scratch);
  return true;
}

}  // namespace

bool edge_enters_board(Point a, Point b, double s) {
  // Both ends on the board: the clipping below would keep all of [0, 1]
  // (rounding is monotonic, so (s - A) / d >= 1 whenever B <= s).
  if (a.x >= 0.0 && a.x <= s && a.y >= 0.0 && a.y <= s && b.x >= 0.0 && b.x <= s && b.y >= 0.0 &&
      b.y <= s)
    return true;
  double t0 = 0.0, t1 = 1.0;
  if (!clip_axis(a.x, b.x, s, t0, t1) || !clip_axis(a.y, b.y, s, t0, t1)) return false;
  return t1 > t0;
}

bool clip_ring_to_board(std::vector<Point>& ring, double s, std::vector<Point>& scratch) {
  if (ring.size() < 3) return false;
  double min_x = ring[0].x, max_x = ring[0].x, min_y = ring[0].y, max_y = ring[0].y;
  bool finite = true;
  for (const Point p : ring) {
    finite = finite && std::isfinite(p.x) && std::isfinite(p.y);
    min_x = std::min(min_x, p.x);
    max_x = std::max(max_x, p.x);
    min_y = std::min(min_y, p.y);
    max_y = std::max(max_y, p.y);
  }
  // Without a trustworthy box every pass runs (NaN is outside every line).
  return clip_side<Side::Left>(ring, s, finite && min_x >= 0.0, scratch) &&
         clip_side<Side::Right>(ring, s, finite && max_x <= s, scratch) &&
         clip_side<Side::Bottom>(ring, s, finite && min_y >= 0.0, scratch) &&
         clip_side<Side::Top>(ring, s, finite && max_y <= s, scratch) && ring.size() >= 3;
}

}  // namespace quelmar
