#include <vector>

#include "voronoi/group_merge.hpp"

namespace quelmar {

namespace {

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

enum class Side { Left, Right, Bottom, Top };

bool inside(Side side, Point p, double s) {
  switch (side) {
    case Side::Left: return p.x >= 0.0;
    case Side::Right: return p.x <= s;
    case Side::Bottom: return p.y >= 0.0;
    case Side::Top: return p.y <= s;
  }
  return false;
}

// Crossing of p -> c with the clip line, in the fixed operand order that
// keeps shared ring vertices bit-identical between neighbouring groups.
Point crossing(Side side, Point p, Point c, double s) {
  switch (side) {
    case Side::Left: return {0.0, p.y + (c.y - p.y) * (0.0 - p.x) / (c.x - p.x)};
    case Side::Right: return {s, p.y + (c.y - p.y) * (s - p.x) / (c.x - p.x)};
    case Side::Bottom: return {p.x + (c.x - p.x) * (0.0 - p.y) / (c.y - p.y), 0.0};
    case Side::Top: return {p.x + (c.x - p.x) * (s - p.y) / (c.y - p.y), s};
  }
  return p;
}

void clip_pass(Side side, const std::vector<Point>& in, double s, std::vector<Point>& out) {
  out.clear();
  Point prev = in.back();
  bool prev_in = inside(side, prev, s);
  for (const Point cur : in) {
    const bool cur_in = inside(side, cur, s);
    if (prev_in != cur_in) out.push_back(crossing(side, prev, cur, s));
    if (cur_in) out.push_back(cur);
    prev = cur;
    prev_in = cur_in;
  }
}

}  // namespace

bool edge_enters_board(Point a, Point b, double s) {
  double t0 = 0.0, t1 = 1.0;
  if (!clip_axis(a.x, b.x, s, t0, t1) || !clip_axis(a.y, b.y, s, t0, t1)) return false;
  return t1 > t0;
}

bool clip_ring_to_board(std::vector<Point>& ring, double s, std::vector<Point>& scratch) {
  if (ring.size() < 3) return false;
  bool all_inside = true;
  for (const Point p : ring)
    all_inside = all_inside && p.x >= 0.0 && p.x <= s && p.y >= 0.0 && p.y <= s;
  if (all_inside) return true;  // every pass would copy the ring unchanged
  for (Side side : {Side::Left, Side::Right, Side::Bottom, Side::Top}) {
    if (ring.size() < 3) return false;
    clip_pass(side, ring, s, scratch);
    ring.swap(scratch);
  }
  return ring.size() >= 3;
}

}  // namespace quelmar
