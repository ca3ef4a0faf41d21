// What reading, fetching or writing a table gives: a value, or the reason
// there is none as one line of text naming the address.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tamboro {

template <typename T>
class TableResult {
public:
    static TableResult Ok(T value) { return TableResult(std::move(value), {}); }
    static TableResult Failed(std::string error) { return TableResult(std::nullopt, std::move(error)); }

    explicit operator bool() const { return m_value.has_value(); }
    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }
    // Empty when there is a value.
    const std::string& Error() const { return m_error; }

private:
    TableResult(std::optional<T> value, std::string error) : m_value(std::move(value)), m_error(std::move(error)) {}

    std::optional<T> m_value;
    std::string m_error;
};

}  // namespace tamboro
