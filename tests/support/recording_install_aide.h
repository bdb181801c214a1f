#pragma once
// An Install Aide that passes every call on to another and records it, so a test can count
// the screen's calls and see their order, arguments and results.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/instaide/install_aide.h"

namespace kve::testing {

class RecordingInstallAide final : public InstallAide {
 public:
  struct Call {
    std::string function;  // "PltGetUserCount", "PltGetUser", "PltInstallFile", ...
    std::string user;      // the user, or the index of PltGetUser
    std::string path;
    int result = 0;
  };

  explicit RecordingInstallAide(InstallAide& inner) : inner_(inner) {}

  int PltGetUserCount() override {
    return Record({"PltGetUserCount", "", ""}, inner_.PltGetUserCount());
  }
  int PltGetUser(unsigned int index, char* name, std::int16_t* size) override {
    return Record({"PltGetUser", std::to_string(index), ""}, inner_.PltGetUser(index, name, size));
  }
  int PltInstallFile(const char* user, const char* path) override {
    return Record({"PltInstallFile", user, path}, inner_.PltInstallFile(user, path));
  }
  int PltRemoveInstallFile(const char* user, const char* path) override {
    return Record({"PltRemoveInstallFile", user, path}, inner_.PltRemoveInstallFile(user, path));
  }
  int PltStageInstallFile(const char* user, const char* path, std::uint64_t* bytes) override {
    return Record({"PltStageInstallFile", user, path}, inner_.PltStageInstallFile(user, path, bytes));
  }
  int PltCommitStaged(const char* user) override {
    return Record({"PltCommitStaged", user, ""}, inner_.PltCommitStaged(user));
  }
  int PltDiscardStaged(const char* user) override {
    return Record({"PltDiscardStaged", user, ""}, inner_.PltDiscardStaged(user));
  }
  int PltGetInstallFileInfo(const char* user, const char* path, PltEntryInfo* info) override {
    return Record({"PltGetInstallFileInfo", user, path}, inner_.PltGetInstallFileInfo(user, path, info));
  }

  // The recorded calls of one function, in order.
  std::vector<Call> CallsOf(const std::string& function) const {
    std::vector<Call> out;
    for (const Call& c : calls)
      if (c.function == function) out.push_back(c);
    return out;
  }

  std::vector<Call> calls;

 private:
  int Record(Call c, int result) {
    c.result = result;
    calls.push_back(std::move(c));
    return result;
  }

  InstallAide& inner_;
};

}  // namespace kve::testing
