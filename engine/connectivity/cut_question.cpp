#include "connectivity/cut_question.hpp"

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace quelmar {

namespace {

// Pairs closer than 2√2 (less a hair) and stones closer than 2 (less a
// hair) to the edge are connected without a search.
constexpr double QUICK_PAIR_DISTANCE = 2.82842612474619;
constexpr double QUICK_EDGE_HALF_DISTANCE = 1.999999;
// Enemy stones this near the midpoint are cut points.
constexpr double CUT_POINT_RADIUS = 4.02;
// A cut point this close to the line through A and B lies on it.
constexpr double ON_LINE = 1e-7;
// The shared boundary left must be longer than this to stay connected.
constexpr double MIN_SHARED = 1e-8;

// Carves a hypothetical stone's dead zone for the length of a scope and
// always takes it out again.
class TemporaryCircle {
 public:
  // Room first: a circle carved but not pushed would outlive the scope.
  TemporaryCircle(AliveZone& zone, Point centre) : zone_(zone) {
    zone_.reserve_temporary_circle();
    zone_.push_temporary_circle(zone_.carve(centre));
  }
  TemporaryCircle(const TemporaryCircle&) = delete;
  TemporaryCircle& operator=(const TemporaryCircle&) = delete;
  ~TemporaryCircle() {
    if (auto shape = zone_.pop_temporary_circle()) zone_.uncarve(*shape);
  }

 private:
  AliveZone& zone_;
};

// The best spots near M for an enemy pair: the nearest placeable point, then
// the nearest one once a stone sits on the first.
std::vector<Point> probe_points(AliveZone& zone, Point m) {
  std::vector<Point> probes;
  std::optional<Point> first = zone.closest_point(m);
  if (!first) return probes;
  probes.push_back(*first);
  TemporaryCircle occupied(zone, *first);
  if (std::optional<Point> second = zone.closest_point(m)) probes.push_back(*second);
  return probes;
}

// fmin / fmax never let a NaN bound replace a number.
struct Interval {
  double lo = -std::numeric_limits<double>::infinity();
  double hi = std::numeric_limits<double>::infinity();

  void clip_axis(double m, double n, double size) {
    if (n == 0) return;
    double t1 = (0 - m) / n, t2 = (size - m) / n;
    lo = std::fmax(lo, std::fmin(t1, t2));
    hi = std::fmin(hi, std::fmax(t1, t2));
  }
};

CutKind decide(AliveZone& zone, std::span<const Stone> stones, const CutQuestion& q, double size) {
  const Point a = q.a.position, b = q.far_point;
  const double d = distance(a, b);
  const double half = d / 2;
  if (q.is_pair ? d < QUICK_PAIR_DISTANCE : half < QUICK_EDGE_HALF_DISTANCE) return CutKind::CONNECTED;

  const Point m{(a.x + b.x) / 2, (a.y + b.y) / 2};
  std::vector<Point> cut_points = probe_points(zone, m);
  for (const Stone& s : stones)
    if (s.color != q.a.color && distance(m, s.position) <= CUT_POINT_RADIUS) cut_points.push_back(s.position);

  // The contested line: through M, perpendicular to AB, inside the board.
  const Point n{-(b.y - a.y) / d, (b.x - a.x) / d};
  Interval line;
  line.clip_axis(m.x, n.x, size);
  line.clip_axis(m.y, n.y, size);

  // Each cut point takes away the part of the line nearer to it than to A and B.
  const double hsq = half * half;
  for (Point c : cut_points) {
    const Point v = m - c;
    const double proj = dot(n, v);
    const double dist2 = dot(v, v);
    if (std::fabs(proj) < ON_LINE) {
      if (dist2 < hsq) return CutKind::CUTTABLE;  // between A and B
      continue;
    }
    const double t = (hsq - dist2) / (2 * proj);
    if (proj > 0)
      line.lo = std::fmax(line.lo, t);
    else
      line.hi = std::fmin(line.hi, t);
  }
  return line.lo > line.hi - MIN_SHARED ? CutKind::CUTTABLE : CutKind::CONNECTED;
}

}  // namespace

CutQuestion CutQuestion::pair(const Stone& a, const Stone& b) {
  return {true, a, b.position, a.position, b.position, CutKey::pair(a.id, b.id)};
}

CutQuestion CutQuestion::boundary(const Stone& a, BoardEdge edge, Point foot) {
  const Point mirror{2 * foot.x - a.position.x, 2 * foot.y - a.position.y};
  return {false, a, mirror, a.position, foot, CutKey::boundary(a.id, edge)};
}

CutKind cut_kind(Connectivity& connectivity, AliveZone& zone, std::span<const Stone> stones,
                 const CutQuestion& question) {
  if (std::optional<CutKind> cached = connectivity.lookup(question.key)) return *cached;
  const CutKind kind = decide(zone, stones, question, connectivity.board_size());
  connectivity.store(question.key, CutStatus{question.anchor_p, question.anchor_q, kind});
  return kind;
}

}  // namespace quelmar
