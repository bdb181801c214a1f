#pragma once
// Pieces shared by the two engines: finding a statement's parameter among the caller's, and
// a small cache of prepared statements keyed by text.

#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/db/database.h"

namespace kve::db_internal {

// The caller's parameters by name (letter case ignored), for statements with many of them
// (bulk inserts bind thousands).
class ParamIndex {
 public:
  explicit ParamIndex(const std::vector<SqlParam>& params) : params_(params) {}
  // The parameter named `name`; `hint` is where it probably stands (callers usually list
  // parameters in the order the text uses them). Raises Error, prefixed with `context`,
  // when it is missing or was never set.
  const SqlParam& Require(std::string_view name, const std::string& context, size_t hint = 0) const;

 private:
  const std::vector<SqlParam>& params_;
  mutable std::unordered_map<std::string, size_t> byName_;  // upper-cased, built on first miss
};

// Least-recently-used cache of prepared statements. `Release` is called on each evicted
// value and, at Clear, on every value.
template <typename V>
class StatementCache {
 public:
  explicit StatementCache(size_t capacity) : capacity_(capacity) {}

  V* Find(const std::string& key) {
    auto it = map_.find(key);
    if (it == map_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second);
    return &it->second->second;
  }
  template <typename Release>
  V& Add(const std::string& key, V value, Release release) {
    if (map_.size() >= capacity_) {
      release(order_.back().second);
      map_.erase(order_.back().first);
      order_.pop_back();
    }
    order_.emplace_front(key, std::move(value));
    map_[key] = order_.begin();
    return order_.front().second;
  }
  template <typename Release>
  void Clear(Release release) {
    for (auto& e : order_) release(e.second);
    order_.clear();
    map_.clear();
  }

 private:
  size_t capacity_;
  std::list<std::pair<std::string, V>> order_;
  std::unordered_map<std::string, typename std::list<std::pair<std::string, V>>::iterator> map_;
};

}  // namespace kve::db_internal
