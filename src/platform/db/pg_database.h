#pragma once
// The PostgreSQL engine (libpq), opened by Database::Open("postgresql://...").

#include <memory>
#include <string>

#include "platform/db/database.h"

namespace kve::db_internal {

std::unique_ptr<Database> OpenPostgres(const std::string& url);

// The planner settings every session sets when it opens, one SET statement a line (the
// benchmarks give psql the same ones). A server that does not know one keeps its default.
const char* PgSessionSettings();

}  // namespace kve::db_internal
