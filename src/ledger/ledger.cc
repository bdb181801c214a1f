#include "ledger/ledger.h"

#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <ctime>

#include "platform/common/error.h"
#include "platform/db/database.h"
#include "platform/db/sql_values.h"
#include "platform/fs/file_system.h"

namespace kve::ledger {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS export_ledger ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " at TEXT NOT NULL,"
    " operator TEXT NOT NULL,"
    " target TEXT NOT NULL,"
    " device TEXT NOT NULL,"
    " device_name TEXT NOT NULL,"
    " parameters TEXT NOT NULL,"
    " server TEXT NOT NULL,"
    " outcome TEXT NOT NULL,"
    " closing_message TEXT NOT NULL,"
    " folder TEXT NOT NULL,"
    " files TEXT NOT NULL,"
    " archive TEXT NOT NULL,"
    " notes TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS export_ledger_device ON export_ledger (device, id);";

constexpr const char* kColumns =
    "id, at, operator, target, device, device_name, parameters, server, outcome, "
    "closing_message, folder, files, archive, notes";

nlohmann::json FilesJson(const std::vector<LedgerFile>& files) {
  nlohmann::json out = nlohmann::json::array();
  for (const LedgerFile& f : files) {
    out.push_back({{"name", f.name},
                   {"rows", f.rows ? nlohmann::json(*f.rows) : nlohmann::json()},
                   {"bytes", f.bytes},
                   {"sha256", f.sha256}});
  }
  return out;
}

std::vector<LedgerFile> FilesOf(const nlohmann::json& j) {
  std::vector<LedgerFile> out;
  for (const auto& f : j) {
    LedgerFile lf;
    lf.name = f.value("name", "");
    if (f.contains("rows") && f["rows"].is_number_integer()) lf.rows = f["rows"].get<int64_t>();
    lf.bytes = f.value("bytes", uint64_t{0});
    lf.sha256 = f.value("sha256", "");
    out.push_back(std::move(lf));
  }
  return out;
}

LedgerEntry Read(TClientDataSet& rows) {
  auto text = [&](const char* name) { return rows.FieldByName(name).AsString(); };
  LedgerEntry e;
  e.id = rows.FieldByName("id").AsLargeInt();
  e.at = text("at");
  e.operatorCode = text("operator");
  e.target = text("target");
  e.device = text("device");
  e.deviceName = text("device_name");
  e.parameters = nlohmann::json::parse(text("parameters"), nullptr, false);
  e.server = text("server");
  e.outcome = text("outcome");
  e.closingMessage = text("closing_message");
  e.folder = text("folder");
  nlohmann::json files = nlohmann::json::parse(text("files"), nullptr, false);
  if (files.is_array()) e.files = FilesOf(files);
  e.archive = text("archive");
  e.notes = text("notes");
  return e;
}

bool IsNumber(const std::string& s) {
  return !s.empty() && s.size() < 19 && s.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1) {
    throw Error("SHA-256: the digest failed");
  }
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < size; ++i) {
    const unsigned char c = digest[i];
    out += hex[c >> 4];
    out += hex[c & 15];
  }
  return out;
}

