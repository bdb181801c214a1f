#pragma once
// The SQLite engine: one file (or ":memory:"), opened by Database::Open("sqlite:PATH").

#include <memory>
#include <string>

#include "platform/db/database.h"

namespace kve::db_internal {

std::unique_ptr<Database> OpenSqlite(const std::string& path, bool createFile = true);

// The pragmas every connection to a file runs when it opens, as one script (the benchmarks
// give the sqlite3 shell the same ones).
const char* SqliteConnectionPragmas();

}  // namespace kve::db_internal
