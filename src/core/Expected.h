// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <concepts>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace kalindor {

// The failure side of an Expected: wraps the error so that a value and an error of the same
// type can never be confused at a return statement.
template <class E>
struct Unexpected {
    E error;
};

template <class E>
Unexpected<std::decay_t<E>> unexpected(E&& error) {
    return Unexpected<std::decay_t<E>>{std::forward<E>(error)};
}

namespace detail {
template <class T>
inline constexpr bool kIsUnexpected = false;
template <class E>
inline constexpr bool kIsUnexpected<Unexpected<E>> = true;

// What an Expected<T> is made from as a value: anything a T is made from, except an Expected
// (that is a copy or a move) and an Unexpected (that is an error).
template <class U, class T, class Self>
concept ValueSource =
    std::constructible_from<T, U> && !std::same_as<std::remove_cvref_t<U>, Self> &&
    !kIsUnexpected<std::remove_cvref_t<U>>;

template <class G, class E>
concept ErrorSource = std::constructible_from<E, G>;
}  // namespace detail

// The result of an operation that can fail: either a T or the E saying why not. A subset of
// C++23 std::expected with the same names, so that it can be replaced by it. The default error
// is a reason in English that the caller shows as it is. Converts to true on success. value()
// and error() on the wrong side throw; operator* and operator-> there are undefined.
template <class T, class E = std::string>
class [[nodiscard]] Expected {
  public:
    // ValueSource excludes Expected itself, so copies and moves still take their constructors.
    template <detail::ValueSource<T, Expected> U = T>
    explicit(!std::convertible_to<U, T>)
        Expected(U&& value)  // NOLINT(bugprone-forwarding-reference-overload)
        : content_(std::in_place_index<0>, std::forward<U>(value)) {}

    template <detail::ErrorSource<E> G>
    Expected(Unexpected<G> failure) : content_(std::in_place_index<1>, std::move(failure.error)) {}

    bool has_value() const { return content_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value() & { return std::get<0>(content_); }
    const T& value() const& { return std::get<0>(content_); }
    T&& value() && { return std::get<0>(std::move(content_)); }

    T& operator*() & { return *std::get_if<0>(&content_); }
    const T& operator*() const& { return *std::get_if<0>(&content_); }
    T&& operator*() && { return std::move(*std::get_if<0>(&content_)); }
    T* operator->() { return std::get_if<0>(&content_); }
    const T* operator->() const { return std::get_if<0>(&content_); }

    E& error() & { return std::get<1>(content_); }
    const E& error() const& { return std::get<1>(content_); }
    E&& error() && { return std::get<1>(std::move(content_)); }

  private:
    std::variant<T, E> content_;
};

// An operation that has nothing to return but can fail. Default-constructed = success.
template <class E>
class [[nodiscard]] Expected<void, E> {
  public:
    Expected() = default;

    template <detail::ErrorSource<E> G>
    Expected(Unexpected<G> failure) : error_(std::in_place, std::move(failure.error)) {}

    bool has_value() const { return !error_.has_value(); }
    explicit operator bool() const { return has_value(); }

    E& error() & { return error_.value(); }
    const E& error() const& { return error_.value(); }
    E&& error() && { return std::move(error_).value(); }

  private:
    std::optional<E> error_;
};

}  // namespace kalindor
