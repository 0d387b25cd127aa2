#pragma once
// A standalone SVG drawing of a position: group territories, the hatched
// dead area masked by the playable area's outline, forced eyes, stones and
// group labels.

#include <string>

#include "alive_zone/alive_zone.hpp"
#include "voronoi/voronoi.hpp"

namespace quelmar {

// One-decimal text of a coordinate, correctly rounded (ties to even), with
// -0.0 printed as 0.0.
std::string one_decimal_text(double v);

// The outline path data of the playable area's exposed boundary; empty when
// nothing is exposed.
std::string outline_path_data(const ClippingGraph& graph);

// The whole document.
std::string dump_svg(double board_size, const AliveZone& zone, const Voronoi& voronoi);

}  // namespace quelmar
