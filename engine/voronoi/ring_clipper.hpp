#pragma once
// Clipping of group rings to the board, answer for answer as
// clip_ring_to_board, at the cost of one scan for the rings play makes:
// long rings mostly on the board with a few runs of vertices off it.
//
// Every pass of the four-line clipping keeps a vertex that is on the board
// and turns only the runs between such vertices, each run in the same pairs
// of points as a pass over the whole ring. So each run is clipped alone
// between its two on-board ends, and only the ring's first and last pieces
// need care: a pass starts its output at the piece of the edge into its
// first point, which may lie inside the run that wraps round the ring's
// end; that run remembers where each pass splits it. The passes run are
// the ones clip_ring_to_board runs: its box test skips some, and a skipped
// pass is not quite nothing (a crossing may round a hair past its line).

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "geometry/point.hpp"

namespace quelmar {

class RingClipper {
 public:
  // The points of `ring` (open: no repeated first point) clipped to
  // [0, s] x [0, s] exactly as clip_ring_to_board clips them; empty when
  // that drops the ring. The answer lives until the next call.
  std::span<const Point> clip(std::span<const Point> ring, double s);
  // The same, given beyond[i] == clip_lines::beyond_lines(ring[i], s) for
  // every point, as a caller that knows them already passes them.
  std::span<const Point> clip(std::span<const Point> ring, std::span<const std::uint8_t> beyond,
                              double s);

 private:
  // A clipped run of off-board vertices, in run_: of a run that wraps
  // round the ring's end, the first `split` points end the answer and the
  // rest start it.
  struct Run {
    std::size_t size = 0, split = 0;
  };

  Run clip_run(std::span<const Point> tail, std::span<const Point> head, Point before, Point after,
               unsigned lines, double s);
  std::span<const Point> clip_whole(std::span<const Point> ring, double s);

  std::vector<Point> out_, run_, spare_, tail_, whole_;
  std::vector<std::uint8_t> beyond_;  // per point of the current ring: lines it lies beyond
  bool nan_ = false;   // a crossing of the current ring came out NaN
  bool skip_[4] = {};  // passes skipped for the current ring: left, right, bottom, top
};

}  // namespace quelmar
