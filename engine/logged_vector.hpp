#pragma once
// A vector that logs every change it takes, so that everything changed
// since a mark can be taken back exactly, newest first, without allocating.
// Structures kept across moves are built from these: a move's changes are
// taken back by rolling each vector back to the mark taken before it.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "room.hpp"

namespace quelmar {

template <class T>
class LoggedVector {
 public:
  // A position in the log; everything logged after it can be rolled back.
  using Mark = std::size_t;

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const T& operator[](std::size_t i) const { return items_[i]; }
  const T& back() const { return items_.back(); }
  const std::vector<T>& items() const { return items_; }

  // Writes v at i and logs the value it replaces.
  void set(std::size_t i, const T& v) {
    log_.push_back({static_cast<std::uint32_t>(i), items_[i]});
    items_[i] = v;
  }
  void push_back(const T& v) {
    reserve_more(1);
    items_.push_back(v);
    log_.push_back({APPENDED, T{}});
  }
  void pop_back() {
    quelmar::reserve_more(log_, 1);
    log_.push_back({REMOVED, items_.back()});
    items_.pop_back();
  }
  // Room for `items` more elements and as many logged changes; throws
  // std::bad_alloc with nothing changed.
  void reserve_more(std::size_t items, std::size_t changes = 1) {
    quelmar::reserve_more(items_, items);
    quelmar::reserve_more(log_, changes);
  }
  void reserve_log(std::size_t changes) { quelmar::reserve_more(log_, changes); }

  Mark mark() const { return log_.size(); }
  // Takes back every change logged after `m`, newest first. Never
  // allocates: an element popped since is pushed back into room the
  // vector still holds.
  void rollback(Mark m) noexcept {
    while (log_.size() > m) {
      const Entry& e = log_.back();
      if (e.index == APPENDED)
        items_.pop_back();
      else if (e.index == REMOVED)
        items_.push_back(e.old);
      else
        items_[e.index] = e.old;
      log_.pop_back();
    }
  }
  // Forgets the changes logged before `m`: they can no longer be taken
  // back. Marks taken after `m` move down by `m`.
  void forget_before(Mark m) { log_.erase(log_.begin(), log_.begin() + static_cast<std::ptrdiff_t>(m)); }
  // The contents without a log, for a build from scratch.
  std::vector<T>& unlogged() {
    log_.clear();
    return items_;
  }
  void clear_log() { log_.clear(); }
  std::size_t log_size() const { return log_.size(); }

 private:
  static constexpr std::uint32_t APPENDED = 0xFFFFFFFFu;
  static constexpr std::uint32_t REMOVED = 0xFFFFFFFEu;
  struct Entry {
    std::uint32_t index;  // the element written, or APPENDED / REMOVED
    T old;
  };
  std::vector<T> items_;
  std::vector<Entry> log_;
};

}  // namespace quelmar
