#pragma once
// What the PDB conversions tell the screen as they go: the screen binds it to its progress bar
// and status caption; tests record it.

#include <string_view>

namespace kve::palm {

class PdbProgress {
 public:
  virtual ~PdbProgress() = default;
  // The database about to be built, by its file name ("PRODUTO.pdb"); before its Start.
  virtual void Database(std::string_view /*fileName*/) {}
  // A database is about to be filled with `records` records: maximum `records`, position 0.
  virtual void Start(int records) = 0;
  // One more record is in.
  virtual void Step() = 0;
  // Every database is done (or there was none): status caption cleared, position 0.
  virtual void Finish() = 0;
};

// For callers that show nothing.
class NoProgress final : public PdbProgress {
 public:
  void Start(int) override {}
  void Step() override {}
  void Finish() override {}
};

}  // namespace kve::palm
