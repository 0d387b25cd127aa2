#pragma once
// The alive zone checking itself: its clipping structure first, then that
// every circle is named exactly once and every forced eye filed under its
// own key.

#include <cstdint>
#include <optional>
#include <string>

#include "alive_zone/alive_zone.hpp"
#include "clipping/structure_error.hpp"
#include "game/stone.hpp"
#include "geometry/point.hpp"

namespace quelmar {

struct ZoneError {
  enum class Kind : std::uint8_t {
    Structure,
    DeadZoneMissing,
    DeadZoneIsEdge,
    DeadZoneShared,
    OrphanCircle,
    TemporaryCircle,
    ForcedEyeMisfiled,
  };
  Kind kind;
  std::optional<StructureError> structure;  // Structure
  StoneId stone = 0;                         // DeadZoneMissing, DeadZoneIsEdge
  ShapeId shape = 0;                         // every kind but Structure and ForcedEyeMisfiled
  Point eye;                                 // ForcedEyeMisfiled

  // The fixed English text; a structure error nests inside it.
  std::string message() const;
};

// The first broken invariant of the zone, or none. Read-only.
std::optional<ZoneError> check_alive_zone(const AliveZone& zone);

}  // namespace quelmar
