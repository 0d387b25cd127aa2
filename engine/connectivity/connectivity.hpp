#pragma once
// The cut-question engine of a game and its cache of answers. An answer
// stays until a stone is placed or removed within reach of its anchors.

#include <map>
#include <optional>

#include "connectivity/cut_key.hpp"
#include "connectivity/cut_types.hpp"
#include "geometry/point.hpp"

namespace quelmar {

// A cached verdict with the two points it is anchored to: the stones'
// centres for a pair, the stone's centre and its foot on the edge for a
// boundary. Only CONNECTED and CUTTABLE are ever stored.
struct CutStatus {
  Point p;
  Point q;
  CutKind kind = CutKind::CONNECTED;
};

// Enemy stones within this distance of a question's midpoint take part in
// its answer, so a change that near drops the answer.
inline constexpr double CUT_REACH = 4.02;

class Connectivity {
 public:
  // An empty cache for a board of this size (taken unchecked).
  explicit Connectivity(double board_size) : board_size_(board_size) {}

  double board_size() const { return board_size_; }

  // Drops every answer whose anchors' midpoint lies within CUT_REACH of
  // `point` (inclusive; a NaN distance drops it too), keeping the rest.
  void invalidate_near(Point point);

  const std::map<CutKey, CutStatus>& cache() const { return cache_; }
  // The stored verdict for the key, if any.
  std::optional<CutKind> lookup(const CutKey& key) const;
  // Stores an answer, replacing any under the same key.
  void store(const CutKey& key, const CutStatus& status) { cache_[key] = status; }

 private:
  double board_size_;
  std::map<CutKey, CutStatus> cache_;
};

}  // namespace quelmar
