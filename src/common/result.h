// Errors as values: a Result holds either a value or an error, never both.
#pragma once

#include <cassert>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace tarnix {

/// The error of an operation: its final text, as it reaches the client or the log, and the
/// numeric status it comes from, when it comes from one (a J2534 status, answered beside the text).
struct Error {
  std::string text;
  std::optional<uint32_t> status = std::nullopt;
};

/// Builds an Error from a text.
inline Error Fail(std::string text, std::optional<uint32_t> status = std::nullopt) {
  return Error{std::move(text), status};
}

/// A value of type T, or an error of type E. E defaults to the plain text Error.
template <typename T, typename E = Error>
class [[nodiscard]] Result {
 public:
  Result(T value)
      : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
  Result(E error)
      : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit by design

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & {
    assert(ok());
    return std::get<0>(state_);
  }
  const T& value() const& {
    assert(ok());
    return std::get<0>(state_);
  }
  T&& value() && {
    assert(ok());
    return std::get<0>(std::move(state_));
  }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  const E& error() const& {
    assert(!ok());
    return std::get<1>(state_);
  }
  E&& error() && {
    assert(!ok());
    return std::get<1>(std::move(state_));
  }

 private:
  std::variant<T, E> state_;
};

/// Success without a value, or an error.
template <typename E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  Result(E error) : error_(std::move(error)), failed_(true) {}  // NOLINT: implicit by design

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const E& error() const& {
    assert(failed_);
    return error_;
  }
  E&& error() && {
    assert(failed_);
    return std::move(error_);
  }

 private:
  E error_{};
  bool failed_ = false;
};

/// Success of a Result<void>.
inline Result<void> Ok() {
  return {};
}

}  // namespace tarnix
