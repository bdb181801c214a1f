#include "server/access.h"

#include <sodium.h>

#include <algorithm>

#include "platform/common/error.h"
#include "platform/db/sql_values.h"

namespace kve::server {
namespace {

constexpr size_t kTokenBytes = 32;
// Addresses kept before stale ones are dropped: bounds the memory a scan from many
// addresses can take.
constexpr size_t kMaxAddresses = 4096;

std::string Hex(const unsigned char* bytes, size_t n) {
  std::string out(n * 2 + 1, '\0');
  sodium_bin2hex(out.data(), out.size(), bytes, n);
  out.pop_back();
  return out;
}

void CheckName(std::string_view name) {
  bool ok = !name.empty() && name.size() <= 40 && std::all_of(name.begin(), name.end(), [](char c) {
              return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '.' || c == '-' || c == '_';
            });
  if (!ok)
    throw ValueError("token name \"" + std::string(name) +
                     "\": expected 1 to 40 letters, digits, '.', '-' or '_'");
}

}  // namespace

std::string TokenHash(std::string_view token) {
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(token.data()), token.size());
  return Hex(digest, sizeof digest);
}

std::string AddToken(Database& db, std::string_view name, TDateTime now) {
  CheckName(name);
  if (sodium_init() < 0) throw Error("token: no source of random bytes");
  unsigned char raw[kTokenBytes];
  randombytes_buf(raw, sizeof raw);
  std::string token = Hex(raw, sizeof raw);
  TClientDataSet found;
  db.Run("SELECT NMACESSO FROM KVEACESSO WHERE NMACESSO = :P_NAME", {TextParam("P_NAME", std::string(name))}, &found);
  if (found.RecordCount() > 0)
    throw Error("token \"" + std::string(name) + "\" exists already; revoke it first to replace it");
  const SqlParam when = DateTimeParam("P_WHEN", TDateTime::FromMs(now.ms() / 1000 * 1000));
  db.Run("INSERT INTO KVEACESSO (NMACESSO, DSHASHACESSO, DTCRIACAO) VALUES (:P_NAME, :P_HASH, :P_WHEN)",
         {TextParam("P_NAME", std::string(name)), TextParam("P_HASH", TokenHash(token)), when}, nullptr);
  return token;
}

std::vector<TokenEntry> ListTokens(Database& db) {
  TClientDataSet rows;
  db.Run("SELECT NMACESSO, DTCRIACAO FROM KVEACESSO ORDER BY NMACESSO", {}, &rows);
  std::vector<TokenEntry> out;
  for (rows.First(); !rows.Eof(); rows.Next())
    out.push_back({rows.FieldByName("NMACESSO").AsString(), rows.FieldByName("DTCRIACAO").AsDateTime()});
  return out;
}

bool RevokeToken(Database& db, std::string_view name) {
  TClientDataSet found;
  db.Run("SELECT NMACESSO FROM KVEACESSO WHERE NMACESSO = :P_NAME", {TextParam("P_NAME", std::string(name))}, &found);
  if (found.RecordCount() == 0) return false;
  db.Run("DELETE FROM KVEACESSO WHERE NMACESSO = :P_NAME", {TextParam("P_NAME", std::string(name))}, nullptr);
  return true;
}

TokenLookup LookUpToken(Database& db, std::string_view token) {
  TClientDataSet rows;
  db.Run("SELECT (SELECT COUNT(*) FROM KVEACESSO) AS NSTORED, "
         "(SELECT NMACESSO FROM KVEACESSO WHERE DSHASHACESSO = :P_HASH) AS NMACESSO",
         {TextParam("P_HASH", TokenHash(token))}, &rows);
  TokenLookup out;
  rows.First();
  if (rows.Eof()) return out;
  out.anyStored = rows.FieldByName("NSTORED").AsLargeInt() > 0;
  TField name = rows.FieldByName("NMACESSO");
  if (!name.IsNull() && !token.empty()) out.name = name.AsString();
  return out;
}

AuthThrottle::AuthThrottle(Clock clock) : AuthThrottle(std::move(clock), Limits{}) {}
AuthThrottle::AuthThrottle(Clock clock, Limits limits) : clock_(std::move(clock)), limits_(limits) {}

long AuthThrottle::BlockedFor(const std::string& address) {
  std::lock_guard lock(mu_);
  auto it = entries_.find(address);
  if (it == entries_.end()) return 0;
  auto now = clock_();
  if (it->second.blockedUntil <= now) return 0;
  auto left = std::chrono::ceil<std::chrono::seconds>(it->second.blockedUntil - now).count();
  return std::max<long>(static_cast<long>(left), 1);
}

bool AuthThrottle::Failed(const std::string& address) {
  std::lock_guard lock(mu_);
  auto now = clock_();
  if (entries_.size() >= kMaxAddresses && !entries_.count(address)) Prune(now);
  Entry& e = entries_[address];
  auto& f = e.failures;
  f.erase(f.begin(), std::find_if(f.begin(), f.end(), [&](auto t) { return now - t < limits_.window; }));
  f.push_back(now);
  if (f.size() < limits_.maxFailures || e.blockedUntil > now) return false;
  e.blockedUntil = now + limits_.block;
  f.clear();
  return true;
}

void AuthThrottle::Prune(std::chrono::steady_clock::time_point now) {
  std::erase_if(entries_, [&](const auto& kv) {
    const Entry& e = kv.second;
    return e.blockedUntil <= now && (e.failures.empty() || now - e.failures.back() >= limits_.window);
  });
  // Still full (a flood of fresh addresses): forget the oldest half rather than grow.
  if (entries_.size() >= kMaxAddresses) {
    size_t drop = entries_.size() / 2;
    for (auto it = entries_.begin(); it != entries_.end() && drop > 0;) {
      if (it->second.blockedUntil <= now) {
        it = entries_.erase(it);
        --drop;
      } else {
        ++it;
      }
    }
  }
}

}  // namespace kve::server
