#include "geometry/predicates.hpp"

namespace quelmar {

bool point_in_polygon(std::span<const Point> vertices, Point p) {
  const std::size_t n = vertices.size();
  if (n < 3) return false;
  bool inside = false;
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const Point pi = vertices[i], pj = vertices[j];
    if ((p.y < pj.y) != (p.y < pi.y) &&
        p.x < (p.y - pi.y) * (pj.x - pi.x) / (pj.y - pi.y) + pi.x)
      inside = !inside;
  }
  return inside;
}

}  // namespace quelmar
