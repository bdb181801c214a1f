#pragma once
// Parameters of the server's SQL texts. A text names its inputs as :P_NAME; the server binds
// each by name from the request's values (never splicing a value into the text). A list
// parameter (the aggregated branches) is written once, inside IN ( ... ), and is expanded into
// one numbered parameter per element before the text runs.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/database.h"

namespace kve::server {

// The :P_ names a text uses, in order of first use, without the colon. String literals,
// quoted identifiers, comments and "::" casts are skipped.
std::vector<std::string> ParameterNames(std::string_view sql);

// Values for the texts of one request, by parameter name ("P_CDFILIAL").
class SqlValues {
 public:
  void SetText(std::string name, std::string value);
  void SetInteger(std::string name, int64_t value);
  void SetDate(std::string name, TDateTime value);
  void SetDateTime(std::string name, TDateTime value);
  // A list bound as NAME1, NAME2, ...; an empty list binds one NULL, which matches nothing.
  void SetList(std::string name, std::vector<std::string> values);

  // `sql` with its list parameters expanded, and the values it uses. Raises Error naming
  // `origin` and the parameter when the text uses one that has no value.
  struct Prepared {
    std::string sql;
    std::vector<SqlParam> params;
  };
  Prepared Prepare(std::string_view sql, std::string_view origin) const;

 private:
  std::map<std::string, SqlParam, std::less<>> scalars_;
  std::map<std::string, std::vector<std::string>, std::less<>> lists_;
};

}  // namespace kve::server
