#pragma once
// Making room ahead of a change, so that the change itself cannot fail for
// want of memory: every step that allocates comes before the first one
// that alters anything.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace quelmar {

// Room for `extra` more elements, growing geometrically so that repeated
// calls stay linear. Throws std::bad_alloc with nothing changed.
template <class T>
void reserve_more(std::vector<T>& v, std::size_t extra) {
  const std::size_t wanted = v.size() + extra;
  if (wanted > v.capacity()) v.reserve(std::max(wanted, 2 * v.capacity()));
}

}  // namespace quelmar
