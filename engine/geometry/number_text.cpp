#include "geometry/number_text.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace quelmar {

namespace {

// Text of a non-finite value, or empty for a finite one.
const char* non_finite_text(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  return nullptr;
}

// Shortest round-trip text in the given style. 5e-324 in fixed notation
// needs about 330 characters.
std::string shortest(double v, std::chars_format fmt) {
  char buf[512];
  auto res = std::to_chars(buf, buf + sizeof buf, v, fmt);
  return std::string(buf, res.ptr);
}

// "1.5e+16" → "1.5e16", "1e-05" → "1e-5".
std::string tidy_exponent(const std::string& sci) {
  std::size_t e = sci.find('e');
  std::string out = sci.substr(0, e + 1);
  std::size_t i = e + 1;
  if (sci[i] == '+') {
    ++i;
  } else if (sci[i] == '-') {
    out += '-';
    ++i;
  }
  while (i + 1 < sci.size() && sci[i] == '0') ++i;
  out.append(sci, i, std::string::npos);
  return out;
}

}  // namespace

std::string plain_number_text(double v) {
  if (const char* t = non_finite_text(v)) return t;
  return shortest(v, std::chars_format::fixed);
}

std::string repr_number_text(double v) {
  if (const char* t = non_finite_text(v)) return t;
  double mag = std::fabs(v);
  if (mag >= 1e16 || (mag != 0 && mag < 1e-4))
    return tidy_exponent(shortest(v, std::chars_format::scientific));
  std::string s = shortest(v, std::chars_format::fixed);
  if (s.find('.') == std::string::npos) s += ".0";
  return s;
}

std::string point_diagnostic_text(Point p) {
  return "Point { x: " + repr_number_text(p.x) + ", y: " + repr_number_text(p.y) + " }";
}

std::string plain_position_text(Point p) {
  return "(" + plain_number_text(p.x) + ", " + plain_number_text(p.y) + ")";
}

}  // namespace quelmar
