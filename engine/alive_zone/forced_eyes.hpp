#pragma once
// Points left behind by captured stones that always count as playable and
// as living space, until a stone is played within reach of them.

#include <optional>
#include <vector>

#include "flat_map.hpp"
#include "geometry/point.hpp"

namespace quelmar {

class ForcedEyes {
 public:
  using Map = FlatMap<PointKey, Point>;

  // Files the eye under its key, replacing an eye already there. Within
  // reserved room this never allocates.
  void add(Point p) { eyes_.insert_or_assign(PointKey::from(p), p); }
  // Removes and answers the eye stored under exactly p's key.
  std::optional<Point> take(Point p);
  // Whether an eye sits under exactly p's key.
  bool contains(Point p) const { return eyes_.contains(PointKey::from(p)); }
  // Room for `extra` more eyes; throws std::bad_alloc with nothing changed.
  void reserve_more(std::size_t extra) { eyes_.reserve_more(extra); }

  bool empty() const { return eyes_.empty(); }
  std::size_t size() const { return eyes_.size(); }
  // Every eye, in key order.
  const Map& entries() const { return eyes_; }
  Map::const_iterator begin() const { return eyes_.begin(); }
  Map::const_iterator end() const { return eyes_.end(); }

  // Debug/mutable access, for tests that misfile an eye.
  Map& debug_mutable_entries() { return eyes_; }

  friend bool operator==(const ForcedEyes&, const ForcedEyes&) = default;

 private:
  Map eyes_;  // each point filed under its own key
};

inline std::optional<Point> ForcedEyes::take(Point p) {
  auto it = eyes_.find(PointKey::from(p));
  if (it == eyes_.end()) return std::nullopt;
  Point eye = it->second;
  eyes_.erase(it);
  return eye;
}

}  // namespace quelmar
