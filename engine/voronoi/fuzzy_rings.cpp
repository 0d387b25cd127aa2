#include "voronoi/fuzzy_rings.hpp"

#include <cmath>
#include <limits>

#include "voronoi/clip_lines.hpp"

namespace quelmar {

namespace {

using Line = clip_lines::Side;

constexpr double U = 0x1p-53;  // unit roundoff
constexpr double INF = std::numeric_limits<double>::infinity();

bool vertical(Line l) { return l == Line::Left || l == Line::Right; }

// 1 inside the line for every value the point may take, 0 outside for
// every value, -1 when it depends.
int inside(const FuzzyPoint& p, Line l, double s) {
  const double v = vertical(l) ? p.at.x : p.at.y;
  const bool lower = l == Line::Left || l == Line::Bottom;  // inside is v >= 0, else v <= s
  switch (side_of(v, p.spread, lower ? 0.0 : s)) {
    case Side::Below: return lower ? 0 : 1;
    case Side::Above: return lower ? 1 : 0;
    case Side::On: return 1;  // the lines are inclusive
    case Side::Either: break;
  }
  return -1;
}

Point crossing(Point p, Point c, Line l, double s) {
  switch (l) {
    case Line::Left: return clip_lines::crossing<Line::Left>(p, c, s);
    case Line::Right: return clip_lines::crossing<Line::Right>(p, c, s);
    case Line::Bottom: return clip_lines::crossing<Line::Bottom>(p, c, s);
    case Line::Top: break;
  }
  return clip_lines::crossing<Line::Top>(p, c, s);
}

/* Where the edge from p to c crosses the line, and how far the crossing of
   any points within the spreads may lie from it. Along the line the
   crossing is t = p.t + (c.t − p.t) λ with λ = (L − p.n) / (c.n − p.n) in
   [0, 1], n across the line and t along it. Its partial derivatives are
   1 − λ and λ in p.t and c.t, and at most |slope| (1 − λ) and |slope| λ in
   p.n and c.n, the slope dt / dn bounded over the spreads by
   (|dt| + r) / (|dn| − r) with r the two spreads summed; so points moved
   by their spreads move it by at most (1 + slope) r. The arithmetic rounds
   each of its five operations once, relative to operands that never
   cancel (λ is a ratio of two differences, each rounded once), so either
   direction along the edge computes the exact crossing of its operands to
   within u |t| + 5 u |dt| (u the unit roundoff); twice that, and more,
   covers both. Across the line the crossing is the line itself, exactly. */
bool fuzzy_crossing(const FuzzyPoint& p, const FuzzyPoint& c, Line l, double s, FuzzyPoint& out) {
  const bool v = vertical(l);
  const double dn = std::fabs(v ? c.at.x - p.at.x : c.at.y - p.at.y);
  const double dt = std::fabs(v ? c.at.y - p.at.y : c.at.x - p.at.x);
  const double r = p.spread + c.spread;
  // An edge that runs too nearly along the line for its spreads.
  if (!(dn > 4.0 * r)) return false;
  const Point x = crossing(p.at, c.at, l, s);
  const double along = v ? x.y : x.x;
  const double moved = r > 0.0 ? (1.0 + (dt + r) / (dn - r)) * r : 0.0;
  const double spread = moved + 16.0 * U * (std::fabs(along) + dt);
  if (!(spread < INF) || !std::isfinite(x.x) || !std::isfinite(x.y)) return false;
  out = {x, std::nextafter(spread, INF), FuzzyPoint::NO_TAG, FuzzyPoint::NO_TAG, FuzzyPoint::NO_TAG};
  return true;
}

// One pass of clip_pass: the same pairs, the same order.
bool fuzzy_pass(const std::vector<FuzzyPoint>& in, Line l, double s, std::vector<FuzzyPoint>& out) {
  out.clear();
  const FuzzyPoint* prev = &in.back();
  int prev_in = inside(*prev, l, s);
  if (prev_in < 0) return false;
  for (const FuzzyPoint& cur : in) {
    const int cur_in = inside(cur, l, s);
    if (cur_in < 0) return false;
    if (prev_in != cur_in) {
      FuzzyPoint x;
      if (!fuzzy_crossing(*prev, cur, l, s, x)) return false;
      if (prev->tag != FuzzyPoint::NO_TAG && cur.tag != FuzzyPoint::NO_TAG) {
        x.inner = prev_in ? prev->tag : cur.tag;
        x.outer = prev_in ? cur.tag : prev->tag;
      }
      out.push_back(x);
    }
    if (cur_in) out.push_back(cur);
    prev = &cur;
    prev_in = cur_in;
  }
  return true;
}

}  // namespace

// Strict comparisons of the rounded bounds are exact conclusions: rounding
// is monotonic, so v + spread rounding below `bound` means it lies below.
Side side_of(double v, double spread, double bound) {
  if (spread == 0.0) {
    if (v < bound) return Side::Below;
    if (v > bound) return Side::Above;
    return v == bound ? Side::On : Side::Either;  // Either: a NaN
  }
  if (v + spread < bound) return Side::Below;
  if (v - spread > bound) return Side::Above;
  return Side::Either;
}

bool fuzzy_ring_edge(const FuzzyPoint& inner, const FuzzyPoint& outer, double s, FuzzyPoint& end) {
  int beyond = -1;
  for (unsigned k = 0; k < 4; ++k) {
    const Line l = static_cast<Line>(k);
    const int in = inside(outer, l, s);
    if (inside(inner, l, s) != 1 || in < 0) return false;
    if (in == 0) {
      if (beyond >= 0) return false;
      beyond = static_cast<int>(k);
    }
  }
  if (beyond < 0) {
    end = outer;
    return true;
  }
  if (!fuzzy_crossing(inner, outer, static_cast<Line>(beyond), s, end)) return false;
  for (unsigned k = 0; k < 4; ++k)
    if (static_cast<int>(k) != beyond && inside(end, static_cast<Line>(k), s) != 1) return false;
  return true;
}

FuzzyClip clip_fuzzy_ring(std::vector<FuzzyPoint>& ring, double s, std::vector<FuzzyPoint>& scratch) {
  if (ring.size() < 3) return FuzzyClip::Dropped;
  // A pass is skipped when every point of the unclipped ring lies inside
  // its line, as the box test of clip_ring_to_board decides.
  bool run[4] = {false, false, false, false};
  for (const FuzzyPoint& p : ring) {
    for (unsigned k = 0; k < 4; ++k) {
      const int in = inside(p, static_cast<Line>(k), s);
      if (in < 0) return FuzzyClip::Unsure;
      run[k] = run[k] || in == 0;
    }
  }
  for (unsigned k = 0; k < 4; ++k) {
    if (ring.size() < 3) return FuzzyClip::Dropped;
    if (!run[k]) continue;
    if (!fuzzy_pass(ring, static_cast<Line>(k), s, scratch)) return FuzzyClip::Unsure;
    ring.swap(scratch);
  }
  return ring.size() >= 3 ? FuzzyClip::Kept : FuzzyClip::Dropped;
}

}  // namespace quelmar
