#pragma once
// Ids of the clipping graph: segments index the arena and are recycled;
// shapes are numbered by a counter that never goes back.

#include <cstdint>
#include <string>

namespace quelmar {

using SegId = std::uint32_t;
using ShapeId = std::uint32_t;

// Diagnostic form inside messages: "SegId(7)".
inline std::string seg_id_text(SegId id) { return "SegId(" + std::to_string(id) + ")"; }

// Diagnostic form inside messages: "ShapeId(3)".
inline std::string shape_id_text(ShapeId id) { return "ShapeId(" + std::to_string(id) + ")"; }

}  // namespace quelmar
