#include "platform/net/protocol.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/net/base64.h"
#include "platform/net/json_reader.h"

namespace kve::rpc {
namespace {

using nlohmann::json;

// First bytes of every binary data packet.
constexpr std::string_view kPacketSignature("\x96\x19\xE0\xBD", 4);

std::string Dump(const json& j, std::string_view what) {
  try {
    return j.dump();
  } catch (const json::exception& e) {
    throw ValueError(std::string(what) + ": " + e.what());
  }
}

[[noreturn]] void Malformed(const std::string& detail) {
  throw FormatError("malformed answer: " + detail);
}

std::string DecodeImage(const json& v, const std::string& where) {
  if (!v.is_string()) Malformed(where + " is not a base64 string");
  try {
    return Base64Decode(v.get_ref<const std::string&>());
  } catch (const FormatError& e) {
    Malformed(where + ": " + e.what());
  }
}

// A string answer without a kind: an image when it decodes to a packet, else a text.
bool LooksLikeImage(const std::string& s) {
  if (s.size() < 8 || s.size() % 4 != 0 || s.compare(0, 6, "lhngvQ") != 0) return false;
  try {
    return Base64Decode(std::string_view(s).substr(0, 8)).starts_with(kPacketSignature);
  } catch (const FormatError&) {
    return false;
  }
}

RemoteValue DecodeValue(const json& result) {
  auto v = result.find("value");
  if (v == result.end()) Malformed("result has no value");
  std::string kind;
  if (auto k = result.find("kind"); k != result.end()) {
    if (!k->is_string()) Malformed("kind is not a string");
    kind = k->get<std::string>();
  } else if (v->is_array()) {
    kind = "images";
  } else if (v->is_string()) {
    kind = LooksLikeImage(v->get_ref<const std::string&>()) ? "image" : "text";
  }
  RemoteValue out;
  if (kind == "text") {
    if (!v->is_string()) Malformed("text value is not a string");
    out.value = v->get<std::string>();
  } else if (kind == "image") {
    out.value = DecodeImage(*v, "image");
    out.isPacket = true;
  } else if (kind == "images") {
    if (!v->is_array()) Malformed("images value is not an array");
    std::vector<std::string> images;
    images.reserve(v->size());
    for (size_t i = 0; i < v->size(); ++i)
      images.push_back(DecodeImage((*v)[i], "image " + std::to_string(i)));
    out.value = std::move(images);
  } else {
    Malformed(kind.empty() ? "value is neither a text nor images" : "unknown kind \"" + kind + "\"");
  }
  return out;
}

}  // namespace

std::string EncodeCall(int64_t id, std::string_view method, const std::vector<RemoteArg>& args) {
  json params = json::array();
  for (const RemoteArg& a : args) {
    switch (a.kind) {
      case RemoteArg::Kind::Text: params.push_back(a.text); break;
      case RemoteArg::Kind::TextByRef:
        if (a.ref == nullptr) throw ValueError("by-reference argument without a variable");
        params.push_back(*a.ref);
        break;
      case RemoteArg::Kind::Date: params.push_back(FormatIsoDate(a.date)); break;
    }
  }
  json req = {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}};
  return Dump(req, std::string(method) + ": arguments");
}

// A reply already read as JSON; see DecodeReply.
RemoteValue DecodeParsed(const json& reply, int64_t id, std::vector<RemoteArg>& args);

RemoteValue DecodeReply(std::string_view body, int64_t id, std::vector<RemoteArg>& args) {
  json reply;
  try {
    reply = ReadJson(body);
  } catch (const FormatError& e) {
    Malformed(std::string("not JSON (") + e.what() + ")");
  }
  return DecodeParsed(reply, id, args);
}

