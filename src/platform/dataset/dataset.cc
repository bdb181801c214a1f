#include "platform/dataset/dataset.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <numeric>
#include <optional>

#include <fmt/format.h>

#include "platform/common/cp1252.h"
#include "platform/common/ascii.h"
#include "platform/common/error.h"
#include "platform/common/exact_integer.h"
#include "platform/dataset/value_text.h"

namespace kve {
// ---------------------------------------------------------------- RowView / RowBuilder

RowBuilder::RowBuilder(int fieldCount)
    : n_(fieldCount), slots_(fieldCount), nulls_(fieldCount, 1), isStr_(fieldCount) {}

void RowBuilder::Reset() {
  std::fill(slots_.begin(), slots_.end(), 0);
  std::fill(nulls_.begin(), nulls_.end(), 1);
  std::fill(isStr_.begin(), isStr_.end(), 0);
  heap_.clear();
  garbage_ = false;
}

void RowBuilder::Drop(int i) {
  if (isStr_[i] && !nulls_[i]) garbage_ = true;  // its bytes stay in the heap, unused
}

void RowBuilder::SetNull(int i) {
  Drop(i);
  nulls_[i] = 1;
  slots_[i] = 0;
  isStr_[i] = 0;
}

void RowBuilder::SetInt(int i, int64_t v) {
  Drop(i);
  nulls_[i] = 0;
  isStr_[i] = 0;
  slots_[i] = static_cast<uint64_t>(v);
}

void RowBuilder::SetFloat(int i, double v) {
  Drop(i);
  nulls_[i] = 0;
  isStr_[i] = 0;
  std::memcpy(&slots_[i], &v, 8);
}

// A string's bytes are appended to one heap; its slot holds their place in it. Rows are
// mostly built once, field by field, so the heap is copied into the block whole.
void RowBuilder::SetStr(int i, std::string_view utf8) {
  Drop(i);
  nulls_[i] = 0;
  isStr_[i] = 1;
  slots_[i] = (static_cast<uint64_t>(utf8.size()) << 32) | heap_.size();
  heap_.append(utf8);
}

void RowBuilder::LoadFrom(RowView row, const std::vector<FieldDef>& defs) {
  Reset();
  for (int i = 0; i < n_; ++i) {
    if (row.IsNull(i)) continue;
    if (defs[i].type == FieldType::String) {
      SetStr(i, row.Str(i));
    } else {
      SetInt(i, row.Int(i));  // the slot's bits, whatever they mean
    }
  }
}

// Keeps only the bytes of live strings, when a field was set twice.
void RowBuilder::PackHeap() {
  if (!garbage_) return;
  std::string live;
  for (int i = 0; i < n_; ++i) {
    if (!isStr_[i] || nulls_[i]) continue;
    const uint64_t s = slots_[i];
    const size_t len = static_cast<size_t>(s >> 32);
    slots_[i] = (static_cast<uint64_t>(len) << 32) | live.size();
    live.append(heap_, static_cast<uint32_t>(s), len);
  }
  heap_ = std::move(live);
  garbage_ = false;
}

size_t RowBuilder::BlockSize() {
  PackHeap();
  return HeadSize() + heap_.size();
}

void RowBuilder::WriteBlock(uint8_t* b) const {
  const size_t head = HeadSize();
  std::memset(b + 8 * n_, 0, head - 8 * static_cast<size_t>(n_));
  for (int i = 0; i < n_; ++i) {
    uint64_t slot = slots_[i];
    if (nulls_[i]) {
      b[8 * n_ + i / 8] |= static_cast<uint8_t>(1 << (i % 8));
      slot = 0;
    } else if (isStr_[i]) {
      slot += head;  // heap offsets become block offsets
    }
    std::memcpy(b + 8 * i, &slot, 8);
  }
  if (!heap_.empty()) std::memcpy(b + head, heap_.data(), heap_.size());
}

void RowBuilder::Assemble() {
  block_.resize(BlockSize());
  WriteBlock(reinterpret_cast<uint8_t*>(block_.data()));
}

RowView RowBuilder::View() {
  Assemble();
  return RowView(reinterpret_cast<const uint8_t*>(block_.data()), n_);
}

std::string RowBuilder::Take() {
  Assemble();
  std::string out = std::move(block_);
  block_.clear();
  Reset();
  return out;
}

// ---------------------------------------------------------------- TField

const FieldDef& TField::Def() const { return ds_->defs_[i_]; }

bool TField::IsNull() const {
  if (!ds_->Active()) return true;
  if (ds_->state_ != TClientDataSet::State::Browse) return ds_->edit_->IsNull(i_);
  return ds_->CurrentRow() == nullptr || ds_->CurrentView().IsNull(i_);
}

std::string TField::AsString() const {
  if (IsNull()) return {};
  return CellText(ds_->CurrentView(), i_, Def());
}

int64_t TField::AsLargeInt() const {
  if (IsNull()) return 0;
  const RowView row = ds_->CurrentView();
  switch (Def().type) {
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::Int64:
    case FieldType::Boolean:
      return row.Int(i_);
    case FieldType::Float:
      return ExactInteger<int64_t>(row.Float(i_), fmt::format("{}: {}", ds_->RowContext(), FieldName()));
    case FieldType::String: {
      const std::string_view s = Trim(row.Str(i_));
      int64_t v = 0;
      auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
      if (ec != std::errc() || p != s.data() + s.size())
        throw ValueError(fmt::format("{}: {}: '{}' is not a valid integer", ds_->RowContext(),
                                     FieldName(), s));
      return v;
    }
    default:
      throw ValueError(fmt::format("{}: {}: a {} field cannot be read as an integer",
                                   ds_->RowContext(), FieldName(), FieldTypeName(Def().type)));
  }
}

int32_t TField::AsInteger() const { return static_cast<int32_t>(AsLargeInt()); }

double TField::AsFloat() const {
  if (IsNull()) return 0.0;
  const RowView row = ds_->CurrentView();
  switch (Def().type) {
    case FieldType::Float:
      return row.Float(i_);
    case FieldType::String: {
      auto v = ParseFloatText(row.Str(i_));
      if (!v)
        throw ValueError(fmt::format("{}: {}: '{}' is not a valid number", ds_->RowContext(),
                                     FieldName(), row.Str(i_)));
      return *v;
    }
    default:
      return static_cast<double>(AsLargeInt());
  }
}

bool TField::AsBoolean() const {
  if (IsNull()) return false;
  if (Def().type == FieldType::String) {
    auto v = ParseBoolText(ds_->CurrentView().Str(i_));
    if (!v)
      throw ValueError(fmt::format("{}: {}: '{}' is not a valid boolean", ds_->RowContext(),
                                   FieldName(), ds_->CurrentView().Str(i_)));
    return *v;
  }
  return AsLargeInt() != 0;
}

TDateTime TField::AsDateTime() const {
  if (IsNull()) return TDateTime{};
  const RowView row = ds_->CurrentView();
  switch (Def().type) {
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime:
      return TDateTime::FromMs(row.Int(i_));
    case FieldType::String: {
      auto v = ParseDateTimeText(row.Str(i_));
      if (!v)
        throw ValueError(fmt::format("{}: {}: '{}' is not a valid date", ds_->RowContext(),
                                     FieldName(), row.Str(i_)));
      return *v;
    }
    default:
      throw ValueError(fmt::format("{}: {}: a {} field cannot be read as a date",
                                   ds_->RowContext(), FieldName(), FieldTypeName(Def().type)));
  }
}

void TField::SetAsString(std::string_view v) {
  ds_->RequireEditing("set a field");
  const FieldDef& d = Def();
  if (d.type == FieldType::String) {
    ds_->CheckWidth(i_, v);
    ds_->edit_->SetStr(i_, v);
    return;
  }
  if (Trim(v).empty()) {
    ds_->edit_->SetNull(i_);
    return;
  }
  auto bad = [&](const char* what) {
    return ValueError(fmt::format("{}: {}: '{}' is not a valid {}", ds_->RowContext(), d.name, v, what));
  };
  switch (d.type) {
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::Int64: {
      const std::string_view s = Trim(v);
      int64_t n = 0;
      auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
      if (ec != std::errc() || p != s.data() + s.size()) throw bad("integer");
      SetAsInteger(n);
      return;
    }
    case FieldType::Float: {
      auto f = ParseFloatText(v);
      if (!f) throw bad("number");
      SetAsFloat(*f);
      return;
    }
    case FieldType::Boolean: {
      auto b = ParseBoolText(v);
      if (!b) throw bad("boolean");
      SetAsBoolean(*b);
      return;
    }
    default: {
      auto t = ParseDateTimeText(v);
      if (!t) throw bad("date");
      SetAsDateTime(*t);
      return;
    }
  }
}

void TField::SetAsInteger(int64_t v) {
  ds_->RequireEditing("set a field");
  const FieldDef& d = Def();
  int64_t lo = INT64_MIN, hi = INT64_MAX;
  if (d.type == FieldType::Int16) lo = INT16_MIN, hi = INT16_MAX;
  if (d.type == FieldType::Int32) lo = INT32_MIN, hi = INT32_MAX;
  switch (d.type) {
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::Int64:
      if (v < lo || v > hi)
        throw ValueError(fmt::format("{}: {}: {} is out of range for a {} field",
                                     ds_->RowContext(), d.name, v, FieldTypeName(d.type)));
      ds_->edit_->SetInt(i_, v);
      return;
    case FieldType::Float:
      SetAsFloat(static_cast<double>(v));
      return;
    case FieldType::Boolean:
      ds_->edit_->SetInt(i_, v != 0);
      return;
    case FieldType::String:
      SetAsString(std::to_string(v));
      return;
    default:
      throw ValueError(fmt::format("{}: {}: a {} field cannot take an integer", ds_->RowContext(),
                                   d.name, FieldTypeName(d.type)));
  }
}

void TField::SetAsFloat(double v) {
  ds_->RequireEditing("set a field");
  switch (Def().type) {
    case FieldType::Float:
      ds_->edit_->SetFloat(i_, v);
      return;
    case FieldType::String:
      SetAsString(FormatFloatText(v));
      return;
    default:
      SetAsInteger(ExactInteger<int64_t>(v, fmt::format("{}: {}", ds_->RowContext(), FieldName())));
  }
}

void TField::SetAsBoolean(bool v) {
  ds_->RequireEditing("set a field");
  if (Def().type == FieldType::String) {
    SetAsString(v ? "True" : "False");
    return;
  }
  SetAsInteger(v ? 1 : 0);
}

void TField::SetAsDateTime(TDateTime v) {
  ds_->RequireEditing("set a field");
  switch (Def().type) {
    case FieldType::Date:
      ds_->edit_->SetInt(i_, v.DateOnly().ms());
      return;
    case FieldType::Time:  // the time of day, also for a date-time before the scale's zero
      ds_->edit_->SetInt(i_, (v.msOfDay() + kMsPerDay) % kMsPerDay);
      return;
    case FieldType::DateTime:
      ds_->edit_->SetInt(i_, v.ms());
      return;
    case FieldType::String:
      SetAsString(FormatDateTimeText(v));
      return;
    default:
      throw ValueError(fmt::format("{}: {}: a {} field cannot take a date", ds_->RowContext(),
                                   Def().name, FieldTypeName(Def().type)));
  }
}

void TField::Clear() {
  ds_->RequireEditing("clear a field");
  ds_->edit_->SetNull(i_);
}

// ---------------------------------------------------------------- TClientDataSet

TClientDataSet::TClientDataSet(std::string name) : name_(std::move(name)) {}
TClientDataSet::~TClientDataSet() = default;

void TClientDataSet::Reset(std::vector<FieldDef> defs) {
  defs_ = std::move(defs);
  DropRows();
  active_ = true;
  cur_ = -1;
  eof_ = bof_ = true;
  state_ = State::Browse;
  edit_ = std::make_unique<RowBuilder>(FieldCount());
  // the filter and index name fields; resolve them against the new definitions
  filterField_ = filterText_.empty() ? -1 : FindFieldIndex(filterFieldName_);
  indexField_ = indexFieldName_.empty() ? -1 : FindFieldIndex(indexFieldName_);
  InvalidateView();
}

void TClientDataSet::Adopt(TClientDataSet& loaded) {
  Reset(std::move(loaded.defs_));
  rows_.swap(loaded.rows_);
  std::swap(arena_, loaded.arena_);
  loaded.defs_.clear();
  loaded.Close();
  InvalidateView();
  First();
}

void TClientDataSet::CreateDataSet() {
  for (size_t i = 0; i < defs_.size(); ++i) {
    if (defs_[i].name.empty()) throw Error(fmt::format("{}: field {} has no name", name_, i + 1));
    for (size_t j = 0; j < i; ++j)
      if (EqualsIgnoreCase(defs_[i].name, defs_[j].name))
        throw Error(fmt::format("{}: duplicate field name {}", name_, defs_[i].name));
  }
  Reset(std::vector<FieldDef>(defs_));
}

void TClientDataSet::Close() {
  DropRows();
  active_ = false;
  cur_ = -1;
  eof_ = bof_ = true;
  state_ = State::Browse;
  edit_.reset();
  InvalidateView();
}

int TClientDataSet::FindFieldIndex(std::string_view name) const {
  for (size_t i = 0; i < defs_.size(); ++i)
    if (EqualsIgnoreCase(defs_[i].name, name)) return static_cast<int>(i);
  return -1;
}

TField TClientDataSet::FieldByName(std::string_view name) {
  const int i = FindFieldIndex(name);
  if (i < 0) throw Error(fmt::format("{}: field '{}' not found", name_.empty() ? "dataset" : name_, name));
  return TField(this, i);
}

void TClientDataSet::RequireActive(const char* what) const {
  if (!active_) throw Error(fmt::format("{}: cannot {}: dataset not open", name_, what));
}

void TClientDataSet::RequireEditing(const char* what) const {
  RequireActive(what);
  if (state_ == State::Browse)
    throw Error(fmt::format("{}: cannot {}: dataset not in edit or insert mode", name_, what));
}

const TClientDataSet::StoredRow* TClientDataSet::CurrentRow() const {
  return cur_ >= 0 && cur_ < static_cast<int>(rows_.size()) ? &rows_[cur_] : nullptr;
}

RowView TClientDataSet::CurrentView() const {
  if (state_ != State::Browse) return edit_->View();
  const StoredRow* r = CurrentRow();
  return RowView(r->block, FieldCount());
}

RowView TClientDataSet::Row(int stored) const {
  return RowView(rows_[stored].block, FieldCount());
}

std::string TClientDataSet::RowContext() const {
  const std::string table = name_.empty() ? std::string("dataset") : name_;
  if (state_ == State::Insert) return table + " new row";
  return fmt::format("{} row {}", table, RecNo());
}

void TClientDataSet::CheckWidth(int i, std::string_view utf8) const {
  const FieldDef& d = defs_[i];
  if (d.size > 0 && static_cast<int>(Utf8Length(utf8)) > d.size)
    throw ValueError(fmt::format("{}: {}: value '{}' is longer than the field's {} characters",
                                 RowContext(), d.name, utf8, d.size));
}

// ---- view: visible rows in walk order

bool TClientDataSet::RowVisible(int stored) const {
  if (!filtered_ || filterField_ < 0) return true;
  const RowView row = Row(stored);
  if (row.IsNull(filterField_)) return filterValue_.empty();
  if (defs_[filterField_].type == FieldType::String) return row.Str(filterField_) == filterValue_;
  return CellText(row, filterField_, defs_[filterField_]) == filterValue_;
}

std::vector<int> TClientDataSet::StorageOrder() const {
  std::vector<int> order(rows_.size());
  std::iota(order.begin(), order.end(), 0);
  if (indexField_ >= 0) {
    const int f = indexField_;
    const FieldDef& d = defs_[f];
    const auto before = [&](int a, int b) { return CompareCells(Row(a), Row(b), f, d) < 0; };
    // Tables built in their index's order (the product index) need no sort at all.
    if (!std::is_sorted(order.begin(), order.end(), before))
      std::stable_sort(order.begin(), order.end(), before);
  }
  return order;
}

void TClientDataSet::EnsureView() const {
  if (!viewDirty_) return;
  std::vector<int> order = StorageOrder();
  view_.clear();
  view_.reserve(order.size());
  for (int r : order)
    if (RowVisible(r)) view_.push_back(r);
  viewPos_.assign(rows_.size(), -1);
  for (size_t p = 0; p < view_.size(); ++p) viewPos_[view_[p]] = static_cast<int>(p);
  viewDirty_ = false;
}

void TClientDataSet::BrowseMode() {
  if (state_ != State::Browse) Post();
}

void TClientDataSet::First() {
  RequireActive("move to the first row");
  BrowseMode();
  EnsureView();
  bof_ = true;
  eof_ = view_.empty();
  cur_ = view_.empty() ? -1 : view_.front();
}

void TClientDataSet::Next() {
  RequireActive("move to the next row");
  BrowseMode();
  EnsureView();
  bof_ = false;
  const int p = cur_ >= 0 ? viewPos_[cur_] : -1;
  if (p < 0 || p + 1 >= static_cast<int>(view_.size())) {
    eof_ = true;
    return;
  }
  cur_ = view_[p + 1];
}

bool TClientDataSet::Eof() const {
  if (!active_) return true;
  EnsureView();
  return eof_ || view_.empty();
}

bool TClientDataSet::Bof() const { return !active_ || bof_; }

int TClientDataSet::RecordCount() const {
  if (!active_) return 0;
  EnsureView();
  return static_cast<int>(view_.size());
}

int TClientDataSet::RecNo() const {
  if (!active_ || cur_ < 0) return 0;
  EnsureView();
  return viewPos_[cur_] + 1;
}

// ---- editing

void TClientDataSet::Edit() {
  RequireActive("edit");
  if (state_ != State::Browse) return;
  if (CurrentRow() == nullptr) throw Error(fmt::format("{}: cannot edit: no current row", name_));
  edit_->LoadFrom(CurrentView(), defs_);
  state_ = State::Edit;
}

void TClientDataSet::Insert() {
  RequireActive("insert");
  BrowseMode();
  edit_->Reset();
  state_ = State::Insert;
}

void TClientDataSet::Append() { Insert(); }

void TClientDataSet::Post() {
  RequireActive("post");
  if (state_ == State::Browse) return;
  for (int i = 0; i < FieldCount(); ++i)
    if (defs_[i].required && edit_->IsNull(i))
      throw ValueError(fmt::format("{}: field '{}' must have a value", RowContext(), defs_[i].name));
  if (state_ == State::Edit) {
    StoredRow& r = rows_[cur_];
    const StoredRow old = r;
    r = Store(*edit_, r.status == RowStatus::Unchanged ? RowStatus::Modified : r.status);
    state_ = State::Browse;
    if (KeyChanged(RowView(old.block, FieldCount()), Row(cur_))) InvalidateView();
    arena_.GiveBack(old.chunk, old.room);
  } else {
    rows_.push_back(Store(*edit_, RowStatus::Inserted));
    cur_ = static_cast<int>(rows_.size()) - 1;
    eof_ = bof_ = false;
    state_ = State::Browse;
    ExtendView();
  }
}

// Walking a table while editing each row must stay linear: the view is rebuilt only when an
// edit touches the field the filter or the index looks at.
bool TClientDataSet::KeyChanged(RowView before, RowView after) const {
  for (int f : {filtered_ ? filterField_ : -1, indexField_})
    if (f >= 0 && CompareCells(before, after, f, defs_[f]) != 0) return true;
  return false;
}

// A row added at the end joins the end of an arrival-ordered view; an indexed view is sorted
// again when next walked.
void TClientDataSet::ExtendView() {
  const int r = static_cast<int>(rows_.size()) - 1;
  if (viewDirty_ || indexField_ >= 0) {
    InvalidateView();
    return;
  }
  if (RowVisible(r)) {
    viewPos_.push_back(static_cast<int>(view_.size()));
    view_.push_back(r);
  } else {
    viewPos_.push_back(-1);
  }
}

void TClientDataSet::Cancel() {
  if (state_ == State::Browse) return;
  edit_->Reset();
  state_ = State::Browse;
}

void TClientDataSet::AppendRow(RowBuilder& row, RowStatus status) {
  rows_.push_back(Store(row, status));
  ExtendView();
}

// A row's block is addressed with 32-bit sizes and offsets.
size_t TClientDataSet::CheckRowSize(size_t size) const {
  if (size > UINT32_MAX) throw ValueError(fmt::format("{}: a row of {} bytes is too large", name_, size));
  return size;
}

// The row's block written once, where it will stay; the builder is reset.
TClientDataSet::StoredRow TClientDataSet::Store(RowBuilder& row, RowStatus status) {
  const size_t size = CheckRowSize(row.BlockSize());
  const RowArena::Block b = arena_.Allocate(size);
  row.WriteBlock(b.at);
  row.Reset();
  return StoredRow{b.at, static_cast<uint32_t>(size), static_cast<uint32_t>(RowArena::Room(size)), status, b.chunk};
}

void TClientDataSet::DropRows() {
  rows_.clear();
  rows_.shrink_to_fit();
  arena_.Clear();
}

void TClientDataSet::SetStoredText(int stored, int field, std::string_view utf8) {
  StoredRow& r = rows_[stored];
  const size_t n = defs_.size();
  const size_t f = static_cast<size_t>(field);
  uint64_t slot;
  std::memcpy(&slot, r.block + 8 * f, 8);
  const size_t nulls = 8 * n + f / 8;
  const auto bit = static_cast<uint8_t>(1 << (f % 8));
  // A text no longer than the old one takes its place; a longer one goes at the block's end
  // and the old bytes stay unused (a row's texts need not be packed).
  size_t at;
  std::optional<StoredRow> left;  // the block the row leaves
  if (!(r.block[nulls] & bit) && (slot >> 32) >= utf8.size()) {
    at = static_cast<uint32_t>(slot);
  } else {
    const size_t size = CheckRowSize(r.size + utf8.size());
    if (size > r.room) {
      // The row moves to a block of the exact size (a derivation lengthens one text in every
      // row of a table, so any slack would be paid in every row).
      left = r;
      const RowArena::Block b = arena_.Allocate(size);
      r.block = b.at;
      r.chunk = b.chunk;
      r.room = static_cast<uint32_t>(RowArena::Room(size));
      std::memcpy(r.block, left->block, left->size);
    }
    at = r.size;
    r.size = static_cast<uint32_t>(size);
  }
  std::memmove(r.block + at, utf8.data(), utf8.size());
  slot = (static_cast<uint64_t>(utf8.size()) << 32) | at;
  std::memcpy(r.block + 8 * f, &slot, 8);
  r.block[nulls] = static_cast<uint8_t>(r.block[nulls] & ~bit);
  r.status = RowStatus::Unchanged;
  InvalidateView();
  if (left) arena_.GiveBack(left->chunk, left->room);  // after the copy: the text may lie in it
}

void TClientDataSet::MergeChangeLog() {
  RequireActive("merge the change log");
  BrowseMode();
  for (auto& r : rows_) r.status = RowStatus::Unchanged;
}

int TClientDataSet::ChangeCount() const {
  return static_cast<int>(std::count_if(rows_.begin(), rows_.end(), [](const StoredRow& r) {
    return r.status != RowStatus::Unchanged;
  }));
}

// ---- search, filter, index

bool TClientDataSet::Locate(std::string_view field, std::string_view value) {
  RequireActive("locate");
  BrowseMode();
  const int f = FieldByName(field).Index();
  EnsureView();
  const bool isString = defs_[f].type == FieldType::String;
  for (int r : view_) {
    const RowView row = Row(r);
    if (row.IsNull(f)) {
      if (!value.empty()) continue;
    } else if (isString ? row.Str(f) != value : CellText(row, f, defs_[f]) != value) {
      continue;
    }
    cur_ = r;
    eof_ = bof_ = false;
    return true;
  }
  return false;
}

void TClientDataSet::SetFilter(std::string_view expression) {
  filterText_.assign(expression);
  filterFieldName_.clear();
  filterValue_.clear();
  filterField_ = -1;
  const std::string_view e = Trim(expression);
  if (!e.empty()) {
    const size_t eq = e.find('=');
    if (eq == std::string_view::npos)
      throw Error(fmt::format("{}: filter '{}' is not of the form FIELD = value", name_, expression));
    filterFieldName_.assign(Trim(e.substr(0, eq)));
    std::string_view v = Trim(e.substr(eq + 1));
    if (v.size() >= 2 && (v.front() == '\'' || v.front() == '"') && v.back() == v.front())
      v = v.substr(1, v.size() - 2);
    filterValue_.assign(v);
    if (active_) {
      filterField_ = FindFieldIndex(filterFieldName_);
      if (filterField_ < 0)
        throw Error(fmt::format("{}: filter names unknown field '{}'", name_, filterFieldName_));
    }
  }
  InvalidateView();
}

void TClientDataSet::SetFiltered(bool on) {
  filtered_ = on;
  InvalidateView();
}

void TClientDataSet::SetIndexFieldNames(std::string_view field) {
  indexFieldName_.assign(Trim(field));
  indexField_ = -1;
  if (active_ && !indexFieldName_.empty()) indexField_ = FieldByName(indexFieldName_).Index();
  InvalidateView();
}

}  // namespace kve
