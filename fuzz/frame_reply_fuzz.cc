// GetTabelas answers that came as frames, as the link reads them: any bytes must end in an
// answer or in a kve::Error, never in a crash, a hang or a by-reference argument half written;
// and an answer taken must hold exactly the images its head announced.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/common/error.h"
#include "platform/net/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string lista = "_0002", nr = "5", status = "T";
  std::vector<kve::RemoteArg> args = {kve::RemoteArg::Value("0001"), kve::RemoteArg::ByRef(lista),
                                      kve::RemoteArg::ByRef(nr), kve::RemoteArg::ByRef(status)};
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  try {
    kve::RemoteValue v = kve::rpc::DecodeFramedReply(body, 1, args);
    // Taken whole: the body ends with the end frame.
    if (size < kve::rpc::kFrameHeaderBytes || body[size - kve::rpc::kFrameHeaderBytes] != 'Z')
      __builtin_trap();
    (void)v;
  } catch (const kve::Error&) {
    if (lista != "_0002" || nr != "5" || status != "T") __builtin_trap();
  }
  return 0;
}
