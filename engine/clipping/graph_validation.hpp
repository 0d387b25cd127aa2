#pragma once
// The clipping graph checking itself: every list walked and bounded, every
// offset recomputed from its start point, the shared-start index rebuilt.

#include <optional>

#include "clipping/clipping_graph.hpp"
#include "clipping/structure_error.hpp"

namespace quelmar {

// The first broken invariant of the graph, or none. Read-only.
std::optional<StructureError> check_clipping_graph(const ClippingGraph& graph);

}  // namespace quelmar
