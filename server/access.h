#pragma once
// Who may call the server: one token per workstation, kept in the database as its SHA-256
// only (table KVEACESSO), and a throttle on failed authentication per client address.

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/db/database.h"

namespace kve::server {

// The SHA-256 of a token, lower-case hex: what the database keeps.
std::string TokenHash(std::string_view token);

struct TokenEntry {
  std::string name;
  TDateTime created;
};

// Stores a new random token under `name` and returns it: the only time it is ever seen.
// Raises ValueError for a name that is not 1 to 40 letters, digits, '.', '-' or '_' (it
// goes into log lines and metric labels), Error when the name is taken.
std::string AddToken(Database& db, std::string_view name, TDateTime now = TDateTime::Now());
std::vector<TokenEntry> ListTokens(Database& db);  // by name
// False when no token has that name.
bool RevokeToken(Database& db, std::string_view name);

// What the database says of a presented token: whether any token is stored at all (then
// every call needs one) and the name of the one presented, if it is stored.
struct TokenLookup {
  bool anyStored = false;
  std::optional<std::string> name;
};
TokenLookup LookUpToken(Database& db, std::string_view token);

// Failed authentication per client address: after `maxFailures` within `window`, that
// address is refused for `block`, whatever it sends; other addresses are not touched. The
// clock is injectable for tests.
class AuthThrottle {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  struct Limits {
    size_t maxFailures = 10;
    std::chrono::seconds window{60};
    std::chrono::seconds block{60};
  };
  explicit AuthThrottle(Clock clock = &std::chrono::steady_clock::now);
  AuthThrottle(Clock clock, Limits limits);

  // Seconds the address is still refused for; 0 when it may call.
  long BlockedFor(const std::string& address);
  // Counts a failure; true when it starts the address's block.
  bool Failed(const std::string& address);

 private:
  struct Entry {
    std::vector<std::chrono::steady_clock::time_point> failures;  // within the window, oldest first
    std::chrono::steady_clock::time_point blockedUntil{};
  };
  void Prune(std::chrono::steady_clock::time_point now);

  Clock clock_;
  Limits limits_;
  std::mutex mu_;
  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace kve::server
