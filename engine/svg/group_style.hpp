#pragma once
// How each drawn group is painted and labelled in the position drawing.

#include <string>
#include <vector>

#include "voronoi/voronoi.hpp"

namespace quelmar {

struct GroupStyle {
  std::string label;  // written on each of the group's stones
  const char* fill;   // territory fill colour
};

struct StyledGroup {
  const VoronoiGroup* group;
  GroupStyle style;
};

// A group is drawn when at least one of its rings has a point.
bool is_drawn(const VoronoiGroup& group);

// Label of a group of `color` at palette rank `rank`: "1", "2", … for Black;
// "A" … "Z", "AA", "BA", … for White.
std::string group_label(Color color, std::size_t rank);

// Territory fill of a group of `color` at palette rank `rank` (cycling every 24).
const char* group_fill(Color color, std::size_t rank);

// The drawn groups with their styles, black groups first, each colour in
// the partition's order. Ranks number each colour's drawn groups by
// ascending lowest stone id.
std::vector<StyledGroup> styled_groups(const Voronoi& voronoi);

}  // namespace quelmar
