// One prepared SQLite statement, finalized when it goes: binding by
// position from 1, stepping, reading columns as integers and bytes.
#pragma once

#include <cstdint>
#include <sqlite3.h>
#include <string_view>
#include <utility>

namespace tamboro {

class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, const char* sql) { m_result = sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr); }
    ~SqliteStatement() { sqlite3_finalize(m_statement); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // SQLITE_OK once prepared, else the error.
    int Prepared() const { return m_result; }

    void Bind(int position, int64_t value) { sqlite3_bind_int64(m_statement, position, value); }
    void Bind(int position, std::string_view bytes)
    {
        // A zero-length blob, not NULL, for empty bytes; copied, so that
        // the bytes may go before the statement runs.
        sqlite3_bind_blob64(m_statement, position, bytes.empty() ? "" : bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    }
    // Not copied: the bytes must stay until the statement has run.
    void BindKept(int position, std::string_view bytes)
    {
        sqlite3_bind_blob64(m_statement, position, bytes.empty() ? "" : bytes.data(), bytes.size(), SQLITE_STATIC);
    }
    void BindNull(int position) { sqlite3_bind_null(m_statement, position); }

    // SQLITE_ROW, SQLITE_DONE or an error (also when not prepared).
    int Step() { return m_statement == nullptr ? m_result : sqlite3_step(m_statement); }
    // Steps to the end, then readies the statement for new bindings.
    int Run()
    {
        int result = Step();
        while (result == SQLITE_ROW)
            result = Step();
        Reset();
        return result == SQLITE_DONE ? SQLITE_OK : result;
    }
    void Reset()
    {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }

    int64_t Integer(int column) const { return sqlite3_column_int64(m_statement, column); }
    std::string_view Bytes(int column) const
    {
        const void* data = sqlite3_column_blob(m_statement, column);
        const int size = sqlite3_column_bytes(m_statement, column);
        return data == nullptr ? std::string_view() : std::string_view(static_cast<const char*>(data), size);
    }
    bool IsNull(int column) const { return sqlite3_column_type(m_statement, column) == SQLITE_NULL; }

private:
    sqlite3_stmt* m_statement = nullptr;
    int m_result = SQLITE_OK;
};

}  // namespace tamboro
