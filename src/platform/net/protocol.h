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
#include <functional>
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
// The most an answer may hold unless configured otherwise ([server] max_answer_mb): a whole
// export's tables are tens of megabytes; a broken or hostile server must not take all memory.
inline constexpr uint64_t kDefaultMaxAnswerBytes = uint64_t{2048} << 20;

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
  [[noreturn]] void ThrowSameKind(const std::string& what) const override { throw RpcError(code_, what); }
 private:
  int code_;
};

// --- frames ---
//
// A call answered by images may travel as frames instead of JSON, for a client that says so
// in its Accept header: the images as they are, without base64. Every frame is one kind byte,
// the payload's length (uint32, little-endian) and the payload. The answer is a head frame
// (the JSON response without the value, and the count of images), that many image frames
// (each a binary data packet), and an end frame; an error frame (a JSON-RPC error response)
// may come instead of any frame after the head, and ends the answer. An answer that stops
// before its end frame is not an answer. See server/README.md.
inline constexpr std::string_view kFramesType = "application/vnd.kve.frames";
enum class Frame : char { Head = 'H', Image = 'I', Error = 'E', End = 'Z' };
inline constexpr size_t kFrameHeaderBytes = 5;
inline constexpr size_t kMaxFramedImages = 1024;
std::string FrameHeader(Frame kind, size_t length);  // raises ValueError over 4 GiB

// --- the calling side ---

// The request body of one call. By-reference texts travel as their current value.
std::string EncodeCall(int64_t id, std::string_view method, const std::vector<RemoteArg>& args);

// Reads a response body: returns the answer and writes each returned by-reference value into
// the caller's variable. Raises RpcError for an error object and FormatError (saying what is
// wrong) for anything that is not a well-formed reply to request `id`. Nothing is written back
// unless the whole reply is well formed.
RemoteValue DecodeReply(std::string_view body, int64_t id, std::vector<RemoteArg>& args);

// The same for an answer that came as frames.
RemoteValue DecodeFramedReply(std::string_view body, int64_t id, std::vector<RemoteArg>& args);

// Reads an answer that comes as frames while its bytes arrive, in pieces of any size: each
// image goes into the answer as it comes, so of the body no more than a frame header is ever
// held beside the images. Feed raises FormatError as soon as the bytes cannot be the start of
// a well-formed answer; Finish, once the body has ended, returns the answer and raises what
// DecodeFramedReply raises for the same bytes (DecodeFramedReply is Feed and Finish, bounded
// by the body's size).
// `maxBytes` is what the whole answer may hold (its Content-Length when known, else the
// configured ceiling): a frame longer than what remains of it, or more frames than an answer
// of kMaxFramedImages images has, is refused when its header comes, before its bytes do.
class FramedReplyReader {
 public:
  explicit FramedReplyReader(int64_t id, uint64_t maxBytes = UINT64_MAX) : id_(id), left_(maxBytes) {}
  void Feed(std::string_view bytes);
  RemoteValue Finish(std::vector<RemoteArg>& args);

 private:
  int64_t id_;
  uint64_t left_;              // bytes the answer may still hold after those fed
  char header_[kFrameHeaderBytes] = {};
  size_t headerHave_ = 0;
  bool inPayload_ = false;     // a header was read, its payload is under way
  Frame kind_ = Frame::Head;   // of the frame under way
  uint64_t length_ = 0, have_ = 0;
  std::string* into_ = nullptr;  // where its payload goes; nowhere when nothing reads it
  bool done_ = false;          // an end or error frame came: nothing may follow
  std::vector<Frame> kinds_;   // every frame's, in order
  std::string head_, error_;   // the first frame's payload when a head; an error frame's
  std::vector<std::string> images_;
};

// --- the serving side ---

// The result object of an answer; `byref` maps 1-based positions to final values.
nlohmann::json EncodeResult(const RemoteValue& value, const std::map<int, std::string>& byref);
std::string EncodeResponse(const nlohmann::json& id, const nlohmann::json& result);
// The same response as EncodeResponse(id, EncodeResult(value, byref)), written straight into
// one buffer: an answer of tens of megabytes of images costs one pass of base64.
std::string EncodeAnswer(const nlohmann::json& id, const RemoteValue& value,
                         const std::map<int, std::string>& byref);
std::string EncodeErrorResponse(const nlohmann::json& id, int code, std::string_view message);

// An answer of `count` images written as they are made, in JSON (base64 images) or as frames.
// Each piece goes to `write` as soon as it is made (false: the client is gone). Error() may
// come after Begin instead of the images still missing: JSON gets an "error" member after its
// result (a reader that looks for an error first raises it; one that does not finds the JSON
// incomplete), frames an error frame.
class ImagesWriter {
 public:
  using Write = std::function<bool(std::string_view)>;
  ImagesWriter(bool frames, nlohmann::json id, Write write);
  void Begin(const std::map<int, std::string>& byref, size_t count);
  void Image(std::string_view packet);
  void End();
  void Error(int code, std::string_view message);
  size_t Bytes() const { return bytes_; }
  bool ClientGone() const { return gone_; }

 private:
  void Put(std::string_view piece);
  bool frames_;
  nlohmann::json id_;
  Write write_;
  size_t images_ = 0, bytes_ = 0;
  bool gone_ = false;
};

}  // namespace kve::rpc
