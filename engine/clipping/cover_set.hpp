#pragma once
// The shapes lying over one piece of outline. Rarely more than three, so
// they sit inside the segment, ascending, and iterate in id order.

#include <algorithm>

#include "clipping/ids.hpp"
#include "small_vector.hpp"

namespace quelmar {

class CoverSet {
 public:
  // Adds `id`; answers whether it was absent. Only a fifth cover allocates.
  bool insert(ShapeId id) {
    auto it = std::lower_bound(ids_.begin(), ids_.end(), id);
    if (it != ids_.end() && *it == id) return false;
    ids_.insert(it, id);
    return true;
  }
  // Removes `id`; answers whether it was present. Never allocates.
  bool erase(ShapeId id) {
    auto it = std::lower_bound(ids_.begin(), ids_.end(), id);
    if (it == ids_.end() || *it != id) return false;
    ids_.erase(it);
    return true;
  }
  bool contains(ShapeId id) const { return std::binary_search(ids_.begin(), ids_.end(), id); }
  bool empty() const { return ids_.empty(); }
  std::size_t size() const { return ids_.size(); }
  const ShapeId* begin() const { return ids_.begin(); }
  const ShapeId* end() const { return ids_.end(); }

  friend bool operator==(const CoverSet&, const CoverSet&) = default;

 private:
  SmallVector<ShapeId, 4> ids_;  // ascending, no repeats
};

}  // namespace quelmar
