#include "ledger/ledger.h"

#include <openssl/evp.h>
#include <sqlite3.h>

#include <chrono>
#include <ctime>

#include "platform/common/error.h"

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

struct Ledger::Db {
  sqlite3* handle = nullptr;
  std::string file;

  [[noreturn]] void Fail(const std::string& what) const {
    throw IoError(file + ": " + what + ": " + (handle ? sqlite3_errmsg(handle) : "out of memory"));
  }

  // A prepared statement, finalized on every exit.
  struct Stmt {
    const Db& db;
    sqlite3_stmt* s = nullptr;
    Stmt(const Db& d, const std::string& sql) : db(d) {
      if (sqlite3_prepare_v2(db.handle, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) db.Fail("prepare");
    }
    ~Stmt() { sqlite3_finalize(s); }
    void Text(int i, const std::string& v) {
      sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
    bool Step() {
      int rc = sqlite3_step(s);
      if (rc == SQLITE_ROW) return true;
      if (rc != SQLITE_DONE) db.Fail("write");
      return false;
    }
    std::string Col(int i) {
      const unsigned char* t = sqlite3_column_text(s, i);
      return t ? std::string(reinterpret_cast<const char*>(t), sqlite3_column_bytes(s, i)) : std::string();
    }
  };

  LedgerEntry Read(Stmt& st) const {
    LedgerEntry e;
    e.id = sqlite3_column_int64(st.s, 0);
    e.at = st.Col(1);
    e.operatorCode = st.Col(2);
    e.target = st.Col(3);
    e.device = st.Col(4);
    e.deviceName = st.Col(5);
    e.parameters = nlohmann::json::parse(st.Col(6), nullptr, false);
    e.server = st.Col(7);
    e.outcome = st.Col(8);
    e.closingMessage = st.Col(9);
    e.folder = st.Col(10);
    nlohmann::json files = nlohmann::json::parse(st.Col(11), nullptr, false);
    if (files.is_array()) e.files = FilesOf(files);
    e.archive = st.Col(12);
    e.notes = st.Col(13);
    return e;
  }
};

Ledger::Ledger(const fs::path& dataDir, bool readOnly) : folder_(dataDir / "ledger"), db_(new Db) {
  db_->file = (folder_ / "ledger.db").string();
  try {
    std::error_code ec;
    if (readOnly && !fs::is_regular_file(db_->file, ec)) throw IoError(db_->file + ": no export ledger here");
    if (!readOnly && (fs::create_directories(folder_, ec), ec)) throw IoError(folder_.string() + ": " + ec.message());
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (sqlite3_open_v2(db_->file.c_str(), &db_->handle, flags, nullptr) != SQLITE_OK) db_->Fail("open");
    sqlite3_busy_timeout(db_->handle, 5000);
    if (!readOnly && sqlite3_exec(db_->handle, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr,
                                  nullptr, nullptr) != SQLITE_OK)
      db_->Fail("set the journal mode");
    if (!readOnly && sqlite3_exec(db_->handle, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK)
      db_->Fail("create the table");
  } catch (...) {
    sqlite3_close(db_->handle);
    delete db_;
    throw;
  }
}

Ledger::~Ledger() {
  sqlite3_close(db_->handle);
  delete db_;
}

int64_t Ledger::Append(LedgerEntry& e, const std::function<void(LedgerEntry&)>& place) {
  if (sqlite3_exec(db_->handle, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) db_->Fail("begin");
  try {
    {
      Db::Stmt st(*db_, std::string("INSERT INTO export_ledger (") + (kColumns + 4) +
                            ") VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)");
      const std::string values[] = {e.at,     e.operatorCode, e.target,         e.device,
                                    e.deviceName, e.parameters.dump(), e.server, e.outcome,
                                    e.closingMessage, e.folder, FilesJson(e.files).dump(), e.archive,
                                    e.notes};
      int i = 0;
      for (const std::string& v : values) st.Text(++i, v);
      st.Step();
    }
    e.id = sqlite3_last_insert_rowid(db_->handle);
    if (place) {
      const std::string archive = e.archive, notes = e.notes;
      place(e);
      if (e.archive != archive || e.notes != notes) {
        Db::Stmt st(*db_, "UPDATE export_ledger SET archive = ?, notes = ? WHERE id = ?");
        st.Text(1, e.archive);
        st.Text(2, e.notes);
        sqlite3_bind_int64(st.s, 3, e.id);
        st.Step();
      }
    }
    if (sqlite3_exec(db_->handle, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) db_->Fail("commit");
  } catch (...) {
    sqlite3_exec(db_->handle, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  return e.id;
}

std::vector<LedgerEntry> Ledger::List(std::string_view device) const {
  std::string sql = std::string("SELECT ") + kColumns + " FROM export_ledger";
  if (!device.empty()) sql += " WHERE device = ?";
  Db::Stmt st(*db_, sql + " ORDER BY id DESC");
  if (!device.empty()) st.Text(1, std::string(device));
  std::vector<LedgerEntry> out;
  while (st.Step()) out.push_back(db_->Read(st));
  return out;
}

std::optional<LedgerEntry> Ledger::Get(int64_t id) const {
  Db::Stmt st(*db_, std::string("SELECT ") + kColumns + " FROM export_ledger WHERE id = ?");
  sqlite3_bind_int64(st.s, 1, id);
  if (!st.Step()) return std::nullopt;
  return db_->Read(st);
}

fs::path Ledger::KeptFiles(int64_t id) const {
  std::optional<LedgerEntry> e = Get(id);
  if (!e) throw Error(db_->file + ": no export " + std::to_string(id));
  std::error_code ec;
  if (e->archive.empty() || !fs::is_directory(folder_ / e->archive, ec)) {
    throw Error(db_->file + ": the files of export " + std::to_string(id) +
                " are no longer kept (only the last exports of each device are)");
  }
  return folder_ / e->archive;
}

}  // namespace kve::ledger
