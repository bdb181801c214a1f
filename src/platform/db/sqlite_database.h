#pragma once
// The SQLite engine: one file (or ":memory:"), opened by Database::Open("sqlite:PATH").

#include <memory>
#include <string>

#include "platform/db/database.h"

namespace kve::db_internal {

std::unique_ptr<Database> OpenSqlite(const std::string& path, bool createFile = true);

}  // namespace kve::db_internal
