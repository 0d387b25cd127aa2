#pragma once
// A broken invariant of the clipping graph, found by its own check.

#include <cstdint>
#include <string>

#include "clipping/ids.hpp"

namespace quelmar {

struct StructureError {
  enum class Kind : std::uint8_t {
    MissingSegment,      // shape, segment
    WrongOwner,          // segment, shape, owner
    InSeveralLists,      // segment
    LinkMismatch,        // segment, other segment
    WalkTooLong,         // shape, count (len)
    LengthMismatch,      // shape, count (len), other count (steps)
    OffsetsOutOfOrder,   // shape
    OffsetMismatch,      // segment
    NotIndexed,          // segment
    IndexedMissing,      // segment
    IndexedElsewhere,    // segment
    IndexedTwice,        // segment
    EmptyIndexEntry,     //
    Unreachable,         // segment
    IndexCountMismatch,  // count (index sum), other count (live)
    CoveredByMissing,    // segment, shape (the cover)
    SelfCover,           // shape
  };
  Kind kind;
  SegId segment = 0;
  SegId other_segment = 0;
  ShapeId shape = 0;
  ShapeId owner = 0;
  std::uint64_t count = 0;
  std::uint64_t other_count = 0;

  // The fixed English text, ids in their diagnostic forms.
  std::string message() const;
};

}  // namespace quelmar