RemoteValue DecodeParsed(const json& reply, int64_t id, std::vector<RemoteArg>& args) {
  if (!reply.is_object()) Malformed("not a JSON object");
  if (auto err = reply.find("error"); err != reply.end()) {
    if (!err->is_object() || !err->contains("message") || !(*err)["message"].is_string())
      Malformed("error without a message");
    auto c = err->find("code");
    int code = c != err->end() && c->is_number_integer() ? c->get<int>() : 0;
    throw RpcError(code, (*err)["message"].get<std::string>());
  }
  auto rid = reply.find("id");
  if (rid == reply.end() || !rid->is_number_integer() || rid->get<int64_t>() != id)
    Malformed("reply to another request");
  auto result = reply.find("result");
  if (result == reply.end() || !result->is_object()) Malformed("no result object");
  RemoteValue out = DecodeValue(*result);

  // Check every returned by-reference value before writing any back.
  std::vector<std::pair<std::string*, std::string>> updates;
  if (auto byref = result->find("byref"); byref != result->end()) {
    if (!byref->is_object()) Malformed("byref is not an object");
    for (const auto& [key, val] : byref->items()) {
      int pos = 0;
      auto [p, ec] = std::from_chars(key.data(), key.data() + key.size(), pos);
      if (ec != std::errc() || p != key.data() + key.size() || pos < 1 ||
          pos > static_cast<int>(args.size()) ||
          args[pos - 1].kind != RemoteArg::Kind::TextByRef)
        Malformed("byref \"" + key + "\" is not a by-reference argument");
      if (!val.is_string()) Malformed("byref \"" + key + "\" is not a text");
      updates.emplace_back(args[pos - 1].ref, val.get<std::string>());
    }
  }
  for (auto& [ref, val] : updates) *ref = std::move(val);
  return out;
}

nlohmann::json EncodeResult(const RemoteValue& value, const std::map<int, std::string>& byref) {
  json result = json::object();
  if (const auto* images = std::get_if<std::vector<std::string>>(&value.value)) {
    json arr = json::array();
    for (const std::string& img : *images) arr.push_back(Base64Encode(img));
    result["value"] = std::move(arr);
    result["kind"] = "images";
  } else if (value.isPacket) {
    result["value"] = Base64Encode(std::get<std::string>(value.value));
    result["kind"] = "image";
  } else {
    result["value"] = std::get<std::string>(value.value);
    result["kind"] = "text";
  }
  json refs = json::object();
  for (const auto& [pos, text] : byref) refs[std::to_string(pos)] = text;
  result["byref"] = std::move(refs);
  return result;
}

std::string EncodeResponse(const nlohmann::json& id, const nlohmann::json& result) {
  // Answer texts may come from a database engine's message; a stray byte must not lose the
  // answer, so it is replaced rather than refused.
  return json{{"jsonrpc", "2.0"}, {"id", id}, {"result", result}}.dump(
      -1, ' ', false, json::error_handler_t::replace);
}

std::string EncodeAnswer(const nlohmann::json& id, const RemoteValue& value,
                         const std::map<int, std::string>& byref) {
  const auto* images = std::get_if<std::vector<std::string>>(&value.value);
  if (images == nullptr) return EncodeResponse(id, EncodeResult(value, byref));
  json refs = json::object();
  for (const auto& [pos, text] : byref) refs[std::to_string(pos)] = text;
  size_t size = 128;
  for (const std::string& img : *images) size += (img.size() + 2) / 3 * 4 + 3;
  std::string out;
  out.reserve(size);
  out += R"({"jsonrpc":"2.0","id":)";
  out += id.dump();
  out += R"(,"result":{"kind":"images","byref":)";
  out += refs.dump(-1, ' ', false, json::error_handler_t::replace);
  out += R"(,"value":[)";
  for (size_t i = 0; i < images->size(); ++i) {
    out += i ? ",\"" : "\"";
    Base64EncodeTo(out, (*images)[i]);  // base64 needs no escaping
    out += '"';
  }
  out += "]}}";
  return out;
}

std::string FrameHeader(Frame kind, size_t length) {
  if (length > UINT32_MAX) throw ValueError("a frame of " + std::to_string(length) + " bytes is over 4 GiB");
  std::string h(kFrameHeaderBytes, '\0');
  h[0] = static_cast<char>(kind);
  for (int k = 0; k < 4; ++k) h[1 + k] = static_cast<char>((length >> (8 * k)) & 0xFF);
  return h;
}

