#include "alive_zone/zone_validation.hpp"

#include <set>

#include "clipping/graph_validation.hpp"
#include "geometry/number_text.hpp"

namespace quelmar {

std::string ZoneError::message() const {
  const std::string shp = shape_id_text(shape);
  const std::string st = std::to_string(stone);
  switch (kind) {
    case Kind::Structure:
      return "the clipping structure is corrupt: " + (structure ? structure->message() : std::string());
    case Kind::DeadZoneMissing:
      return "stone " + st + "'s dead zone names shape " + shp + ", which is not in the graph";
    case Kind::DeadZoneIsEdge:
      return "stone " + st + "'s dead zone names shape " + shp + ", which is a board edge";
    case Kind::DeadZoneShared:
      return "shape " + shp + " is named as the dead zone of more than one stone";
    case Kind::OrphanCircle:
      return "shape " + shp + " is a dead zone that no stone names";
    case Kind::TemporaryCircle:
      return "the temporary circle names shape " + shp + ", which is not a dead zone in the graph";
    case Kind::ForcedEyeMisfiled:
      break;
  }
  return "the forced eye at " + point_diagnostic_text(eye) + " is filed under another point's key";
}

namespace {

ZoneError shape_error(ZoneError::Kind kind, ShapeId shape, StoneId stone = 0) {
  ZoneError e{kind};
  e.shape = shape;
  e.stone = stone;
  return e;
}

// Every circle must be named once: by a stone's dead zone or as a
// temporary circle of a running cut question.
std::optional<ZoneError> check_names(const AliveZone& zone) {
  const ClippingGraph& graph = zone.graph();
  std::set<ShapeId> named;
  for (ShapeId s : zone.temporary_circles()) {
    const Shape* shape = graph.shape(s);
    if (!shape || !as_circle(shape->geometry)) return shape_error(ZoneError::Kind::TemporaryCircle, s);
    named.insert(s);
  }
  for (const auto& [stone, s] : zone.dead_zones()) {
    const Shape* shape = graph.shape(s);
    if (!shape) return shape_error(ZoneError::Kind::DeadZoneMissing, s, stone);
    if (!as_circle(shape->geometry)) return shape_error(ZoneError::Kind::DeadZoneIsEdge, s, stone);
    if (!named.insert(s).second) return shape_error(ZoneError::Kind::DeadZoneShared, s);
  }
  for (const auto& [id, shape] : graph.shapes())
    if (as_circle(shape.geometry) && !named.count(id)) return shape_error(ZoneError::Kind::OrphanCircle, id);
  return std::nullopt;
}

}  // namespace

std::optional<ZoneError> check_alive_zone(const AliveZone& zone) {
  if (std::optional<StructureError> s = check_clipping_graph(zone.graph())) {
    ZoneError e{ZoneError::Kind::Structure};
    e.structure = s;
    return e;
  }
  if (std::optional<ZoneError> e = check_names(zone)) return e;
  for (const auto& [key, eye] : zone.forced_eyes()) {
    if (PointKey::from(eye) != key) {
      ZoneError e{ZoneError::Kind::ForcedEyeMisfiled};
      e.eye = eye;
      return e;
    }
  }
  return std::nullopt;
}

}  // namespace quelmar
