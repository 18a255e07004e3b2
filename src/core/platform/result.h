#pragma once

// What everything that can fail returns: a value (or nothing) on success, or
// an error carrying the message the user is shown. One shape, so a caller
// never has to remember whether an empty string, a -1 or a false means
// failure.

#include <QString>

#include <optional>
#include <utility>
#include <variant>

namespace velmar
{

struct Error {
    QString message;
};

inline Error fail(QString message)
{
    return Error{std::move(message)};
}

template <class T = void> class [[nodiscard]] Result
{
  public:
    Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T &value() & { return std::get<0>(v_); }
    const T &value() const & { return std::get<0>(v_); }
    T &&value() && { return std::get<0>(std::move(v_)); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }
    T &operator*() & { return value(); }
    const T &operator*() const & { return value(); }

    // The message of a failure; empty on success.
    QString error() const { return ok() ? QString() : std::get<1>(v_).message; }

  private:
    std::variant<T, Error> v_;
};

template <> class [[nodiscard]] Result<void>
{
  public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    QString error() const { return error_ ? error_->message : QString(); }

  private:
    std::optional<Error> error_;
};

} // namespace velmar
