#include "support/failing_database.h"

#include <fmt/format.h>

#include "platform/common/error.h"
#include "platform/db/sql_text.h"

namespace kve {

void FailingDatabase::Spend(std::string_view sql) {
  if (left_ == 0 || (!part_.empty() && sql.find(part_) != std::string_view::npos))
    throw IoError(fmt::format("{}: {}: disk I/O error (injected)", base_.Dialect(), db_internal::FirstLine(sql)));
  if (left_ > 0) --left_;
  ++statements_;
}

}  // namespace kve
