#pragma once
// An ordered map kept as one sorted vector of trivially copyable pairs.
// Iteration is in key order, as with std::map; lookups are binary searches;
// inserting the greatest key so far (ids grow with play) appends. Copying
// it is one block copy, and with room reserved, no insertion allocates:
// callers that must not fail halfway reserve first.

#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <utility>
#include <vector>

namespace quelmar {

template <class K, class V>
class FlatMap {
 public:
  using value_type = std::pair<K, V>;
  using iterator = typename std::vector<value_type>::iterator;
  using const_iterator = typename std::vector<value_type>::const_iterator;

  FlatMap() = default;
  template <class It>
  FlatMap(It first, It last) {
    for (; first != last; ++first) insert_or_assign(first->first, first->second);
  }

  iterator begin() { return items_.begin(); }
  iterator end() { return items_.end(); }
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }

  iterator find(const K& key) {
    auto it = lower(key);
    return it != items_.end() && it->first == key ? it : items_.end();
  }
  const_iterator find(const K& key) const {
    auto it = lower(key);
    return it != items_.end() && it->first == key ? it : items_.end();
  }
  bool contains(const K& key) const { return find(key) != end(); }
  std::size_t count(const K& key) const { return contains(key) ? 1 : 0; }
  // The value under a key that must be present.
  const V& at(const K& key) const { return find(key)->second; }
  // The value under a key, a default one inserted when absent.
  V& operator[](const K& key) {
    auto at = lower(key);
    if (at != items_.end() && at->first == key) return at->second;
    return items_.insert(at, value_type{key, V{}})->second;
  }

  // Inserts or replaces; within reserved room this never allocates.
  iterator insert_or_assign(const K& key, V value) { return insert_or_assign_at(lower(key), key, value); }
  std::size_t erase(const K& key) {
    auto it = find(key);
    if (it == items_.end()) return 0;
    items_.erase(it);
    return 1;
  }
  iterator erase(const_iterator it) { return items_.erase(it); }
  void clear() { items_.clear(); }

  // Room for `extra` more entries, growing geometrically; throws
  // std::bad_alloc with nothing changed.
  void reserve_more(std::size_t extra) {
    const std::size_t wanted = items_.size() + extra;
    if (wanted > items_.capacity()) items_.reserve(std::max(wanted, 2 * items_.capacity()));
  }

  friend bool operator==(const FlatMap& a, const FlatMap& b) { return a.items_ == b.items_; }

 private:
  iterator lower(const K& key) {
    return std::lower_bound(items_.begin(), items_.end(), key,
                            [](const value_type& e, const K& k) { return e.first < k; });
  }
  const_iterator lower(const K& key) const {
    return std::lower_bound(items_.begin(), items_.end(), key,
                            [](const value_type& e, const K& k) { return e.first < k; });
  }
  iterator insert_or_assign_at(iterator at, const K& key, V value) {
    if (at != items_.end() && at->first == key) {
      at->second = value;
      return at;
    }
    return items_.insert(at, value_type{key, value});
  }

  std::vector<value_type> items_;  // ascending by key, no repeats
};

}  // namespace quelmar
