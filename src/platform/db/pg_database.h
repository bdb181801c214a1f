#pragma once
// The PostgreSQL engine (libpq), opened by Database::Open("postgresql://...").

#include <memory>
#include <string>

#include "platform/db/database.h"

namespace kve::db_internal {

std::unique_ptr<Database> OpenPostgres(const std::string& url);

}  // namespace kve::db_internal
