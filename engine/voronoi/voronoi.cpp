#include "voronoi/voronoi.hpp"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "voronoi/build_points.hpp"
#include "voronoi/group_merge.hpp"
#include "voronoi/group_trace.hpp"
#include "voronoi/topology.hpp"
#include "voronoi/triangulation.hpp"

namespace quelmar {

namespace {

void file_by_colour(Voronoi& v, VoronoiGroup&& g) {
  (g.color == Color::Black ? v.black : v.white).push_back(std::move(g));
}

// Buffers of one build, kept per thread: the game rebuilds the partition
// after every change, and a probe move builds it once more. Holding them
// changes no answer; it only spares the allocations. A build far larger
// than play needs does not keep its buffers.
struct Workspace {
  std::vector<Point> points;
  Triangulator triangulator;
  Topology topology;
  GroupTracer tracer;
  GroupScratch groups;
};

constexpr std::size_t KEPT_STONES = 1U << 14;

// The runtime makes a thread's thread-local storage at its first use, and
// cannot fail gracefully if memory runs out there: prepare_thread makes it
// early.
thread_local Workspace kept;

// One ringless group per stone, for boards or stones that give no cells.
Voronoi fallback(std::span<const Stone> stones) {
  Voronoi v;
  for (const Stone& s : stones) file_by_colour(v, VoronoiGroup::make(s.color, {s}, {}));
  return v;
}

}  // namespace

void Voronoi::prepare_thread() { kept.points.clear(); }

Voronoi Voronoi::build(std::span<const Stone> stones, double board_size) {
  if (stones.empty()) return {};
  const double scaled = 16.0 * board_size;
  if (std::fpclassify(scaled * scaled) != FP_NORMAL) return fallback(stones);

  std::unique_ptr<Workspace> fresh;
  if (stones.size() > KEPT_STONES) fresh = std::make_unique<Workspace>();
  Workspace& w = fresh ? *fresh : kept;
  std::vector<Point>& points = w.points;
  fill_build_points(points, stones, board_size);

  if (!w.triangulator.run(points)) return fallback(stones);
  const Triangulation& t = w.triangulator.triangulation();
  build_vertices(points, t, board_size, w.topology);
  Voronoi traced;
  if (trace_groups(stones, t, w.topology, w.tracer, traced)) return traced;

  build_cells(t, stones.size(), w.topology);

  std::vector<VoronoiGroup> groups = merge_groups(stones, w.topology, w.groups);
  const auto black = static_cast<std::size_t>(std::count_if(
      groups.begin(), groups.end(), [](const VoronoiGroup& g) { return g.color == Color::Black; }));
  Voronoi v;
  v.black.reserve(black);
  v.white.reserve(groups.size() - black);
  for (VoronoiGroup& g : groups) file_by_colour(v, std::move(g));
  return v;
}

}  // namespace quelmar
