// The eeePC's staged file set written over SMB alone, without the rest of an export: the
// files of an export already made (a folder on this host) written to the test Samba server's
// share as the export writes them (each under its staged name, then all renamed into place,
// hashed and counted for the ledger as they go), then summed up as kve-export's summary does
// (the ledger's copy kept in a temporary folder), then read back whole, as the summary did
// before it took what the writing had worked out. One run per call, on a connection of its
// own, as kve-export and smbclient each make one; scripts/smb_bench.sh alternates it with
// smbclient's mput of the same files.
//   smb_staged_bench EXPORT_FOLDER     (KVE_TEST_SMB_* from scripts/smb.sh)
// Prints "staged_ms summary_ms readback_ms".
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "catalogue/catalogue.h"
#include "export/export_files.h"
#include "ledger/archive.h"
#include "platform/fs/smb_fs.h"
#include "record/hashing_fs.h"
#include "record/history.h"
#include "support/smb_server.h"
#include "support/temp_folder.h"

int main(int argc, char** argv) {
  using Clock = std::chrono::steady_clock;
  if (argc != 2) {
    std::fprintf(stderr, "usage: smb_staged_bench EXPORT_FOLDER\n");
    return 2;
  }
  auto server = kve::testing::SmbTestServer::FromEnvironment();
  if (!server) {
    std::fprintf(stderr, "smb_staged_bench: %s\n", kve::testing::SmbTestServer::SkipReason());
    return 2;
  }
  auto slurp = [&](std::string_view name) {
    std::ifstream in(std::string(argv[1]) + "/" + std::string(name), std::ios::binary);
    if (!in) throw std::runtime_error(std::string(name) + ": cannot read");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  try {
    const auto files = kve::exporting::EeepcFiles();
    std::vector<std::string> bytes;
    for (const auto& f : files) bytes.push_back(slurp(f.file));
    const std::string settings = slurp(kve::exporting::EeepcSettingsTable().eeepcFile);
    const std::string share = std::string("\\\\") + kve::testing::kSmbTestHost + "\\Orvanta Web";
    const std::string dir = share + "\\staged-bench\\";

    const auto t0 = Clock::now();
    const auto since = std::chrono::system_clock::now() - std::chrono::milliseconds(50);
    auto smb = kve::NewSmbShareFileSystem(kve::NewHostFileSystem(), server->Settings());
    kve::record::HashingFileSystem fs(*smb);
    fs.CreateDir(share + "\\staged-bench");
    kve::exporting::WriteEeepcBytes(
        fs, dir, [&](size_t i) -> std::string_view { return bytes[i]; }, [&] { return settings; }, {});
    const auto t1 = Clock::now();
    kve::testing::TempFolder ledger;
    kve::ledger::ArchiveWriter copy(ledger.path());
    kve::record::LedgerTake take(copy, true, &fs);
    std::vector<std::string> names;
    for (const auto& f : files) names.emplace_back(f.file);
    names.emplace_back(kve::exporting::EeepcSettingsTable().eeepcFile);
    auto summed = kve::record::WrittenFiles(fs, dir, since, names, take.Visitor());
    take.Finish(summed);
    const auto t2 = Clock::now();
    size_t read = 0;
    for (const std::string& name : smb->ListFiles(dir, "*")) {
      if (smb->FileTime(dir + name)) read += smb->ReadFile(dir + name).size();
    }
    const auto t3 = Clock::now();
    if (read == 0 || summed.size() != names.size()) throw std::runtime_error("not every file summed up or read back");
    auto ms = [](auto d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); };
    std::printf("%lld %lld %lld\n", static_cast<long long>(ms(t1 - t0)), static_cast<long long>(ms(t2 - t1)),
                static_cast<long long>(ms(t3 - t2)));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "smb_staged_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
