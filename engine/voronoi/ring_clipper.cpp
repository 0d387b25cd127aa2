#include "voronoi/ring_clipper.hpp"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "voronoi/clip_lines.hpp"
#include "voronoi/group_merge.hpp"

namespace quelmar {

namespace {

using namespace clip_lines;

template <class T>
T* room(std::vector<T>& v, std::size_t n) {
  if (v.size() < n) v.resize(n);
  return v.data();
}

// One pass over a run: the points `c` between on-board ends a and b, whose
// first `split` points end the pass's output. The output keeps the pairs
// of a pass over the whole ring, (a, c[0]) ... (c[m - 1], b), and the split
// moves to where the output of c[split] begins; with no point after the
// split, the crossing into b is the first thing the pass outputs. `nan`
// records a crossing that came out NaN.
template <Side S>
std::size_t run_pass(Point a, const Point* c, std::size_t m, Point b, double s,
                     std::size_t& split, bool& nan, Point* out) {
  std::size_t k = 0, moved = 0;
  Point prev = a;
  bool prev_in = true;
  auto cross = [&](Point from, Point to) {
    const Point x = crossing<S>(from, to, s);
    nan |= std::isnan(x.x) || std::isnan(x.y);
    out[k++] = x;
  };
  for (std::size_t i = 0; i < m; ++i) {
    if (i == split) moved = k;
    const Point cur = c[i];
    const bool cur_in = inside<S>(cur, s);
    if (prev_in != cur_in) cross(prev, cur);
    out[k] = cur;  // kept only when inside
    k += cur_in;
    prev = cur;
    prev_in = cur_in;
  }
  if (split >= m) moved = k;
  if (!prev_in) cross(prev, b);
  split = moved;
  return k;
}

// Whether any of the m points lies beyond line S (a NaN lies beyond all).
template <Side S>
bool any_beyond(const Point* c, std::size_t m, double s) {
  for (std::size_t i = 0; i < m; ++i)
    if (!inside<S>(c[i], s)) return true;
  return false;
}

}  // namespace

// Clips tail + head, the off-board run between on-board ends `before` and
// `after`, through the four passes into run_; the split starts where the
// head starts. `lines` holds the lines the run's points lie beyond. A pass
// whose line no current point lies beyond meets no crossing (the ends are
// on the board) and gives back its input, split and all, so it is not run;
// the first pass knows from `lines`, the later ones look at the points the
// passes before them made.
RingClipper::Run RingClipper::clip_run(std::span<const Point> tail, std::span<const Point> head,
                                       Point before, Point after, unsigned lines, double s) {
  std::size_t m = tail.size() + head.size();
  const Point* c = tail.data();
  if (!head.empty()) {
    Point* joined = room(run_, m);
    std::copy(tail.begin(), tail.end(), joined);
    std::copy(head.begin(), head.end(), joined + tail.size());
    c = joined;
  }
  std::size_t split = tail.size();
  bool moved = false;  // some pass has run: the points are in run_
  // A pass outputs at most two points per input point and one into `after`.
  auto pass = [&](auto side) {
    constexpr Side S = decltype(side)::value;
    if (skip_[static_cast<unsigned>(S)]) return;
    if (moved ? !any_beyond<S>(c, m, s) : !(lines >> static_cast<unsigned>(S) & 1U)) return;
    m = run_pass<S>(before, c, m, after, s, split, nan_, room(spare_, 2 * m + 1));
    run_.swap(spare_);
    c = run_.data();
    moved = true;
  };
  pass(std::integral_constant<Side, Side::Left>{});
  pass(std::integral_constant<Side, Side::Right>{});
  pass(std::integral_constant<Side, Side::Bottom>{});
  pass(std::integral_constant<Side, Side::Top>{});
  if (!moved && c != run_.data()) std::copy(c, c + m, room(run_, m));
  return {m, split};
}

// The four passes over the whole ring, through clip_ring_to_board itself.
std::span<const Point> RingClipper::clip_whole(std::span<const Point> ring, double s) {
  whole_.assign(ring.begin(), ring.end());
  if (!clip_ring_to_board(whole_, s, spare_)) return {};
  return whole_;
}

std::span<const Point> RingClipper::clip(std::span<const Point> ring, double s) {
  std::uint8_t* beyond = room(beyond_, ring.size());
  for (std::size_t i = 0; i < ring.size(); ++i)
    beyond[i] = static_cast<std::uint8_t>(beyond_lines(ring[i], s));
  return clip(ring, {beyond, ring.size()}, s);
}

std::span<const Point> RingClipper::clip(std::span<const Point> ring,
                                         std::span<const std::uint8_t> beyond, double s) {
  const std::size_t n = ring.size();
  if (n < 3) return {};
  unsigned any = 0;
  std::size_t on = 0;
  for (std::size_t i = 0; i < n; ++i) {
    any |= beyond[i];
    on += beyond[i] == 0;
  }
  if (on == n) return ring;  // every pass would copy the ring unchanged
  // Three points that every pass keeps hold the ring above the size at
  // which the passes drop it; with fewer, the passes run over the whole
  // ring. So they do when a crossing comes out NaN (a NaN point only ever
  // makes NaN crossings): a NaN's bits depend on which operand the
  // compiled code happens to take first, and only the whole-ring passes
  // are the code the answers were fixed with. Any other value is the same
  // bits whichever code computes it.
  if (on < 3) return clip_whole(ring, s);
  // The passes clip_ring_to_board skips by the box of the unclipped ring:
  // for a finite ring, those whose line no point lies beyond. Skipping is
  // not quite nothing: a crossing may round a hair past a line whose pass
  // is skipped, and stays.
  for (unsigned side = 0; side < 4; ++side) skip_[side] = !(any & NOT_FINITE) && !(any >> side & 1U);

  std::size_t first = 0, last = n - 1;
  while (beyond[first] != 0) ++first;
  while (beyond[last] != 0) --last;
  nan_ = false;
  std::size_t size = 0;
  auto append = [&](const Point* p, std::size_t count) {
    Point* out = room(out_, size + count);
    std::copy(p, p + count, out + size);
    size += count;
  };
  // The run round the ring's end: its head opens the answer, its tail
  // closes it, kept aside meanwhile.
  std::size_t tail_size = 0;
  if (first > 0 || last + 1 < n) {
    unsigned lines = 0;
    for (std::size_t i = last + 1; i < n; ++i) lines |= beyond[i];
    for (std::size_t i = 0; i < first; ++i) lines |= beyond[i];
    const Run wrap =
        clip_run(ring.subspan(last + 1), ring.first(first), ring[last], ring[first], lines, s);
    append(run_.data() + wrap.split, wrap.size - wrap.split);
    tail_size = wrap.split;
    std::copy(run_.data(), run_.data() + tail_size, room(tail_, tail_size));
  }
  for (std::size_t i = first; i <= last;) {
    std::size_t j = i + 1;
    while (j <= last && beyond[j] == 0) ++j;
    append(&ring[i], j - i);
    if (j > last) break;
    unsigned lines = beyond[j];
    for (i = j + 1; beyond[i] != 0; ++i) lines |= beyond[i];  // ring[last] is on the board
    // The run first: clipping it may move run_, so its data is read after.
    const Run run = clip_run(ring.subspan(j, i - j), {}, ring[j - 1], ring[i], lines, s);
    append(run_.data(), run.size);
  }
  append(tail_.data(), tail_size);
  if (nan_) return clip_whole(ring, s);
  return {out_.data(), size};
}

}  // namespace quelmar
