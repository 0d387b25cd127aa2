#pragma once
// Segments by the exact key of their start point, each key's list in
// insertion order. The two segments that start at one crossing share an
// entry. Kept as an open-addressing hash table: every carve looks up and
// files a handful of keys, and a table of flat slots does that without the
// allocator and copies as two blocks. Nothing iterates it where order could
// reach an answer; validation walks it in key order.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "clipping/ids.hpp"
#include "geometry/point.hpp"
#include "small_vector.hpp"

namespace quelmar {

class SharedStarts {
 public:
  // Rarely more than two: the two segments of one crossing.
  using SegList = SmallVector<SegId, 2>;

  // The list under a key, or null when the key has no entry.
  const SegList* find(PointKey key) const;
  SegList* find(PointKey key);
  // The list under a key that has an entry.
  const SegList& at(PointKey key) const { return *find(key); }
  // The list under a key, made (empty) when absent.
  SegList& operator[](PointKey key);

  // Appends `id` to the key's list, making the entry when absent.
  void append(PointKey key, SegId id) { (*this)[key].push_back(id); }
  // Takes `id` out of the key's list, and the entry out once it is empty.
  // Never allocates.
  void remove(PointKey key, SegId id);
  // Drops a key's entry; no effect when absent. Never allocates.
  void erase(PointKey key);

  // Room for `extra` more keys, so that appending a new key's first id
  // cannot allocate; throws std::bad_alloc with nothing changed.
  void reserve_more(std::size_t extra);

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Every entry, ascending by key.
  std::vector<std::pair<PointKey, const SegList*>> sorted_entries() const;

  // The same keys with the same lists; the table's layout is not compared.
  friend bool operator==(const SharedStarts& a, const SharedStarts& b);

 private:
  struct Slot {
    PointKey key;
    SegList ids;
  };

  std::size_t home(PointKey key) const;
  // The slot holding the key, or the empty slot where it would go.
  std::size_t probe(PointKey key) const;
  void rehash(std::size_t capacity);
  // At most three fifths full, so that probe runs stay short.
  static bool fits(std::size_t keys, std::size_t slots) { return keys * 5 <= slots * 3; }

  std::vector<Slot> slots_;           // a power of two long, or empty
  std::vector<std::uint8_t> used_;    // 1 where a slot holds an entry
  std::size_t size_ = 0;              // entries held
};

}  // namespace quelmar
