#include "clipping/shared_starts.hpp"

#include <algorithm>

namespace quelmar {

namespace {

constexpr std::size_t MIN_SLOTS = 16;

// Crossing points' coordinates differ in their low mantissa bits, which a
// multiply carries into the high bits the table indexes by.
std::uint64_t hash_of(PointKey key) {
  const std::uint64_t h = (key.x ^ (key.y * 0xC2B2AE3D27D4EB4FULL)) * 0x9E3779B97F4A7C15ULL;
  return h ^ (h >> 29);
}

}  // namespace

std::size_t SharedStarts::home(PointKey key) const {
  return hash_of(key) & (slots_.size() - 1);
}

std::size_t SharedStarts::probe(PointKey key) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = home(key);
  while (used_[i] && slots_[i].key != key) i = (i + 1) & mask;
  return i;
}

const SharedStarts::SegList* SharedStarts::find(PointKey key) const {
  if (size_ == 0) return nullptr;
  const std::size_t i = probe(key);
  return used_[i] ? &slots_[i].ids : nullptr;
}

SharedStarts::SegList* SharedStarts::find(PointKey key) {
  return const_cast<SegList*>(static_cast<const SharedStarts*>(this)->find(key));
}

SharedStarts::SegList& SharedStarts::operator[](PointKey key) {
  if (!slots_.empty()) {
    const std::size_t i = probe(key);
    if (used_[i]) return slots_[i].ids;
  }
  reserve_more(1);
  const std::size_t i = probe(key);
  used_[i] = 1;
  slots_[i].key = key;
  slots_[i].ids.clear();
  ++size_;
  return slots_[i].ids;
}

void SharedStarts::remove(PointKey key, SegId id) {
  SegList* ids = find(key);
  if (!ids) return;
  const SegId* at = std::find(ids->begin(), ids->end(), id);
  if (at != ids->end()) ids->erase(at);
  if (ids->empty()) erase(key);
}

void SharedStarts::erase(PointKey key) {
  if (size_ == 0) return;
  const std::size_t mask = slots_.size() - 1;
  std::size_t hole = probe(key);
  if (!used_[hole]) return;
  // Backward shift: pull each later member of the probe run into the hole
  // whenever the hole lies on its way from its home slot.
  for (std::size_t j = (hole + 1) & mask; used_[j]; j = (j + 1) & mask) {
    const std::size_t h = home(slots_[j].key);
    const bool hole_on_the_way = hole <= j ? (h <= hole || h > j) : (h <= hole && h > j);
    if (hole_on_the_way) {
      slots_[hole] = std::move(slots_[j]);
      hole = j;
    }
  }
  used_[hole] = 0;
  slots_[hole].ids = SegList{};
  --size_;
}

void SharedStarts::reserve_more(std::size_t extra) {
  const std::size_t wanted = size_ + extra;
  if (fits(wanted, slots_.size())) return;
  std::size_t capacity = std::max(MIN_SLOTS, slots_.size() * 2);
  while (!fits(wanted, capacity)) capacity *= 2;
  rehash(capacity);
}

void SharedStarts::rehash(std::size_t capacity) {
  // Built aside, so a failed allocation leaves the table as it was.
  SharedStarts grown;
  grown.slots_.resize(capacity);
  grown.used_.assign(capacity, 0);
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    if (!used_[i]) continue;
    const std::size_t j = grown.probe(slots_[i].key);
    grown.used_[j] = 1;
    grown.slots_[j].key = slots_[i].key;
    grown.slots_[j].ids = std::move(slots_[i].ids);  // moves never allocate
  }
  grown.size_ = size_;
  *this = std::move(grown);
}

std::vector<std::pair<PointKey, const SharedStarts::SegList*>> SharedStarts::sorted_entries() const {
  std::vector<std::pair<PointKey, const SegList*>> out;
  out.reserve(size_);
  for (std::size_t i = 0; i < slots_.size(); ++i)
    if (used_[i]) out.emplace_back(slots_[i].key, &slots_[i].ids);
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  return out;
}

bool operator==(const SharedStarts& a, const SharedStarts& b) {
  if (a.size_ != b.size_) return false;
  for (std::size_t i = 0; i < a.slots_.size(); ++i) {
    if (!a.used_[i]) continue;
    const SharedStarts::SegList* other = b.find(a.slots_[i].key);
    if (!other || !(*other == a.slots_[i].ids)) return false;
  }
  return true;
}

}  // namespace quelmar
