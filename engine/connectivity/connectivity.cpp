#include "connectivity/connectivity.hpp"

namespace quelmar {

void Connectivity::invalidate_near(Point point) {
  std::erase_if(cache_, [&](const auto& entry) {
    const CutStatus& s = entry.second;
    const Point mid = (s.p + s.q) * 0.5;
    return !(distance(point, mid) > CUT_REACH);
  });
}

std::optional<CutKind> Connectivity::lookup(const CutKey& key) const {
  auto it = cache_.find(key);
  if (it == cache_.end()) return std::nullopt;
  return it->second.kind;
}

}  // namespace quelmar
