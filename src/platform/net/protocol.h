#pragma once
// The wire form of remote calls, shared by the link and the application server: JSON-RPC 2.0
// over HTTP, POST /<server name>, positional params (texts as strings, dates "yyyy-mm-dd").
// A reply's result is {"value": V, "kind": K, "byref": {"2": "...", ...}}: V a text, one table
// image or an array of them (base64 of a binary data packet), K naming which ("text", "image",
// "images"), byref the final value of every by-reference argument by 1-based position.
// K is our addition: a text and one image are both JSON strings, so without it a reader has to
// guess; a reply without K is still read (an image is told by the packet signature).

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/common/error.h"
#include "platform/net/connection.h"

namespace kve::rpc {

inline constexpr std::string_view kServerName = "Kve07000.rdmExpDados";
inline constexpr size_t kMaxRequestBytes = size_t{1} << 20;

// JSON-RPC 2.0 error codes.
inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
inline constexpr int kInternalError = -32603;

// A JSON-RPC error object received from, or to be sent by, the server.
class RpcError : public Error {
 public:
  RpcError(int code, const std::string& message) : Error(message), code_(code) {}
  int code() const { return code_; }
 private:
  int code_;
};

// --- the calling side ---

// The request body of one call. By-reference texts travel as their current value.
std::string EncodeCall(int64_t id, std::string_view method, const std::vector<RemoteArg>& args);

// Reads a response body: returns the answer and writes each returned by-reference value into
// the caller's variable. Raises RpcError for an error object and FormatError (saying what is
// wrong) for anything that is not a well-formed reply to request `id`. Nothing is written back
// unless the whole reply is well formed.
RemoteValue DecodeReply(std::string_view body, int64_t id, std::vector<RemoteArg>& args);

// --- the serving side ---

// The result object of an answer; `byref` maps 1-based positions to final values.
nlohmann::json EncodeResult(const RemoteValue& value, const std::map<int, std::string>& byref);
std::string EncodeResponse(const nlohmann::json& id, const nlohmann::json& result);
// The same response as EncodeResponse(id, EncodeResult(value, byref)), written straight into
// one buffer: an answer of tens of megabytes of images costs one pass of base64.
std::string EncodeAnswer(const nlohmann::json& id, const RemoteValue& value,
                         const std::map<int, std::string>& byref);
std::string EncodeErrorResponse(const nlohmann::json& id, int code, std::string_view message);

}  // namespace kve::rpc
