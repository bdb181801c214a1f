#pragma once
// The services of a dry run: the site's own for everything the export reads, and in front of
// everything it would change a stand-in that keeps the change to itself. Files are written
// into a scratch folder under the system's temporary folder (the Palm conversion needs them
// on disk), which is removed afterwards; the install queue takes nothing but remembers what
// it was given; the history call is never sent.

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "batch/server_links.h"
#include "screen/frm_exp_dados.h"

namespace kve::batch {

class DryRun {
 public:
  // Every reference must outlive the dry run.
  DryRun(FileSystem& files, InstallAide& installAide, ServerLink& server);
  ~DryRun();  // removes the scratch folder
  DryRun(const DryRun&) = delete;
  DryRun& operator=(const DryRun&) = delete;

  FileSystem& Files() { return *files_; }
  InstallAide& Queue();
  ServerLink& Server() { return link_; }

  // The names the export would have put into `user`'s install queue, in order.
  std::vector<std::string> Queued(const std::string& user) const;

 private:
  class PreviewAide;
  std::filesystem::path scratch_;
  std::unique_ptr<FileSystem> files_;
  std::unique_ptr<PreviewAide> aide_;
  NoHistoryLink link_;
};

}  // namespace kve::batch
