#include "voronoi/voronoi_group.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "geometry/predicates.hpp"

namespace quelmar {

namespace {

void sort_rings_by_area(std::vector<Ring>& rings) {
  if (rings.size() < 2) return;
  std::vector<double> areas;
  areas.reserve(rings.size());
  for (const Ring& r : rings) areas.push_back(ring_area(r));
  std::vector<std::uint32_t> order(rings.size());
  order_by_area(areas, order);
  std::vector<Ring> sorted;
  sorted.reserve(rings.size());
  for (const std::uint32_t i : order) sorted.push_back(std::move(rings[i]));
  rings.swap(sorted);
}

}  // namespace

double ring_area(std::span<const Point> ring) {
  const std::size_t n = ring.size();
  if (n < 3) return 0.0;
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const Point p = ring[i];
    const Point q = ring[i + 1 == n ? 0 : i + 1];
    sum += p.x * q.y - p.y * q.x;
  }
  return std::fabs(0.5 * sum);
}

void order_by_area(std::span<double> areas, std::span<std::uint32_t> order) {
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  for (std::size_t i = 1; i < order.size(); ++i) {
    const double a = areas[i];
    const std::uint32_t ring = order[i];
    std::size_t j = i;
    while (j > 0 && areas[j - 1] < a) --j;
    if (j == i) continue;
    for (std::size_t k = i; k > j; --k) {
      areas[k] = areas[k - 1];
      order[k] = order[k - 1];
    }
    areas[j] = a;
    order[j] = ring;
  }
}

void order_and_close_rings(std::vector<Ring>& rings) {
  sort_rings_by_area(rings);
  for (Ring& r : rings)
    if (!r.empty()) r.push_back(r.front());
}

VoronoiGroup VoronoiGroup::make(Color color, std::vector<Stone> stones, std::vector<Ring> rings) {
  std::sort(stones.begin(), stones.end(),
            [](const Stone& a, const Stone& b) { return a.id < b.id; });
  order_and_close_rings(rings);
  VoronoiGroup g;
  g.stones = std::move(stones);
  g.rings = std::move(rings);
  g.color = color;
  return g;
}

double VoronoiGroup::area() const {
  if (rings.empty()) return 0.0;
  double holes = -0.0;
  for (std::size_t i = 1; i < rings.size(); ++i) holes += ring_area(rings[i]);
  return ring_area(rings[0]) - holes;
}

bool VoronoiGroup::contains_point(Point p) const {
  if (rings.empty() || !point_in_polygon(rings[0], p)) return false;
  for (std::size_t i = 1; i < rings.size(); ++i)
    if (point_in_polygon(rings[i], p)) return false;
  return true;
}

std::optional<StoneId> VoronoiGroup::color_seed() const {
  if (stones.empty()) return std::nullopt;
  return stones.front().id;
}

bool VoronoiGroup::is_empty() const {
  return std::all_of(rings.begin(), rings.end(), [](const Ring& r) { return r.empty(); });
}

bool operator==(const VoronoiGroup& a, const VoronoiGroup& b) {
  // Stone and Point equality already compare coordinates by PointKey.
  return a.color == b.color && a.stones == b.stones && a.rings == b.rings;
}

}  // namespace quelmar
