#include "geometry/angles.hpp"

#include <cmath>

namespace quelmar {

double normalize_raw_angle(double a) {
  double theta = std::fmod(a, TWO_PI);
  if (theta < 0) theta += TWO_PI;
  return theta;
}

double normalize_angle(Point v) { return normalize_raw_angle(std::atan2(v.y, v.x)); }

bool angle_in_arc(double theta, double s, double e) {
  if (e >= s) return s <= theta && theta <= e;
  return theta >= s || theta <= e;
}

namespace {

// Angular distance to an arc end, the short way round; a NaN minimum keeps
// the plain difference.
double angular_distance(double theta, double end) {
  double d = std::fabs(theta - end);
  double other = TWO_PI - d;
  double m = other < d ? other : d;
  return std::isnan(m) ? d : m;
}

}  // namespace

double clamp_angle_to_arc(double theta, double s, double e) {
  if (angle_in_arc(theta, s, e)) return theta;
  return angular_distance(theta, s) < angular_distance(theta, e) ? s : e;
}

}  // namespace quelmar
