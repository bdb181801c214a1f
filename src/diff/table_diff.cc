#include "diff/table_diff.h"

#include <fmt/format.h>

#include <algorithm>
#include <unordered_map>

#include "inspect/values.h"
#include "platform/common/ascii.h"
#include "platform/common/error.h"

namespace kve::diff {
namespace {

bool SameCell(RowView a, int ia, const FieldDef& da, RowView b, int ib, const FieldDef& db) {
  const bool na = a.IsNull(ia), nb = b.IsNull(ib);
  if (na || nb) return na == nb;
  if (da.type != db.type) return InspectText(a, ia, da) == InspectText(b, ib, db);
  switch (da.type) {
    case FieldType::String: return a.Str(ia) == b.Str(ib);
    case FieldType::Float: {
      const double x = a.Float(ia), y = b.Float(ib);
      return x == y || (x != x && y != y);
    }
    default: return a.Int(ia) == b.Int(ib);
  }
}

// The key of a row as one string: each field's text behind a separator no text holds, or a
// mark of its own for a null. Texts, not raw values, so that both sides agree whatever
// integer width or date type each declares.
void KeyOf(RowView row, const std::vector<int>& fields, const std::vector<FieldDef>& defs, std::string& out) {
  out.clear();
  for (int f : fields) {
    if (row.IsNull(f)) {
      out += '\x01';
      continue;
    }
    out += '\x02';
    if (defs[static_cast<size_t>(f)].type == FieldType::String)
      out += row.Str(f);
    else
      out += *InspectText(row, f, defs[static_cast<size_t>(f)]);
  }
}

std::vector<int> KeyColumns(const TClientDataSet& t, const std::vector<std::string>& key, const char* side) {
  std::vector<int> cols;
  for (const std::string& k : key) {
    const int i = t.FindFieldIndex(k);
    if (i < 0) throw Error(fmt::format("{} table {}: no key field {}", side, t.Name(), k));
    cols.push_back(i);
  }
  return cols;
}

bool Ignored(const std::vector<std::string>& ignore, std::string_view name) {
  for (const std::string& n : ignore)
    if (EqualsIgnoreCase(n, name)) return true;
  return false;
}

}  // namespace

TableDiff DiffTables(const TClientDataSet& oldT, const TClientDataSet& newT,
                     const std::vector<std::string>& key, const std::vector<std::string>& ignore) {
  TableDiff d;
  d.key = key;
  const auto& od = oldT.FieldDefs();
  const auto& nd = newT.FieldDefs();
  // Columns are matched by name through a hash of each side's names: tables of thousands of
  // fields cost as many lookups, not their square. The first of a name counts, as for
  // FindFieldIndex.
  const auto byName = [](const std::vector<FieldDef>& defs) {
    std::unordered_map<std::string, int> m;
    m.reserve(defs.size());
    for (size_t i = 0; i < defs.size(); ++i) m.emplace(AsciiLowered(defs[i].name), static_cast<int>(i));
    return m;
  };
  const auto oldByName = byName(od), newByName = byName(nd);
  const auto find = [](const std::unordered_map<std::string, int>& m, const std::string& name) {
    const auto it = m.find(AsciiLowered(name));
    return it == m.end() ? -1 : it->second;
  };
  for (int n = 0; n < newT.FieldCount(); ++n) {
    const FieldDef& f = nd[static_cast<size_t>(n)];
    const int o = find(oldByName, f.name);
    if (o < 0) {
      d.onlyNew.push_back(f.name);
      continue;
    }
    const FieldDef& of = od[static_cast<size_t>(o)];
    if (of.type != f.type)
      d.typeChanges.push_back(fmt::format("{}: {} -> {}", f.name, FieldTypeName(of.type), FieldTypeName(f.type)));
    if (!Ignored(ignore, f.name)) d.columns.push_back({f.name, o, n});
  }
  for (const FieldDef& f : od)
    if (find(newByName, f.name) < 0) d.onlyOld.push_back(f.name);

  const std::vector<int> oldRows = oldT.StorageOrder(), newRows = newT.StorageOrder();
  const auto compare = [&](int o, int n) {
    const RowView a = oldT.Row(oldRows[static_cast<size_t>(o)]), b = newT.Row(newRows[static_cast<size_t>(n)]);
    RowChange change{o, n, {}};
    for (size_t c = 0; c < d.columns.size(); ++c) {
      const ColumnPair& p = d.columns[c];
      if (!SameCell(a, p.oldIndex, od[static_cast<size_t>(p.oldIndex)], b, p.newIndex, nd[static_cast<size_t>(p.newIndex)]))
        change.columns.push_back(static_cast<int>(c));
    }
    if (change.columns.empty())
      ++d.unchanged;
    else
      d.changed.push_back(std::move(change));
  };

  const int oldCount = static_cast<int>(oldRows.size()), newCount = static_cast<int>(newRows.size());
  if (key.empty()) {
    const int both = std::min(oldCount, newCount);
    for (int r = 0; r < both; ++r) compare(r, r);
    for (int r = both; r < oldCount; ++r) d.removed.push_back(r);
    for (int r = both; r < newCount; ++r) d.added.push_back(r);
    return d;
  }

  const std::vector<int> oldKey = KeyColumns(oldT, key, "old"), newKey = KeyColumns(newT, key, "new");
  // Old rows by key; rows sharing a key queue up under it and are taken in order by the new
  // rows of that key.
  struct Bucket {
    int first = -1;        // the first old row with this key, -1 when none
    std::vector<int> more;  // the next ones, when the key is shared
    int newRows = 0;       // new rows of this key seen so far
  };
  const auto countShared = [&](size_t seen) {
    if (seen == 2) d.sharedKeyRows += 2;
    if (seen > 2) d.sharedKeyRows += 1;
  };
  std::unordered_map<std::string, Bucket> index;
  index.reserve(static_cast<size_t>(oldCount));
  std::string k;
  for (int r = 0; r < oldCount; ++r) {
    KeyOf(oldT.Row(oldRows[static_cast<size_t>(r)]), oldKey, od, k);
    Bucket& b = index[k];
    if (b.first < 0) {
      b.first = r;
    } else {
      b.more.push_back(r);
      countShared(b.more.size() + 1);
    }
  }
  std::vector<char> matched(static_cast<size_t>(oldCount), 0);
  for (int r = 0; r < newCount; ++r) {
    KeyOf(newT.Row(newRows[static_cast<size_t>(r)]), newKey, nd, k);
    Bucket& b = index[k];
    const size_t nth = static_cast<size_t>(b.newRows++);
    countShared(nth + 1);
    const int partner = nth == 0 ? b.first : nth - 1 < b.more.size() ? b.more[nth - 1] : -1;
    if (partner < 0) {
      d.added.push_back(r);
    } else {
      matched[static_cast<size_t>(partner)] = 1;
      compare(partner, r);
    }
  }
  for (int r = 0; r < oldCount; ++r)
    if (!matched[static_cast<size_t>(r)]) d.removed.push_back(r);
  return d;
}

}  // namespace kve::diff
