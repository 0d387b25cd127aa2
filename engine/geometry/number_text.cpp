#include "geometry/number_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace quelmar {

namespace {

// Text of a non-finite value, or empty for a finite one.
const char* non_finite_text(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  return nullptr;
}

// Shortest round-trip text in the given style.
std::string shortest(double v, std::chars_format fmt) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v, fmt);
  return std::string(buf, res.ptr);
}

// The shortest round-trip digits of a finite value, written out without an
// exponent: zeros pad a large whole value ("1e23" → 1 and 23 zeros) and lead
// a small one. to_chars in fixed style would write a large value's exact
// binary expansion instead (99999999999999991611392 for 1e23).
std::string shortest_fixed(double v) {
  const std::string sci = shortest(v, std::chars_format::scientific);  // "-d.ddde+XX"
  const std::size_t e = sci.find('e');
  const bool negative = sci[0] == '-';
  std::string digits;
  for (std::size_t i = negative ? 1 : 0; i < e; ++i)
    if (sci[i] != '.') digits += sci[i];
  // The value is 0.d1d2…dn × 10^point.
  const long point = std::strtol(sci.c_str() + e + 1, nullptr, 10) + 1;
  const long n = static_cast<long>(digits.size());
  std::string out = negative ? "-" : "";
  if (point >= n) {
    out += digits;
    out.append(static_cast<std::size_t>(point - n), '0');
  } else if (point > 0) {
    out.append(digits, 0, static_cast<std::size_t>(point));
    out += '.';
    out.append(digits, static_cast<std::size_t>(point), std::string::npos);
  } else {
    out += "0.";
    out.append(static_cast<std::size_t>(-point), '0');
    out += digits;
  }
  return out;
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
  return shortest_fixed(v);
}

std::string repr_number_text(double v) {
  if (const char* t = non_finite_text(v)) return t;
  double mag = std::fabs(v);
  if (mag >= 1e16 || (mag != 0 && mag < 1e-4))
    return tidy_exponent(shortest(v, std::chars_format::scientific));
  std::string s = shortest_fixed(v);
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
