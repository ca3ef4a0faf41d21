// What reading, fetching or writing a table gives: a value, or the reason
// there is none as one line of text naming the address, and as a kind
// (TableFailure) where reading or fetching gave one.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "tables/TableFailure.h"

namespace tamboro {

template <typename T>
class TableResult {
public:
    static TableResult Ok(T value) { return TableResult(std::move(value), {}, {}); }
    static TableResult Failed(std::string error, TableFailure failure = {})
    {
        return TableResult(std::nullopt, std::move(error), failure);
    }

    explicit operator bool() const { return m_value.has_value(); }
    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }
    // Empty when there is a value.
    const std::string& Error() const { return m_error; }
    // The kind of the failure; Other when there is a value.
    const TableFailure& Failure() const { return m_failure; }

private:
    TableResult(std::optional<T> value, std::string error, TableFailure failure)
        : m_value(std::move(value)), m_error(std::move(error)), m_failure(failure)
    {}

    std::optional<T> m_value;
    std::string m_error;
    TableFailure m_failure;
};

}  // namespace tamboro
