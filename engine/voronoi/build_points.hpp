#pragma once
// The points the partition triangulates: the stones in id order, then four
// far sentinels round the clip box [-2 s, 3 s]^2. Their diamond holds every
// point of the box strictly inside, so every stone on the board has a
// bounded cell; a sentinel's index is therefore >= the stone count.

#include <span>
#include <vector>

#include "game/stone.hpp"

namespace quelmar {

inline void fill_build_points(std::vector<Point>& points, std::span<const Stone> stones,
                              double board_size) {
  points.clear();
  for (const Stone& s : stones) points.push_back(s.position);
  const Point min{-2.0 * board_size, -2.0 * board_size};
  const Point max{3.0 * board_size, 3.0 * board_size};
  const double w = max.x - min.x, h = max.y - min.y;
  points.push_back({min.x - w, min.y + h / 2});
  points.push_back({max.x + w, min.y + h / 2});
  points.push_back({min.x + w / 2, min.y - h});
  points.push_back({min.x + w / 2, max.y + h});
}

}  // namespace quelmar
