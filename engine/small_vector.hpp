#pragma once
// A vector of trivially copyable values that keeps its first few in place.
// Cover sets and shared-start lists rarely pass three entries, so almost
// none of them ever allocates, and a segment arena copies without a call to
// the allocator per segment.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>

namespace quelmar {

template <class T, std::uint32_t N>
class SmallVector {
  static_assert(std::is_trivially_copyable_v<T> && N > 0);

 public:
  using value_type = T;
  using iterator = T*;
  using const_iterator = const T*;

  SmallVector() = default;
  SmallVector(std::initializer_list<T> values) { assign(values.begin(), values.end()); }
  SmallVector(const SmallVector& other) {
    if (other.size_ > N) {
      assign(other.begin(), other.end());
      return;
    }
    // All N places at once: a copy of fixed size compiles to a few moves,
    // where one of the size would call memmove, and an arena copies
    // hundreds of thousands of these. The places past the size are never
    // read as values; a vector on the heap has more than N of them.
    std::memcpy(static_cast<void*>(inline_), other.data(), sizeof(T) * N);
    size_ = other.size_;
  }
  SmallVector(SmallVector&& other) noexcept { take(other); }
  SmallVector& operator=(const SmallVector& other) {
    if (this != &other) assign(other.begin(), other.end());
    return *this;
  }
  SmallVector& operator=(SmallVector&& other) noexcept {
    if (this != &other) {
      release();
      take(other);
    }
    return *this;
  }
  SmallVector& operator=(std::initializer_list<T> values) {
    assign(values.begin(), values.end());
    return *this;
  }
  ~SmallVector() { release(); }

  std::uint32_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* data() { return on_heap() ? heap_ : inline_; }
  const T* data() const { return on_heap() ? heap_ : inline_; }
  T* begin() { return data(); }
  T* end() { return data() + size_; }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size_; }
  T& operator[](std::uint32_t i) { return data()[i]; }
  const T& operator[](std::uint32_t i) const { return data()[i]; }
  const T& front() const { return data()[0]; }

  // Room for `n` values; allocates only past the inline few. Throws
  // std::bad_alloc with nothing changed.
  void reserve(std::uint32_t n) {
    if (n <= capacity_) return;
    T* grown = static_cast<T*>(::operator new(sizeof(T) * n));
    std::memcpy(static_cast<void*>(grown), data(), sizeof(T) * size_);
    release_heap();
    heap_ = grown;
    capacity_ = n;
  }
  void push_back(T v) { insert(end(), v); }
  // Inserts before `pos`; a full vector doubles first, with nothing changed
  // if that fails.
  T* insert(const T* pos, T v) {
    const std::uint32_t at = static_cast<std::uint32_t>(pos - data());
    if (size_ == capacity_) reserve(capacity_ * 2);
    T* d = data();
    std::memmove(static_cast<void*>(d + at + 1), d + at, sizeof(T) * (size_ - at));
    d[at] = v;
    ++size_;
    return d + at;
  }
  // Removes the value at `pos`, keeping the order of the rest. Never allocates.
  T* erase(const T* pos) {
    const std::uint32_t at = static_cast<std::uint32_t>(pos - data());
    T* d = data();
    std::memmove(static_cast<void*>(d + at), d + at + 1, sizeof(T) * (size_ - at - 1));
    --size_;
    return d + at;
  }
  void clear() { size_ = 0; }

  friend bool operator==(const SmallVector& a, const SmallVector& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

 private:
  bool on_heap() const { return capacity_ > N; }
  void assign(const T* first, const T* last) {
    const auto n = static_cast<std::uint32_t>(last - first);
    if (n > capacity_) {
      // Copy out first: `first` may point into this vector.
      SmallVector grown;
      grown.reserve(n);
      std::memcpy(static_cast<void*>(grown.data()), first, sizeof(T) * n);
      grown.size_ = n;
      *this = std::move(grown);
      return;
    }
    std::memmove(static_cast<void*>(data()), first, sizeof(T) * n);
    size_ = n;
  }
  void take(SmallVector& other) noexcept {
    size_ = other.size_;
    capacity_ = other.capacity_;
    if (other.on_heap()) {
      heap_ = other.heap_;
    } else {
      std::memcpy(static_cast<void*>(inline_), other.inline_, sizeof(T) * size_);
    }
    other.size_ = 0;
    other.capacity_ = N;
  }
  void release_heap() {
    if (on_heap()) ::operator delete(heap_);
  }
  void release() {
    release_heap();
    size_ = 0;
    capacity_ = N;
  }

  std::uint32_t size_ = 0;
  std::uint32_t capacity_ = N;  // more than N: the values live on the heap
  union {
    T inline_[N];
    T* heap_;
  };
};

}  // namespace quelmar
