#include "server/dispatch.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/common/error.h"
#include "platform/net/protocol.h"

namespace kve::server {
namespace {

using nlohmann::json;

enum class Arg { Text, Ref, Date };

struct MethodSpec {
  std::string_view name;
  std::vector<Arg> args;
  Answer (RdmExpDados::*run)(const std::vector<std::string>&);
};

const std::vector<MethodSpec>& Methods() {
  using A = Arg;
  static const std::vector<MethodSpec> methods = {
      {"GetTabelas",
       {A::Text, A::Ref, A::Date, A::Date, A::Date, A::Date, A::Date, A::Date, A::Text, A::Ref,
        A::Ref, A::Text, A::Text},
       &RdmExpDados::GetTabelas},
      {"GetHistPalm", {A::Text, A::Text}, &RdmExpDados::GetHistPalm},
      {"InsHistPalm", {A::Text, A::Text, A::Text, A::Text, A::Text}, &RdmExpDados::InsHistPalm},
      {"GetAgrupProd", {A::Text, A::Text}, &RdmExpDados::GetAgrupProd},
  };
  return methods;
}

struct Fault {
  int code;
  std::string message;
};

}  // namespace

std::vector<std::string> MethodNames() {
  std::vector<std::string> names;
  for (const auto& s : Methods()) names.emplace_back(s.name);
  return names;
}

std::optional<std::string> ReadCall(std::string_view body, Call& call, CallRecord& record) {
  record.method = "-";  // the caller, known before the body is read, stays
  record.failed = false;
  record.error.clear();
  json id = nullptr;
  try {
    json req = json::parse(body, nullptr, false);
    if (req.is_discarded()) throw Fault{rpc::kParseError, "request is not JSON"};
    if (!req.is_object())
      throw Fault{rpc::kInvalidRequest, "request is not an object (batches are not served)"};
    if (auto i = req.find("id"); i != req.end() && (i->is_number_integer() || i->is_string()))
      id = *i;
    else
      throw Fault{rpc::kInvalidRequest, "request has no id (number or string)"};
    if (req.value("jsonrpc", json()) != "2.0")
      throw Fault{rpc::kInvalidRequest, "request is not JSON-RPC 2.0"};
    auto m = req.find("method");
    if (m == req.end() || !m->is_string()) throw Fault{rpc::kInvalidRequest, "request has no method"};
    record.method = m->get<std::string>();

    const MethodSpec* spec = nullptr;
    for (const auto& s : Methods())
      if (s.name == record.method) spec = &s;
    if (spec == nullptr)
      throw Fault{rpc::kMethodNotFound, "unknown method \"" + LogText(record.method, 64) + "\""};

    auto p = req.find("params");
    if (p == req.end() || !p->is_array())
      throw Fault{rpc::kInvalidParams, record.method + ": params must be an array"};
    if (p->size() != spec->args.size())
      throw Fault{rpc::kInvalidParams, record.method + ": takes " +
                                           std::to_string(spec->args.size()) + " arguments, got " +
                                           std::to_string(p->size())};
    std::vector<std::string> args;
    for (size_t k = 0; k < p->size(); ++k) {
      const json& a = (*p)[k];
      std::string pos = record.method + ": argument " + std::to_string(k + 1);
      if (!a.is_string()) throw Fault{rpc::kInvalidParams, pos + " is not a text"};
      args.push_back(a.get<std::string>());
      if (spec->args[k] == Arg::Date && !ParseIsoDate(args.back()))
        throw Fault{rpc::kInvalidParams, pos + ": \"" + args.back() + "\" is not a date yyyy-mm-dd"};
    }
    call = Call{id, record.method, std::move(args)};
    return std::nullopt;
  } catch (const Fault& f) {
    record.failed = true;
    record.error = f.message;
    return rpc::EncodeErrorResponse(id, f.code, f.message);
  } catch (const std::exception& e) {
    record.failed = true;
    record.error = e.what();
    return rpc::EncodeErrorResponse(id, rpc::kInternalError, e.what());
  }
}

std::string Dispatch(std::string_view body, const WithModule& withModule, CallRecord& record) {
  Call call;
  if (auto fault = ReadCall(body, call, record)) return *fault;
  try {
    const MethodSpec* spec = nullptr;
    for (const auto& s : Methods())
      if (s.name == call.method) spec = &s;
    Answer answer = withModule([&](RdmExpDados& m) { return (m.*(spec->run))(call.args); });
    if (answer.failed) {
      record.failed = true;
      record.error = std::get<std::string>(answer.value.value);
    }
    return rpc::EncodeAnswer(call.id, answer.value, answer.byref);
  } catch (const std::exception& e) {
    // Not the method's own failure (those come back as answers): the connection to the
    // database could not be had, or the answer could not be written.
    record.failed = true;
    record.error = e.what();
    return rpc::EncodeErrorResponse(call.id, rpc::kInternalError, e.what());
  }
}

std::string LogText(std::string_view text, size_t cap) {
  std::string out;
  size_t n = std::min(text.size(), cap);
  // Not to cut a UTF-8 sequence in two.
  while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          static const char* hex = "0123456789abcdef";
          out += "\\x";
          out += hex[c >> 4];
          out += hex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  if (n < text.size()) out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

std::string CallLogLine(const CallRecord& record, double ms, size_t inBytes, size_t outBytes) {
  char time[32];
  std::snprintf(time, sizeof time, "%.1f", ms);
  std::string line = LogText(record.method, 64) + " " + time + " ms in " + std::to_string(inBytes) +
                     " B out " + std::to_string(outBytes) + " B";
  if (!record.caller.empty()) line += " by " + LogText(record.caller, 64);
  if (record.failed) line += " failed: " + LogText(record.error, 300);
  return line;
}

std::string Describe() {
  json methods = json::object();
  for (const auto& s : Methods()) {
    json args = json::array();
    for (Arg a : s.args) args.push_back(a == Arg::Date ? "date" : a == Arg::Ref ? "text by reference" : "text");
    methods[std::string(s.name)] = std::move(args);
  }
  return json{{"server", rpc::kServerName}, {"protocol", "JSON-RPC 2.0"}, {"methods", methods}}.dump();
}

}  // namespace kve::server
