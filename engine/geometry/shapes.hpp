#pragma once
// Segments, circular arcs and outline spans, with the distances the
// playable-area code measures between them.

#include "geometry/point.hpp"

namespace quelmar {

// Nearest point of segment a–b to p. A segment of zero length answers a;
// otherwise the projection parameter is clamped to ≥ 0, then to ≤ 1.
Point closest_on_segment(Point p, Point a, Point b);

struct LineSegment {
  Point a;
  Point b;

  // 0 for a proper crossing; otherwise the least end-point-to-segment
  // distance of the four (NaN candidates skipped).
  double distance_to(const LineSegment& other) const;
};

// Counter-clockwise arc of a circle from angle `start` to angle `end`,
// possibly wrapping through 0.
struct Arc {
  Point centre;
  double radius = 0.0;
  double start = 0.0;
  double end = 0.0;

  // A cheap lower-effort distance to a segment, reproduced exactly as
  // callers' thresholds expect; not the true distance for every chord.
  double distance_to_segment(const LineSegment& seg) const;

  // Point of the circle at a raw angle: centre + radius·(cos a, sin a).
  Point point_at(double angle) const;
};

// One piece of an outline: a line between two points, or an arc.
struct Span {
  bool is_arc = false;
  LineSegment line;  // when !is_arc
  Arc arc;           // when is_arc

  static Span of_line(Point a, Point b) { return Span{false, {a, b}, {}}; }
  static Span of_arc(const Arc& arc) { return Span{true, {}, arc}; }

  Point closest_point(Point p) const;
};

// The smaller of two distances, skipping a NaN candidate.
inline double nan_skipping_min(double m, double v) {
  if (v != v) return m;
  if (m != m) return v;
  return v < m ? v : m;
}

}  // namespace quelmar
