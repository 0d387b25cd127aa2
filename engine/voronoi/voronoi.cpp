#include "voronoi/voronoi.hpp"

#include <cmath>
#include <utility>

#include "voronoi/group_merge.hpp"
#include "voronoi/topology.hpp"
#include "voronoi/triangulation.hpp"

namespace quelmar {

namespace {

// Far points round the clip box [min, max]: their diamond holds every point
// of the box strictly inside, so every stone on the board has a bounded cell.
void append_sentinels(std::vector<Point>& points, Point min, Point max) {
  const double w = max.x - min.x, h = max.y - min.y;
  points.push_back({min.x - w, min.y + h / 2});
  points.push_back({max.x + w, min.y + h / 2});
  points.push_back({min.x + w / 2, min.y - h});
  points.push_back({min.x + w / 2, max.y + h});
}

void file_by_colour(Voronoi& v, VoronoiGroup&& g) {
  (g.color == Color::Black ? v.black : v.white).push_back(std::move(g));
}

// One ringless group per stone, for boards or stones that give no cells.
Voronoi fallback(std::span<const Stone> stones) {
  Voronoi v;
  for (const Stone& s : stones) file_by_colour(v, VoronoiGroup::make(s.color, {s}, {}));
  return v;
}

}  // namespace

Voronoi Voronoi::build(std::span<const Stone> stones, double board_size) {
  if (stones.empty()) return {};
  const double scaled = 16.0 * board_size;
  if (std::fpclassify(scaled * scaled) != FP_NORMAL) return fallback(stones);

  std::vector<Point> points;
  points.reserve(stones.size() + 4);
  for (const Stone& s : stones) points.push_back(s.position);
  append_sentinels(points, {-2.0 * board_size, -2.0 * board_size},
                   {3.0 * board_size, 3.0 * board_size});

  Triangulator triangulator;
  if (!triangulator.run(points)) return fallback(stones);
  Topology topology;
  build_topology(points, stones.size(), triangulator.triangulation(), board_size, topology);

  Voronoi v;
  for (VoronoiGroup& g : merge_groups(stones, topology)) file_by_colour(v, std::move(g));
  return v;
}

}  // namespace quelmar