RemoteValue DecodeFramedReply(std::string_view body, int64_t id, std::vector<RemoteArg>& args) {
  FramedReplyReader reader(id, body.size());
  reader.Feed(body);
  return reader.Finish(args);
}

void FramedReplyReader::Feed(std::string_view bytes) {
  if (bytes.size() > left_) Malformed("more bytes than the answer may hold");
  left_ -= bytes.size();
  // what remains of the answer beyond the bytes at hand
  const auto beyond = [&] { return left_ + bytes.size(); };
  while (!bytes.empty()) {
    if (done_) Malformed("bytes after the last frame");
    if (!inPayload_) {
      const size_t take = std::min(kFrameHeaderBytes - headerHave_, bytes.size());
      std::memcpy(header_ + headerHave_, bytes.data(), take);
      headerHave_ += take;
      bytes.remove_prefix(take);
      if (headerHave_ < kFrameHeaderBytes) return;
      headerHave_ = 0;
      kind_ = static_cast<Frame>(header_[0]);
      if (kind_ != Frame::Head && kind_ != Frame::Image && kind_ != Frame::Error && kind_ != Frame::End)
        Malformed("unknown frame kind " + std::to_string(static_cast<unsigned char>(header_[0])));
      length_ = 0;
      for (int k = 0; k < 4; ++k)
        length_ |= uint64_t{static_cast<unsigned char>(header_[1 + k])} << (8 * k);
      have_ = 0;
      if (length_ > beyond())
        Malformed("frame of " + std::to_string(length_) + " bytes is longer than the " +
                  std::to_string(beyond()) + " bytes the answer may still hold");
      if (kinds_.size() == kMaxFramedImages + 2)
        Malformed("more frames than an answer of " + std::to_string(kMaxFramedImages) + " images has");
      kinds_.push_back(kind_);
      into_ = nullptr;
      if (kind_ == Frame::Head && kinds_.size() == 1) into_ = &head_;
      if (kind_ == Frame::Error) into_ = &error_;
      if (kind_ == Frame::Image) {
        into_ = &images_.emplace_back();
        // room for the whole image at once, up to a bound: a length is only a claim until
        // its bytes came
        into_->reserve(static_cast<size_t>(std::min<uint64_t>(length_, uint64_t{64} << 20)));
      }
      inPayload_ = true;
    }
    const auto take = static_cast<size_t>(std::min<uint64_t>(length_ - have_, bytes.size()));
    if (into_) into_->append(bytes.data(), take);
    have_ += take;
    bytes.remove_prefix(take);
    if (have_ < length_) return;
    inPayload_ = false;
    if (kind_ == Frame::End && length_ != 0) Malformed("end frame with a payload");
    done_ = kind_ == Frame::End || kind_ == Frame::Error;
  }
}

