#include "platform/instaide/install_aide.h"

namespace kve {

std::string_view PltResultText(int result) {
  switch (result) {
    case kPltOk: return "done";
    case kPltNoSuchUser: return "no such HotSync user";
    case kPltBadUserName: return "not a usable HotSync user name";
    case kPltNoSuchFile: return "no such file";
    case kPltBadFileName: return "the path names no file";
    case kPltIoError: return "the queue folder refused the change";
    case kPltBufferTooSmall: return "the name was cut to the buffer";
  }
  return "unknown result";
}

std::string_view HotSyncNamePrefix(std::string_view name) {
  int chars = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    const bool continuation = (static_cast<unsigned char>(name[i]) & 0xC0) == 0x80;
    if (!continuation && ++chars > kHotSyncNameMax) return name.substr(0, i);
  }
  return name;
}

bool IsSafeHotSyncUserName(std::string_view name) {
  // A longer name is no folder name on any file system a queue lives on.
  if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || u < 0x20 || u == 0x7f) return false;
  }
  return true;
}

}  // namespace kve
