#pragma once
// Polar angles about a circle centre, and arcs of such angles.

#include "geometry/point.hpp"

namespace quelmar {

// fmod(atan2(dy, dx), 2π), plus 2π when negative (negative zero stays).
double normalize_angle(Point v);

// Normalises a raw angle into [0, 2π) the same way: fmod, then +2π if negative.
double normalize_raw_angle(double a);

// Whether θ lies on the counter-clockwise arc from s to e (both already
// normalised, both ends inclusive; the arc wraps through 0 when e < s).
bool angle_in_arc(double theta, double s, double e);

// θ itself when on the arc, otherwise the angularly nearer end; a tie goes
// to the end angle e.
double clamp_angle_to_arc(double theta, double s, double e);

}  // namespace quelmar
