#pragma once
// A value or a typed error, in the manner of LLVM's Expected<T>. Engine
// operations answer one of these instead of throwing.

#include <type_traits>
#include <utility>
#include <variant>

namespace quelmar {

template <class E>
struct Err {
  E error;
};
template <class E>
Err(E) -> Err<E>;

template <class T, class E>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Err<E> err) : state_(std::in_place_index<1>, std::move(err.error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // Precondition: ok().
  T& value() { return std::get<0>(state_); }
  const T& value() const { return std::get<0>(state_); }
  // Precondition: !ok().
  E& error() { return std::get<1>(state_); }
  const E& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, E> state_;
};

// Success without a value.
struct Ok {};

template <class E>
using Status = Result<Ok, E>;

}  // namespace quelmar
