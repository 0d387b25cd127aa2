#include "geometry/shapes.hpp"

#include <cmath>
#include <initializer_list>
#include <limits>

#include "geometry/angles.hpp"

namespace quelmar {

namespace {

// Clamps a projection parameter: below 0 becomes 0, then above 1 becomes 1.
// A NaN parameter stays NaN.
double clamp_unit(double t) {
  if (t < 0) t = 0;
  if (t > 1) t = 1;
  return t;
}

}  // namespace

Point closest_on_segment(Point p, Point a, Point b) {
  Point d = b - a;
  double len2 = dot(d, d);
  if (len2 == 0) return a;
  double t = clamp_unit(dot(p - a, d) / len2);
  return {a.x + t * d.x, a.y + t * d.y};
}

double LineSegment::distance_to(const LineSegment& other) const {
  const Point c = other.a, d = other.b;
  Point ab = b - a, cd = d - c;
  bool cd_straddles = cross(ab, c - a) * cross(ab, d - a) < 0;
  bool ab_straddles = cross(cd, a - c) * cross(cd, b - c) < 0;
  if (cd_straddles && ab_straddles) return 0.0;

  double m = std::numeric_limits<double>::infinity();
  m = nan_skipping_min(m, distance(a, closest_on_segment(a, c, d)));
  m = nan_skipping_min(m, distance(b, closest_on_segment(b, c, d)));
  m = nan_skipping_min(m, distance(c, closest_on_segment(c, a, b)));
  m = nan_skipping_min(m, distance(d, closest_on_segment(d, a, b)));
  return m;
}

Point Arc::point_at(double angle) const {
  return {centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle)};
}

double Arc::distance_to_segment(const LineSegment& seg) const {
  const double s = normalize_raw_angle(start);
  const double e = normalize_raw_angle(end);

  double m = std::numeric_limits<double>::infinity();
  for (Point p : {seg.a, seg.b}) {
    double theta = clamp_angle_to_arc(normalize_angle(p - centre), s, e);
    m = nan_skipping_min(m, distance(p, point_at(theta)));
  }

  // The arc's end points at the raw angles.
  for (double angle : {start, end}) {
    Point q = point_at(angle);
    m = nan_skipping_min(m, distance(q, closest_on_segment(q, seg.a, seg.b)));
  }

  Point foot = closest_on_segment(centre, seg.a, seg.b);
  if (angle_in_arc(normalize_angle(foot - centre), s, e))
    m = nan_skipping_min(m, std::fabs(distance(centre, foot) - radius));
  return m;
}

Point Span::closest_point(Point p) const {
  if (!is_arc) {
    Point d = line.b - line.a;
    double len2 = dot(d, d);
    if (len2 == 0) return line.a;
    double t = clamp_unit(dot(p - line.a, d) / len2);
    return {line.a.x + t * d.x, line.a.y + t * d.y};
  }
  double theta = normalize_angle(p - arc.centre);
  theta = clamp_angle_to_arc(theta, normalize_raw_angle(arc.start), normalize_raw_angle(arc.end));
  return arc.point_at(theta);
}

}  // namespace quelmar