std::string NowUtc() {
  std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

nlohmann::json ToJson(const LedgerEntry& e) {
  return {{"id", e.id},
          {"at", e.at},
          {"operator", e.operatorCode},
          {"target", e.target},
          {"device", {{"code", e.device}, {"name", e.deviceName}}},
          {"parameters", e.parameters},
          {"server", e.server},
          {"outcome", e.outcome},
          {"closing_message", e.closingMessage},
          {"folder", e.folder},
          {"files", FilesJson(e.files)},
          {"archive", e.archive},
          {"notes", e.notes}};
}

Ledger::Ledger(const fs::path& dataDir, bool readOnly) : folder_(dataDir / "ledger"), db_(nullptr) {
  file_ = (folder_ / "ledger.db").string();
  std::error_code ec;
  if (readOnly && !fs::is_regular_file(file_, ec)) throw IoError(file_ + ": no export ledger here");
  if (!readOnly && (fs::create_directories(folder_, ec), ec)) throw IoError(folder_.string() + ": " + ec.message());
  try {
    owned_ = Database::Open("sqlite:" + file_, !readOnly);
  } catch (const std::exception& e) {
    Fail("open", e);
  }
  db_ = owned_.get();
  Open(readOnly);
}

Ledger::Ledger(const fs::path& dataDir, Database& db, bool readOnly)
    : folder_(dataDir / "ledger"), file_((folder_ / "ledger.db").string()), db_(&db) {
  Open(readOnly);
}

Ledger::~Ledger() = default;

void Ledger::Fail(const std::string& what, const std::exception& e) const {
  throw IoError(file_ + ": " + what + ": " + e.what());
}

void Ledger::Open(bool readOnly) {
  if (readOnly) return;
  try {
    // Each entry on the disk before Append returns; the connection already keeps a
    // write-ahead log, which lets readers go on beside a writer.
    db_->ExecuteScript("PRAGMA synchronous=FULL;");
    db_->ExecuteScript(kSchema);
  } catch (const std::exception& e) {
    Fail("create the table", e);
  }
}

void Ledger::SkipKeptNumbers() {
  int64_t highest = 0;
  std::error_code ec;
  for (fs::directory_iterator dev(folder_ / "files", ec), end; !ec && dev != end; dev.increment(ec)) {
    std::error_code inner;
    if (!dev->is_directory(inner) || dev->path().filename().string().starts_with(".")) continue;
    for (fs::directory_iterator it(dev->path(), inner); !inner && it != end; it.increment(inner)) {
      const std::string n = it->path().filename().string();
      if (IsNumber(n)) highest = std::max<int64_t>(highest, std::stoll(n));
    }
  }
  if (highest == 0) return;
  const std::vector<SqlParam> p = {IntegerParam("P_SEQ", highest)};
  db_->Run("UPDATE sqlite_sequence SET seq = :P_SEQ WHERE name = 'export_ledger' AND seq < :P_SEQ", p, nullptr);
  db_->Run("INSERT INTO sqlite_sequence (name, seq) SELECT 'export_ledger', :P_SEQ "
           "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = 'export_ledger')",
           p, nullptr);
}

int64_t Ledger::Append(LedgerEntry& e, const std::function<void(LedgerEntry&)>& place) {
  try {
    db_->Begin();
  } catch (const std::exception& x) {
    Fail("begin", x);
  }
  std::string step = "write";
  try {
    SkipKeptNumbers();
    const std::vector<SqlParam> values = {
        TextParam("P_AT", e.at),         TextParam("P_OPERATOR", e.operatorCode),
        TextParam("P_TARGET", e.target), TextParam("P_DEVICE", e.device),
        TextParam("P_DEVICE_NAME", e.deviceName), TextParam("P_PARAMETERS", e.parameters.dump()),
        TextParam("P_SERVER", e.server), TextParam("P_OUTCOME", e.outcome),
        TextParam("P_CLOSING", e.closingMessage), TextParam("P_FOLDER", e.folder),
        TextParam("P_FILES", FilesJson(e.files).dump()), TextParam("P_ARCHIVE", e.archive),
        TextParam("P_NOTES", e.notes)};
    TClientDataSet id;
    db_->Run(std::string("INSERT INTO export_ledger (") + (kColumns + 4) +
                 ") VALUES (:P_AT, :P_OPERATOR, :P_TARGET, :P_DEVICE, :P_DEVICE_NAME, :P_PARAMETERS,"
                 " :P_SERVER, :P_OUTCOME, :P_CLOSING, :P_FOLDER, :P_FILES, :P_ARCHIVE, :P_NOTES) RETURNING id",
             values, &id);
    e.id = id.FieldByName("id").AsLargeInt();
    if (place) {
      const std::string archive = e.archive, notes = e.notes;
      place(e);
      if (e.archive != archive || e.notes != notes) {
        db_->Run("UPDATE export_ledger SET archive = :P_ARCHIVE, notes = :P_NOTES WHERE id = :P_ID",
                 {TextParam("P_ARCHIVE", e.archive), TextParam("P_NOTES", e.notes), IntegerParam("P_ID", e.id)}, nullptr);
      }
    }
    step = "commit";
    db_->Commit();
  } catch (const std::exception& x) {
    try {
      db_->Rollback();
    } catch (const std::exception&) {
      // the connection is lost: its transaction with it
    }
    Fail(step, x);
  }
  return e.id;
}

std::vector<LedgerEntry> Ledger::List(std::string_view device) const {
  std::string sql = std::string("SELECT ") + kColumns + " FROM export_ledger";
  std::vector<SqlParam> params;
  if (!device.empty()) {
    sql += " WHERE device = :P_DEVICE";
    params.push_back(TextParam("P_DEVICE", std::string(device)));
  }
  TClientDataSet rows;
  try {
    db_->Run(sql + " ORDER BY id DESC", params, &rows);
  } catch (const std::exception& e) {
    Fail("read", e);
  }
  std::vector<LedgerEntry> out;
  for (rows.First(); !rows.Eof(); rows.Next()) out.push_back(Read(rows));
  return out;
}

std::optional<LedgerEntry> Ledger::Get(int64_t id) const {
  TClientDataSet rows;
  try {
    db_->Run(std::string("SELECT ") + kColumns + " FROM export_ledger WHERE id = :P_ID", {IntegerParam("P_ID", id)},
             &rows);
  } catch (const std::exception& e) {
    Fail("read", e);
  }
  rows.First();
  if (rows.Eof()) return std::nullopt;
  return Read(rows);
}

fs::path Ledger::KeptFiles(int64_t id) const {
  std::optional<LedgerEntry> e = Get(id);
  if (!e) throw Error(file_ + ": no export " + std::to_string(id));
  std::error_code ec;
  if (e->archive.empty() || !fs::is_directory(folder_ / e->archive, ec)) {
    throw Error(file_ + ": the files of export " + std::to_string(id) +
                " are no longer kept (only the last exports of each device are)");
  }
  return folder_ / e->archive;
}

fs::path Ledger::CheckedKeptFiles(int64_t id) const {
  const fs::path dir = KeptFiles(id);
  const std::optional<LedgerEntry> entry = Get(id);
  std::unique_ptr<FileSystem> host = NewHostFileSystem();
  for (const LedgerFile& f : entry->files) {
    if (f.sha256.empty()) continue;  // no hash recorded: nothing to hold it to
    const fs::path file = dir / f.name;
    std::string bytes;
    try {
      bytes = host->ReadFile(file.string());
    } catch (const std::exception& e) {
      throw Error(std::string(e.what()) + " (a file export " + std::to_string(id) + " delivered)");
    }
    if (Sha256Hex(bytes) != f.sha256) {
      throw Error(file.string() + ": the kept copy no longer holds what export " + std::to_string(id) +
                  " delivered (its SHA-256 differs from the ledger's)");
    }
  }
  return dir;
}

}  // namespace kve::ledger
