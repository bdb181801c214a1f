#include "server/db_pool.h"

namespace kve::server {

DatabasePool::DatabasePool(std::string url, size_t maxIdle)
    : url_(std::move(url)), maxIdle_(maxIdle) {}

DatabasePool::Lease::~Lease() {
  if (db_) pool_->Release(std::move(db_));
}

DatabasePool::Lease DatabasePool::Acquire() {
  {
    std::lock_guard lock(mu_);
    if (!idle_.empty()) {
      auto db = std::move(idle_.back());
      idle_.pop_back();
      return Lease(*this, std::move(db));
    }
  }
  return Lease(*this, Database::Open(url_));
}

void DatabasePool::Release(std::unique_ptr<Database> db) {
  std::lock_guard lock(mu_);
  if (idle_.size() < maxIdle_) idle_.push_back(std::move(db));
}

}  // namespace kve::server
