// GetTabelas answers that came as frames, as the link reads them: any bytes must end in an
// answer or in a kve::Error, never in a crash, a hang or a by-reference argument half written;
// an answer taken must hold exactly the images its head announced; and read as it arrives, in
// pieces, the same bytes must give the same answer or the same error.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/common/error.h"
#include "platform/net/protocol.h"

namespace {

struct Outcome {
  kve::RemoteValue value;
  std::string error;  // empty: taken
};

// The bytes fed in pieces of `piece` bytes (0: whole).
Outcome Read(std::string_view body, size_t piece, std::vector<kve::RemoteArg>& args) {
  Outcome o;
  try {
    kve::rpc::FramedReplyReader reader(1, body.size());  // as the link reads a Content-Length
    if (piece == 0) {
      reader.Feed(body);
    } else {
      for (size_t at = 0; at < body.size(); at += piece) reader.Feed(body.substr(at, piece));
    }
    o.value = reader.Finish(args);
  } catch (const kve::Error& e) {
    o.error = std::string("error: ") + e.what();
  }
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // the pieces' size follows from the input's, so the seeds stay plain bodies
  const size_t piece = size % 17;
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  std::string lista = "_0002", nr = "5", status = "T";
  std::vector<kve::RemoteArg> args = {kve::RemoteArg::Value("0001"), kve::RemoteArg::ByRef(lista),
                                      kve::RemoteArg::ByRef(nr), kve::RemoteArg::ByRef(status)};
  try {
    kve::RemoteValue v = kve::rpc::DecodeFramedReply(body, 1, args);
    // Taken whole: the body ends with the end frame.
    if (body.size() < kve::rpc::kFrameHeaderBytes ||
        body[body.size() - kve::rpc::kFrameHeaderBytes] != 'Z')
      __builtin_trap();
    std::string l2 = "_0002", n2 = "5", s2 = "T";
    std::vector<kve::RemoteArg> again = {kve::RemoteArg::Value("0001"), kve::RemoteArg::ByRef(l2),
                                         kve::RemoteArg::ByRef(n2), kve::RemoteArg::ByRef(s2)};
    const Outcome o = Read(body, piece, again);
    if (!o.error.empty() || o.value.value != v.value || l2 != lista || n2 != nr || s2 != status)
      __builtin_trap();
  } catch (const kve::Error& e) {
    if (lista != "_0002" || nr != "5" || status != "T") __builtin_trap();
    const Outcome o = Read(body, piece, args);
    if (o.error != std::string("error: ") + e.what()) __builtin_trap();
    if (lista != "_0002" || nr != "5" || status != "T") __builtin_trap();
  }
  return 0;
}
