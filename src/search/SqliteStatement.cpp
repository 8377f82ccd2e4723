#include "search/SqliteStatement.h"

SqliteStatement::SqliteStatement(sqlite3* database, std::string_view sql) {
    sqlite3_stmt* handle = nullptr;
    result = sqlite3_prepare_v3(database, sql.data(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &handle, nullptr);
    statement.reset(handle);
}

SqliteStatement& SqliteStatement::bind(int index, std::int64_t value) {
    sqlite3_bind_int64(statement.get(), index, value);
    return *this;
}

SqliteStatement& SqliteStatement::bindText(int index, std::string_view text) {
    sqlite3_bind_text(statement.get(), index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

SqliteStatement& SqliteStatement::bindBlob(int index, std::string_view bytes) {
    // A zero-length blob still binds as a blob, not as NULL.
    sqlite3_bind_blob(statement.get(), index, bytes.empty() ? "" : bytes.data(),
                      static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
}

bool SqliteStatement::step() {
    if (!statement)
        return false;
    result = sqlite3_step(statement.get());
    return result == SQLITE_ROW;
}

bool SqliteStatement::run() {
    while (step())
        continue;
    bool done = result == SQLITE_DONE;
    reset();
    return done;
}

void SqliteStatement::reset() {
    sqlite3_reset(statement.get());
    sqlite3_clear_bindings(statement.get());
}

std::int64_t SqliteStatement::integer(int column) const {
    return sqlite3_column_int64(statement.get(), column);
}

std::string SqliteStatement::text(int column) const {
    const void* bytes = sqlite3_column_blob(statement.get(), column);
    int size = sqlite3_column_bytes(statement.get(), column);
    return bytes ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
                 : std::string();
}
