#pragma once
// The key of a cached cut answer: a pair of stones, or a stone and a board
// edge.

#include <compare>
#include <cstdint>

#include "connectivity/cut_types.hpp"
#include "game/stone.hpp"

namespace quelmar {

struct CutKey {
  enum class Tag : std::uint8_t { Pair = 0, Boundary = 1 };
  Tag tag = Tag::Pair;
  BoardEdge edge = BoardEdge::LEFT;  // Boundary only; LEFT for a pair
  StoneId first = 0;
  StoneId second = 0;  // Pair only; 0 for a boundary

  // A question and its mirror share one key: the smaller id comes first.
  static CutKey pair(StoneId a, StoneId b) {
    return {Tag::Pair, BoardEdge::LEFT, a < b ? a : b, a < b ? b : a};
  }
  static CutKey boundary(StoneId stone, BoardEdge edge) { return {Tag::Boundary, edge, stone, 0}; }

  friend bool operator==(const CutKey&, const CutKey&) = default;
  // Pairs before boundaries, then by first id, then by the second id (a
  // pair) or the edge (a boundary), all unsigned.
  friend std::strong_ordering operator<=>(const CutKey& a, const CutKey& b) {
    if (auto c = a.tag <=> b.tag; c != 0) return c;
    if (auto c = a.first <=> b.first; c != 0) return c;
    if (a.tag == Tag::Boundary) return a.edge <=> b.edge;
    return a.second <=> b.second;
  }
};

}  // namespace quelmar
