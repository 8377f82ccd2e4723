#pragma once

#include <cstdint>
#include <memory>
#include <sqlite3.h>
#include <string>
#include <string_view>

// One prepared SQLite statement, finalized with its owner. Parameters are numbered from 1 and
// columns from 0, as SQLite numbers them; a failed step leaves its result code in lastResult().
class SqliteStatement {
public:
    SqliteStatement() = default;
    // An invalid statement (valid() false) when the text does not compile.
    SqliteStatement(sqlite3* database, std::string_view sql);

    bool valid() const { return statement != nullptr; }
    int lastResult() const { return result; }

    SqliteStatement& bind(int index, std::int64_t value);
    SqliteStatement& bindText(int index, std::string_view text);
    // Bytes that need not be UTF-8, such as file names.
    SqliteStatement& bindBlob(int index, std::string_view bytes);

    // True while a row is ready; false when done or failed (see lastResult()).
    bool step();
    // Steps to the end and resets; answers whether it finished without an error.
    bool run();
    void reset();

    std::int64_t integer(int column) const;
    std::string text(int column) const;

private:
    struct Finalizer {
        void operator()(sqlite3_stmt* handle) const { sqlite3_finalize(handle); }
    };
    std::unique_ptr<sqlite3_stmt, Finalizer> statement;
    int result = SQLITE_OK;
};
