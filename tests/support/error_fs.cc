#include "support/error_fs.h"

#include <cerrno>

#include "platform/common/error.h"

namespace kve {

void ErrorFileSystem::RequireWritable(std::string_view path, std::string_view action) const {
  if (readOnly_) ThrowIoError(path, action, EROFS);
}

void ErrorFileSystem::Charge(std::string_view path, uint64_t bytes) {
  RequireWritable(path, "write");
  if (budget_ && bytes > *budget_) {
    *budget_ = 0;
    ThrowIoError(path, "write", ENOSPC);
  }
  if (budget_) *budget_ -= bytes;
  written_ += bytes;
}

void ErrorFileSystem::Spend(std::string_view path, uint64_t bytes) {
  Charge(path, bytes);
  if (depth_ == 0) ++unbatched_;
}

// Each piece is charged as it is written; an abandoned stream leaves nothing, as the base's does.
std::unique_ptr<WriteStream> ErrorFileSystem::OpenForWrite(std::string_view path, Durability durability) {
  class Stream final : public WriteStream {
   public:
    Stream(ErrorFileSystem& fs, std::string path, std::unique_ptr<WriteStream> inner)
        : fs_(fs), path_(std::move(path)), inner_(std::move(inner)) {}
    void Write(std::string_view bytes) override {
      fs_.Charge(path_, bytes.size());
      inner_->Write(bytes);
    }
    void WriteAt(uint64_t offset, std::string_view bytes) override {
      fs_.Charge(path_, bytes.size());
      inner_->WriteAt(offset, bytes);
    }
    std::string ReadAt(uint64_t offset, size_t n) override { return inner_->ReadAt(offset, n); }
    void Restart() override { inner_->Restart(); }
    void Commit() override {
      fs_.Spend(path_, 0);
      inner_->Commit();
    }

   private:
    ErrorFileSystem& fs_;
    std::string path_;
    std::unique_ptr<WriteStream> inner_;
  };
  RequireWritable(path, "write");
  return std::make_unique<Stream>(*this, std::string(path), base_.OpenForWrite(path, durability));
}

void ErrorFileSystem::CreateDir(std::string_view path) {
  if (!base_.DirectoryExists(path)) RequireWritable(path, "create the folder");
  if (failCreateDir_ && !base_.DirectoryExists(path)) ThrowIoError(path, "create the folder", EACCES);
  base_.CreateDir(path);
}

void ErrorFileSystem::WriteFile(std::string_view path, std::string_view data) {
  Spend(path, data.size());
  base_.WriteFile(path, data);
}

void ErrorFileSystem::CopyFile(std::string_view from, std::string_view to) {
  Spend(to, base_.ReadFile(from).size());
  base_.CopyFile(from, to);
}

bool ErrorFileSystem::DeleteFile(std::string_view path) {
  if (base_.FileExists(path)) RequireWritable(path, "delete");
  return base_.DeleteFile(path);
}

void ErrorFileSystem::RenameFile(std::string_view from, std::string_view to) {
  RequireWritable(to, "replace");
  if (renames_) {
    if (*renames_ == 0) ThrowIoError(to, "replace", EHOSTDOWN);
    --*renames_;
  }
  if (depth_ == 0) ++unbatched_;
  base_.RenameFile(from, to);
}

}  // namespace kve
