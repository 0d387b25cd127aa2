#pragma once
// The number texts of messages and representations, from std::to_chars
// (shortest round-trip digits).

#include <string>

#include "geometry/point.hpp"

namespace quelmar {

// Messages: shortest digits, never an exponent, whole values without a
// fractional part: 4 → "4", 4.5 → "4.5", -0.0 → "-0", NaN → "NaN".
std::string plain_number_text(double v);

// Representations: the same digits but always with a fractional part
// ("4.0", "-0.0"), in exponent form below 1e-4 (non-zero) and from 1e16
// ("1e-5", "1.5e16").
std::string repr_number_text(double v);

// Diagnostic form of a point inside error messages: "Point { x: 4.0, y: 2.5 }".
std::string point_diagnostic_text(Point p);

// Plain text of a position as messages print it: "(4, 4.5)".
std::string plain_position_text(Point p);

}  // namespace quelmar
