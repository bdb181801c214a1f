#pragma once
// Database connections for the server's request threads. A connection serves one call at a
// time; idle ones are kept for the next call. A connection whose call failed is closed rather
// than reused, since a failure may have left it in a broken transaction or cut off.

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/db/database.h"

namespace kve::server {

class DatabasePool {
 public:
  explicit DatabasePool(std::string url, size_t maxIdle = 8);

  class Lease {
   public:
    Lease(DatabasePool& pool, std::unique_ptr<Database> db) : pool_(&pool), db_(std::move(db)) {}
    Lease(Lease&& o) noexcept : pool_(std::exchange(o.pool_, nullptr)), db_(std::move(o.db_)) {}
    Lease& operator=(Lease&&) = delete;
    ~Lease();
    Database& operator*() const { return *db_; }
    Database* operator->() const { return db_.get(); }
    void Discard() { db_.reset(); }  // close instead of keeping for reuse
   private:
    DatabasePool* pool_;
    std::unique_ptr<Database> db_;
  };

  // An idle connection, or a new one. Raises Error when the database cannot be opened; a
  // SQLite file that does not exist is never created.
  Lease Acquire();

  // Connections lent out now and kept idle, for the server's metrics.
  struct Use {
    size_t inUse = 0;
    size_t idle = 0;
  };
  Use CurrentUse();

 private:
  void Release(std::unique_ptr<Database> db);

  std::string url_;
  size_t maxIdle_;
  std::mutex mu_;
  std::vector<std::unique_ptr<Database>> idle_;
  size_t inUse_ = 0;
};

}  // namespace kve::server
