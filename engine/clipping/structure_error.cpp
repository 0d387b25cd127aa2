#include "clipping/structure_error.hpp"

namespace quelmar {

std::string StructureError::message() const {
  const std::string seg = seg_id_text(segment);
  const std::string shp = shape_id_text(shape);
  switch (kind) {
    case Kind::MissingSegment:
      return "shape " + shp + " links to segment " + seg + ", which is not in the arena";
    case Kind::WrongOwner:
      return "segment " + seg + " is in shape " + shp + "'s list but belongs to " + shape_id_text(owner);
    case Kind::InSeveralLists:
      return "segment " + seg + " is in more than one shape's list";
    case Kind::LinkMismatch:
      return "segments " + seg + " and " + seg_id_text(other_segment) + " do not agree about the link between them";
    case Kind::WalkTooLong:
      return "walking shape " + shp + "'s list did not return to its head within " + std::to_string(count) +
             " segments";
    case Kind::LengthMismatch:
      return "shape " + shp + " records " + std::to_string(count) + " segments but its list holds " +
             std::to_string(other_count);
    case Kind::OffsetsOutOfOrder:
      return "shape " + shp + "'s segment offsets are not in order";
    case Kind::OffsetMismatch:
      return "segment " + seg + "'s offset is not the offset of its start point";
    case Kind::NotIndexed:
      return "segment " + seg + " is not indexed under the point it starts at";
    case Kind::IndexedMissing:
      return "the shared-start index refers to segment " + seg + ", which is not in the arena";
    case Kind::IndexedElsewhere:
      return "segment " + seg + " is indexed under a point it does not start at";
    case Kind::IndexedTwice:
      return "the shared-start index lists segment " + seg + " twice under one point";
    case Kind::EmptyIndexEntry:
      return "the shared-start index holds a point with no segments";
    case Kind::Unreachable:
      return "segment " + seg + " is alive but no shape's list reaches it";
    case Kind::IndexCountMismatch:
      return "the shared-start index holds " + std::to_string(count) + " segments but " +
             std::to_string(other_count) + " are alive";
    case Kind::CoveredByMissing:
      return "segment " + seg + " is covered by shape " + shp + ", which no longer exists";
    case Kind::SelfCover:
      break;
  }
  return "shape " + shp + " covers part of its own outline";
}

}  // namespace quelmar
