#pragma once
// A wrapper that makes a real connection fail on demand, for testing what callers do when
// the database gives up half way (a full disk, a dropped connection).

#include <memory>
#include <string>

#include "platform/db/database.h"

namespace kve {

class FailingDatabase final : public Database {
 public:
  explicit FailingDatabase(Database& base) : base_(base) {}

  // The next `n` statements (Run, ExecuteScript, and each batch of InsertRows, which here
  // always goes through Run) succeed, every later one raises IoError;
  // a negative `n` never fails. Begin, Commit and Rollback always pass through, so the
  // caller's clean-up can be observed.
  void FailAfter(int n) { left_ = n; }
  // Every statement whose text contains `part` fails (empty: none), whatever FailAfter says.
  void FailWhen(std::string part) { part_ = std::move(part); }
  int Statements() const { return statements_; }  // statements that reached the engine

  std::string_view Dialect() const override { return base_.Dialect(); }
  void ExecuteScript(std::string_view sql) override {
    Spend(sql);
    base_.ExecuteScript(sql);
  }
  void Run(std::string_view sql, const std::vector<SqlParam>& params, TClientDataSet* into) override {
    Spend(sql);
    base_.Run(sql, params, into);
  }
  void Begin() override { base_.Begin(); }
  void BeginReadOnly() override { base_.BeginReadOnly(); }
  void Commit() override { base_.Commit(); }
  void Rollback() override { base_.Rollback(); }

 private:
  void Spend(std::string_view sql);

  Database& base_;
  int left_ = -1;
  std::string part_;
  int statements_ = 0;
};

}  // namespace kve