RemoteValue FramedReplyReader::Finish(std::vector<RemoteArg>& args) {
  // The frames are checked whole before anything is believed.
  if (headerHave_ > 0) Malformed("frame header cut short");
  if (inPayload_)
    Malformed("frame of " + std::to_string(length_) + " bytes cut short at " + std::to_string(have_));
  if (kinds_.empty() || kinds_.front() != Frame::Head) {
    // An error before anything else is an answer too.
    if (!kinds_.empty() && kinds_.front() == Frame::Error) return DecodeReply(error_, id_, args);
    Malformed("no head frame");
  }
  if (kinds_.back() == Frame::Error) {
    DecodeReply(error_, id_, args);  // raises it
    Malformed("error frame without an error");
  }
  // The head is the JSON response with the images left out; the images follow it.
  json head;
  try {
    head = ReadJson(head_);
  } catch (const FormatError& e) {
    Malformed(std::string("head frame is not JSON (") + e.what() + ")");
  }
  if (!head.is_object() || !head.contains("result") || !head["result"].is_object())
    Malformed("head frame has no result object");
  json& result = head["result"];
  auto count = result.find("count");
  if (count == result.end() || !count->is_number_integer() || count->get<int64_t>() < 0 ||
      count->get<int64_t>() > static_cast<int64_t>(kMaxFramedImages))
    Malformed("head frame has no count of images");
  const auto n = static_cast<size_t>(count->get<int64_t>());
  if (kinds_.back() != Frame::End)
    Malformed("answer cut short after " + std::to_string(kinds_.size() - 1) + " of " +
              std::to_string(n) + " images");
  if (kinds_.size() != n + 2) Malformed("head frame announces " + std::to_string(n) + " images, " +
                                        std::to_string(kinds_.size() - 2) + " came");
  auto kind = result.find("kind");
  if (kind == result.end() || !kind->is_string() || kind->get_ref<const std::string&>() != "images")
    Malformed("framed answer is not of images");
  result["value"] = json::array();
  for (size_t i = 1; i <= n; ++i)
    if (kinds_[i] != Frame::Image) Malformed("frame " + std::to_string(i) + " is not an image");
  // Frames 1 to n are the images, and no other frame is: images_ holds exactly them.
  // The by-reference values and the id are read as any answer's are.
  RemoteValue out = DecodeParsed(head, id_, args);
  out.value = std::move(images_);
  images_.clear();
  return out;
}

ImagesWriter::ImagesWriter(bool frames, nlohmann::json id, Write write)
    : frames_(frames), id_(std::move(id)), write_(std::move(write)) {}

void ImagesWriter::Put(std::string_view piece) {
  if (gone_ || piece.empty()) return;
  bytes_ += piece.size();
  if (!write_(piece)) gone_ = true;
}

void ImagesWriter::Begin(const std::map<int, std::string>& byref, size_t count) {
  json refs = json::object();
  for (const auto& [pos, text] : byref) refs[std::to_string(pos)] = text;
  std::string head = R"({"jsonrpc":"2.0","id":)" + id_.dump() + R"(,"result":{"kind":"images","byref":)" +
                     refs.dump(-1, ' ', false, json::error_handler_t::replace);
  if (frames_) {
    head += R"(,"count":)" + std::to_string(count) + "}}";
    Put(FrameHeader(Frame::Head, head.size()));
    Put(head);
  } else {
    head += R"(,"value":[)";
    Put(head);
  }
}

void ImagesWriter::Image(std::string_view packet) {
  if (frames_) {
    Put(FrameHeader(Frame::Image, packet.size()));
    // in pieces, so that nothing downstream copies the whole image at once
    for (size_t at = 0; at < packet.size(); at += size_t{1} << 18) Put(packet.substr(at, size_t{1} << 18));
  } else {
    Put(images_ ? ",\"" : "\"");
    std::string piece;
    constexpr size_t kIn = 3 * (size_t{1} << 16);  // whole base64 quanta
    for (size_t at = 0; at < packet.size(); at += kIn) {
      piece.clear();
      Base64EncodeTo(piece, packet.substr(at, kIn));
      Put(piece);
    }
    Put("\"");
  }
  ++images_;
}

void ImagesWriter::End() {
  if (frames_) Put(FrameHeader(Frame::End, 0));
  else Put("]}}");
}

void ImagesWriter::Error(int code, std::string_view message) {
  if (frames_) {
    const std::string e = EncodeErrorResponse(id_, code, message);
    Put(FrameHeader(Frame::Error, e.size()));
    Put(e);
  } else {
    json err = {{"code", code}, {"message", message}};
    Put(R"(]},"error":)" + err.dump(-1, ' ', false, json::error_handler_t::replace) + "}");
  }
}

std::string EncodeErrorResponse(const nlohmann::json& id, int code, std::string_view message) {
  json err = {{"code", code}, {"message", message}};
  return json{{"jsonrpc", "2.0"}, {"id", id}, {"error", std::move(err)}}.dump(
      -1, ' ', false, json::error_handler_t::replace);
}

}  // namespace kve::rpc
