// What anything below the window that can fail gives: a value, or the reason
// there is none as one line of text (naming what failed: a file, an address).
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tamboro {

template <typename T = void>
class Result {
public:
    static Result Ok(T value) { return Result(std::move(value), {}); }
    static Result Failed(std::string reason) { return Result(std::nullopt, std::move(reason)); }

    explicit operator bool() const { return m_value.has_value(); }
    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }
    // Empty when there is a value.
    const std::string& Error() const { return m_error; }

private:
    Result(std::optional<T> value, std::string error) : m_value(std::move(value)), m_error(std::move(error)) {}

    std::optional<T> m_value;
    std::string m_error;
};

// Success without a value, or the reason of the failure.
template <>
class Result<void> {
public:
    static Result Ok() { return Result({}); }
    // A failure always has a reason: an empty one would read as success.
    static Result Failed(std::string reason) { return Result(reason.empty() ? "failed" : std::move(reason)); }

    explicit operator bool() const { return m_error.empty(); }
    // Empty on success.
    const std::string& Error() const { return m_error; }

private:
    explicit Result(std::string error) : m_error(std::move(error)) {}

    std::string m_error;
};

}  // namespace tamboro
