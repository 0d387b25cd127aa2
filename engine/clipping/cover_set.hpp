#pragma once
// The shapes lying over one piece of outline. Rarely more than three, so an
// ascending vector beats a node-based set and still iterates in id order.

#include <algorithm>
#include <vector>

#include "clipping/ids.hpp"

namespace quelmar {

class CoverSet {
 public:
  // Adds `id`; answers whether it was absent.
  bool insert(ShapeId id) {
    auto it = std::lower_bound(ids_.begin(), ids_.end(), id);
    if (it != ids_.end() && *it == id) return false;
    ids_.insert(it, id);
    return true;
  }
  // Removes `id`; answers whether it was present.
  bool erase(ShapeId id) {
    auto it = std::lower_bound(ids_.begin(), ids_.end(), id);
    if (it == ids_.end() || *it != id) return false;
    ids_.erase(it);
    return true;
  }
  bool contains(ShapeId id) const { return std::binary_search(ids_.begin(), ids_.end(), id); }
  bool empty() const { return ids_.empty(); }
  std::size_t size() const { return ids_.size(); }
  std::vector<ShapeId>::const_iterator begin() const { return ids_.begin(); }
  std::vector<ShapeId>::const_iterator end() const { return ids_.end(); }

  friend bool operator==(const CoverSet&, const CoverSet&) = default;

 private:
  std::vector<ShapeId> ids_;  // ascending, no repeats
};

}  // namespace quelmar
