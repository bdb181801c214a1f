#include "server/db_pool.h"

namespace kve::server {

DatabasePool::DatabasePool(std::string url, size_t maxIdle)
    : url_(std::move(url)), maxIdle_(maxIdle) {}

DatabasePool::Lease::~Lease() {
  if (pool_ != nullptr) pool_->Release(std::move(db_));  // also after Discard, to count it
}

DatabasePool::Lease DatabasePool::Acquire() {
  std::unique_ptr<Database> kept;
  {
    std::lock_guard lock(mu_);
    if (!idle_.empty()) {
      kept = std::move(idle_.back());
      idle_.pop_back();
      ++inUse_;
    }
  }
  if (kept) {
    Lease lease(*this, std::move(kept));
    lease->Resume();
    return lease;
  }
  Lease lease(*this, Database::Open(url_, /*createFile=*/false));
  std::lock_guard lock(mu_);
  ++inUse_;
  return lease;
}

DatabasePool::Use DatabasePool::CurrentUse() {
  std::lock_guard lock(mu_);
  return {inUse_, idle_.size()};
}

void DatabasePool::Release(std::unique_ptr<Database> db) {
  // What an idle connection holds (SQLite's map of the file) is given back while it waits:
  // after a burst of concurrent exports the server would otherwise keep one map per pooled
  // connection, each as large as the pages an export read.
  if (db) db->Idle();
  std::lock_guard lock(mu_);
  --inUse_;
  if (db && idle_.size() < maxIdle_) idle_.push_back(std::move(db));
}

}  // namespace kve::server
