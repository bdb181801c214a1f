#include "batch/dry_run.h"

#include <cstdlib>

#include "platform/common/error.h"

namespace kve::batch {

namespace stdfs = std::filesystem;

// Reads the users of the real queue; queues and removes nothing.
class DryRun::PreviewAide final : public InstallAide {
 public:
  PreviewAide(InstallAide& inner, FileSystem& files) : inner_(inner), files_(files) {}
  int PltGetUserCount() override { return inner_.PltGetUserCount(); }
  int PltGetUser(unsigned int index, char* name, std::int16_t* size) override {
    return inner_.PltGetUser(index, name, size);
  }
  int PltInstallFile(const char* user, const char* path) override {
    if (!IsSafeHotSyncUserName(user)) return kPltBadUserName;
    if (!files_.FileExists(path)) return kPltNoSuchFile;
    std::string p(path);
    queued_[user].push_back(p.substr(p.find_last_of("\\/") + 1));
    return kPltOk;
  }
  int PltRemoveInstallFile(const char*, const char*) override { return kPltOk; }
  int PltStageInstallFile(const char* user, const char* path, std::uint64_t* bytes) override {
    if (!IsSafeHotSyncUserName(user)) return kPltBadUserName;
    if (!files_.FileExists(path)) return kPltNoSuchFile;
    const std::uint64_t size = files_.ReadFile(path).size();
    if (bytes != nullptr) *bytes = size;
    std::string p(path);
    staged_[user].push_back({p.substr(p.find_last_of("\\/") + 1), size});
    return kPltOk;
  }
  int PltCommitStaged(const char* user) override {
    for (const auto& [name, size] : staged_[user]) {
      queued_[user].push_back(name);
      sizes_[name] = size;
    }
    staged_.erase(user);
    return kPltOk;
  }
  int PltDiscardStaged(const char* user) override {
    staged_.erase(user);
    return kPltOk;
  }
  // What the preview took, as the queue would hold it.
  int PltGetInstallFileInfo(const char*, const char* path, PltEntryInfo* info) override {
    std::string p(path);
    auto it = sizes_.find(p.substr(p.find_last_of("\\/") + 1));
    if (it == sizes_.end()) return kPltNoSuchFile;
    *info = PltEntryInfo{it->second, {}};
    return kPltOk;
  }

  std::map<std::string, std::vector<std::string>> queued_;

 private:
  InstallAide& inner_;
  FileSystem& files_;
  std::map<std::string, std::vector<std::pair<std::string, std::uint64_t>>> staged_;
  std::map<std::string, std::uint64_t> sizes_;
};

DryRun::DryRun(FileSystem& files, InstallAide& installAide, ServerLink& server) : link_(server) {
  std::string dir = (stdfs::temp_directory_path() / "kve-dry-run-XXXXXX").string();
  if (!::mkdtemp(dir.data())) throw IoError(dir + ": cannot make the dry run's scratch folder");
  scratch_ = dir;
  files_ = NewOverlayFileSystem(files, scratch_);
  aide_ = std::make_unique<PreviewAide>(installAide, *files_);
}

InstallAide& DryRun::Queue() { return *aide_; }

DryRun::~DryRun() {
  std::error_code ec;
  stdfs::remove_all(scratch_, ec);
}

std::vector<std::string> DryRun::Queued(const std::string& user) const {
  auto it = aide_->queued_.find(user);
  return it == aide_->queued_.end() ? std::vector<std::string>{} : it->second;
}

}  // namespace kve::batch
