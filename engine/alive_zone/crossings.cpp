#include "alive_zone/crossings.hpp"

#include <cmath>

#include "geometry/angles.hpp"

namespace quelmar {

namespace {

double edge_line(const EdgeGeometry& edge) {
  return edge.side == 0 || edge.side == 3 ? 1.0 : far_inset(edge.board_size);
}

// 4 − d², d the distance from the centre to the edge's line.
double edge_reach(const EdgeGeometry& edge, Point p) {
  const bool vertical = edge.side == 0 || edge.side == 2;
  const double d = vertical ? edge_line(edge) - p.x : edge_line(edge) - p.y;
  return 4.0 - d * d;
}

// Also refuses a circle that only touches the line.
bool edge_crosses(const EdgeGeometry& edge, Point p) { return !(edge_reach(edge, p) <= EPSILON); }

bool circle_crosses(const CircleGeometry& other, double d) {
  const double r = other.radius;
  const double sum = r + 2.0;
  const double gap = std::fabs(r - 2.0);
  if (d > sum + EPSILON || d < gap - EPSILON || d < EPSILON) return false;
  if (std::fabs(d - sum) < EPSILON || std::fabs(d - gap) < EPSILON) return false;
  // Centres a hair over EPSILON beyond touching pass both tolerances yet
  // have no crossing: the half-chord would be the root of a negative.
  const double a = (d * d + (r * r - 4.0)) / (2.0 * d);
  return r * r - a * a > 0;
}

}  // namespace

std::optional<Crossing> edge_crossing(const EdgeGeometry& edge, Point p) {
  if (!edge_crosses(edge, p)) return std::nullopt;
  const double line = edge_line(edge);
  const double s = std::sqrt(edge_reach(edge, p));
  Crossing c;
  switch (edge.side) {
    case 0: c = {{1.0, p.y - s}, {1.0, p.y + s}}; break;
    case 1: c = {{p.x - s, line}, {p.x + s, line}}; break;
    case 2: c = {{line, p.y + s}, {line, p.y - s}}; break;
    default: c = {{p.x + s, 1.0}, {p.x - s, 1.0}}; break;
  }
  c.o1 = edge_offset(edge, c.p1);
  c.o2 = edge_offset(edge, c.p2);
  return c;
}

std::optional<Crossing> circle_crossing(const CircleGeometry& other, Point p) {
  const Point q = other.centre;
  const double r = other.radius;
  const double d = distance(q, p);
  if (!circle_crosses(other, d)) return std::nullopt;

  const double dx = p.x - q.x;
  const double dy = p.y - q.y;
  const double a = (d * d + (r * r - 4.0)) / (2.0 * d);
  const double h = std::sqrt(r * r - a * a);
  const Point base{q.x + dx * a / d, q.y + a * dy / d};
  const Point q1{base.x + dy * h / d, base.y - dx * h / d};
  const Point q2{base.x - dy * h / d, base.y + dx * h / d};
  // The piece of the other circle inside the new one is the counter-
  // clockwise arc shorter than half a turn.
  const double a1 = normalize_angle(q1 - q);
  const double a2 = normalize_angle(q2 - q);
  const double delta = std::fmod(a2 - a1 + TWO_PI, TWO_PI);
  if (delta < PI) return Crossing{q1, q2, a1, a2};
  return Crossing{q2, q1, a2, a1};
}

bool crosses(const ShapeGeometry& shape, Point centre) {
  if (const CircleGeometry* c = as_circle(shape)) return circle_crosses(*c, distance(c->centre, centre));
  return edge_crosses(std::get<EdgeGeometry>(shape), centre);
}

std::optional<Crossing> crossing_with(const ShapeGeometry& shape, Point centre) {
  if (const CircleGeometry* c = as_circle(shape)) return circle_crossing(*c, centre);
  return edge_crossing(std::get<EdgeGeometry>(shape), centre);
}

}  // namespace quelmar
