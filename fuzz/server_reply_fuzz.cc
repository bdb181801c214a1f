// Replies of the application server as the link reads them: any bytes must end in an answer or
// in a kve::Error, never in a crash, a hang or a by-reference argument half written.
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
  try {
    kve::RemoteValue v = kve::rpc::DecodeReply(
        std::string_view(reinterpret_cast<const char*>(data), size), 1, args);
    (void)v;
  } catch (const kve::Error&) {
    if (lista != "_0002" || nr != "5" || status != "T") __builtin_trap();
  }
  return 0;
}
