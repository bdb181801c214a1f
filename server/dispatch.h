#pragma once
// JSON-RPC dispatch of the application server: reads a request body, checks the method and its
// arguments, runs the method and writes the response body. Transport-level faults (not JSON,
// not a request, unknown method, wrong arguments) are JSON-RPC errors; a failure inside a
// method is that method's text answer (rdm_exp_dados.h).

#include <functional>
#include <optional>

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "server/rdm_exp_dados.h"

namespace kve::server {

// What one call did, for the log line.
struct CallRecord {
  std::string method;  // "-" when the request named none
  bool failed = false;      // a JSON-RPC error or a method's failure answer
  std::string error;        // its text
  std::string caller;       // the name of the token the call came with ("" none needed)
};

// Runs the module's methods; the dispatcher calls it only for a known method with well-formed
// arguments. It gives a module on a database connection to `run` for the length of the call.
using WithModule = std::function<Answer(const std::function<Answer(RdmExpDados&)>& run)>;

// A request that names a served method with well-formed arguments.
struct Call {
  nlohmann::json id;
  std::string method;
  std::vector<std::string> args;
};

// Reads and checks a request: fills `call` and answers nothing, or answers the JSON-RPC
// error response of what is wrong with it (and `record` says so). Never throws.
std::optional<std::string> ReadCall(std::string_view body, Call& call, CallRecord& record);

// Never throws: every failure becomes a response.
std::string Dispatch(std::string_view body, const WithModule& withModule, CallRecord& record);

// `text` as a log line may quote it: control characters escaped (\n, \x1b...), so that a
// request cannot forge lines, and cut after `cap` bytes with a note of how long it was.
std::string LogText(std::string_view text, size_t cap = 200);

// The log line of one call: method, time, sizes and, for a failure, its text.
std::string CallLogLine(const CallRecord& record, double ms, size_t inBytes, size_t outBytes);

// The names of the methods served.
std::vector<std::string> MethodNames();

// The description the server gives at GET /<server name>: name and method signatures.
std::string Describe();

}  // namespace kve::server
