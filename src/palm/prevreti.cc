#include "palm/prevreti.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>

#include "palm/pdb_conversion.h"
#include "platform/common/ascii.h"
#include "platform/common/error.h"
#include "platform/dataset/value_text.h"
#include "platform/pdb/pdb_encode.h"
#include "platform/pdb/pdb_format.h"
#include "platform/ui/mask.h"

namespace kve::palm {
namespace {

constexpr const char* kFile = "PREVRETI.pdb";
// Columns copied as their text, in the order they are assigned.
constexpr const char* kTextColumns[] = {"CDFILIAL",   "CDSERVFILI", "CDPRODUTO",
                                        "CDARVPROD",  "NMPRODUTO",  "SGUNIDADE",
                                        "CDTIPORETI", "NMTIPORETI", "FILSERPRDT"};

// The text of column i as the table shows it, without a copy for a text column.
std::string_view TextOf(RowView row, int i, const FieldDef& def, std::string& scratch) {
  if (row.IsNull(i)) return {};
  if (def.type == FieldType::String) return row.Str(i);
  scratch = CellText(row, i, def);
  return scratch;
}

void PutDigits(char* p, int v, int width) {
  for (int k = width - 1; k >= 0; --k, v /= 10) p[k] = static_cast<char>('0' + v % 10);
}

// "ddmmyyyy": the date in the one form the date rule reads.
std::string EightDigitDate(TDateTime v) {
  const CivilDate d = v.date();
  std::string s(8, '0');
  PutDigits(s.data(), d.day, 2);
  PutDigits(s.data() + 2, d.month, 2);
  PutDigits(s.data() + 4, d.year, 4);
  return s;
}

bool WholeNumber(std::string_view s, int& out) {
  if (s.empty()) return false;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = v;
  return true;
}

// The date rule on column i, as the day it gives (worked out once: the walk is long). A date
// column's eight-digit text always reads back as its own date, so that date is taken as it is;
// a text column goes through the cut.
std::optional<CivilDate> RuleDay(RowView row, int i, const FieldDef& def, std::string& scratch) {
  if (row.IsNull(i)) return std::nullopt;
  if (def.type == FieldType::Date || def.type == FieldType::DateTime) {
    const CivilDate day = TDateTime::FromMs(row.Int(i)).date();
    if (!pdb::FitsDateType(day)) return std::nullopt;
    return day;
  }
  const auto date = DateFromRuleText(TextOf(row, i, def, scratch));
  if (!date) return std::nullopt;
  return date->date();
}

}  // namespace

namespace {

// FloatNum into `r`, whose storage a walk over many rows reuses.
void AssignFloatNum(std::string_view s, int n, NumberSeparators sep, std::string& r) {
  n = std::max(n, 0);
  r.assign(s);
  for (char c : s)
    if ((c < '0' || c > '9') && c != sep.thousand && c != sep.decimal) return;
  for (char& c : r)
    if (c == ',') c = '.';
  const size_t point = r.find('.');
  if (point == std::string::npos) {
    if (r.empty()) return;
    r += sep.decimal;
    r.append(static_cast<size_t>(n), '0');
    return;
  }
  if (point == 0) r.insert(r.begin(), '0');
  const size_t decimals = r.size() - r.find('.') - 1;
  if (decimals < static_cast<size_t>(n)) r.append(static_cast<size_t>(n) - decimals, '0');
}

}  // namespace

std::string FloatNum(std::string_view s, int n, NumberSeparators sep) {
  std::string r;
  AssignFloatNum(s, n, sep, r);
  return r;
}

std::string DateRuleText(TField f) {
  if (f.IsNull()) return {};
  if (f.DataType() == FieldType::Date || f.DataType() == FieldType::DateTime)
    return EightDigitDate(f.AsDateTime());
  return f.AsString();
}

std::optional<TDateTime> DateFromRuleText(std::string_view text) {
  auto piece = [&](size_t pos, size_t len) {
    return pos < text.size() ? text.substr(pos, len) : std::string_view{};
  };
  int day = 0, month = 0, year = 0;
  if (!WholeNumber(piece(0, 2), day) || !WholeNumber(piece(2, 2), month) ||
      !WholeNumber(piece(4, 4), year) || !IsValidDate(year, month, day))
    return std::nullopt;
  const CivilDate d{year, month, day};
  if (!pdb::FitsDateType(d)) return std::nullopt;
  return TDateTime::FromDate(d);
}

namespace {

// The column named `name` among `defs` (letter case ignored), as the table's FieldByName finds
// it, with its error when there is none.
int ColumnOf(const std::vector<FieldDef>& defs, std::string_view table, const char* name) {
  for (size_t i = 0; i < defs.size(); ++i)
    if (EqualsIgnoreCase(defs[i].name, name)) return static_cast<int>(i);
  throw Error(fmt::format("{}: field '{}' not found", table.empty() ? "dataset" : table, name));
}

}  // namespace

// The forecast's records from rows of its columns: the columns and fields are looked up once,
// since the walk is long, and each row is encoded straight into the writer.
class PrevRetiEncoder {
 public:
  PrevRetiEncoder(std::vector<FieldDef> defs, std::string_view table,
                  const PrevRetiOptions& options, TPDBPocketStudio& pdm);
  void Put(RowView row);

 private:
  struct Copy {
    TPDBPSField* field;
    int column;
  };
  Copy Find(const char* name) const {
    return Copy{&pdm_.FieldByName(name), ColumnOf(defs_, table_, name)};
  }
  const FieldDef& Def(const Copy& c) const { return defs_[static_cast<size_t>(c.column)]; }
  bool PutDirect(RowView row);

  const std::vector<FieldDef> defs_;
  const std::string table_;
  const PrevRetiOptions& options_;
  TPDBPocketStudio& pdm_;
  Copy text_[std::size(kTextColumns)];
  Copy date_, qtPrev_, qtCons_, arv_;
  TPDBPSField& psq_;
  TPDBPSField& oper_;

  // The record in field-list order, for encoding it straight into the writer: each field's
  // text (or date), or nothing for a field no column fills, which goes as its zero.
  int nFields_ = 0;
  std::vector<std::string_view> views_;
  std::vector<int> slotOfText_;
  int slotPrev_ = -1, slotCons_ = -1, slotPsq_ = -1, slotOper_ = -1;
  size_t zeros_ = 0;  // bytes of the fields left unassigned
  bool direct_ = true;
  std::vector<uint8_t> kind_;  // 1 text, 2 date, 0 zero
  std::vector<const TPDBPSField*> zeroFields_;

  std::string scratch_;
  std::vector<std::string> scratches_;
  std::string prevText_, consText_, psqText_;
};

PrevRetiEncoder::PrevRetiEncoder(std::vector<FieldDef> defs, std::string_view table,
                                 const PrevRetiOptions& options, TPDBPocketStudio& pdm)
    : defs_(std::move(defs)), table_(table), options_(options), pdm_(pdm),
      date_(Find("DTPREVRETI")), qtPrev_(Find("QTPREVRETI")), qtCons_(Find("QTCONSRETI")),
      arv_(Find("CDARVPROD")), psq_(pdm.FieldByName("CDPSQPROD")),
      oper_(pdm.FieldByName("CDOPERADOR")), scratches_(std::size(kTextColumns)) {
  if (!options.maskProduct) throw Error(fmt::format("{}: no product mask formatter given", kFile));
  for (size_t k = 0; k < std::size(kTextColumns); ++k) text_[k] = Find(kTextColumns[k]);
  nFields_ = pdm.Fields().Count();
  views_.resize(static_cast<size_t>(nFields_));
  slotOfText_.resize(std::size(kTextColumns));
  int slotDate = -1;
  for (int k = 0; k < nFields_; ++k) {
    const TPDBPSField* f = &pdm.Fields().GetItem(k);
    bool isText = true;
    if (f == date_.field) {
      slotDate = k;
      isText = false;
      direct_ &= f->DataType() == TPDBPSFieldType::PSDate;
    } else if (f == qtPrev_.field) {
      slotPrev_ = k;
    } else if (f == qtCons_.field) {
      slotCons_ = k;
    } else if (f == &psq_) {
      slotPsq_ = k;
    } else if (f == &oper_) {
      slotOper_ = k;
    } else {
      isText = false;
      for (size_t t = 0; t < std::size(kTextColumns); ++t) {
        if (f != text_[t].field) continue;
        slotOfText_[t] = k;
        isText = true;
      }
      if (!isText) {  // no column fills it: its zero
        if (auto type = f->DataType())
          zeros_ += *type == TPDBPSFieldType::PSString ? 1 : PSFixedWidth(*type);
        continue;
      }
    }
    if (isText) direct_ &= f->DataType() == TPDBPSFieldType::PSString;
  }
  kind_.assign(static_cast<size_t>(nFields_), 0);
  for (int k : slotOfText_) kind_[static_cast<size_t>(k)] = 1;
  for (int k : {slotPrev_, slotCons_, slotPsq_, slotOper_}) kind_[static_cast<size_t>(k)] = 1;
  kind_[static_cast<size_t>(slotDate)] = 2;
  zeroFields_.assign(static_cast<size_t>(nFields_), nullptr);
  for (int k = 0; k < nFields_; ++k)
    if (kind_[static_cast<size_t>(k)] == 0)
      zeroFields_[static_cast<size_t>(k)] = &pdm.Fields().GetItem(k);
}

bool PrevRetiEncoder::PutDirect(RowView row) {
  size_t max = zeros_ + 2;
  for (size_t t = 0; t < std::size(kTextColumns); ++t)
    views_[static_cast<size_t>(slotOfText_[t])] =
        TextOf(row, text_[t].column, Def(text_[t]), scratches_[t]);
  AssignFloatNum(TextOf(row, qtPrev_.column, Def(qtPrev_), scratch_), 5, options_.separators,
                 prevText_);
  AssignFloatNum(TextOf(row, qtCons_.column, Def(qtCons_), scratch_), 5, options_.separators,
                 consText_);
  psqText_ = options_.maskProduct(TextOf(row, arv_.column, Def(arv_), scratch_));
  views_[static_cast<size_t>(slotPrev_)] = prevText_;
  views_[static_cast<size_t>(slotCons_)] = consText_;
  views_[static_cast<size_t>(slotPsq_)] = psqText_;
  views_[static_cast<size_t>(slotOper_)] = options_.operatorCode;
  for (int k = 0; k < nFields_; ++k)
    if (kind_[static_cast<size_t>(k)] == 1) max += views_[static_cast<size_t>(k)].size() + 1;
  const auto d = RuleDay(row, date_.column, Def(date_), scratch_);
  return pdm_.PostEncoded(max, [&](char* p) -> char* {
    for (int k = 0; k < nFields_ && p; ++k) {
      const auto at = static_cast<size_t>(k);
      if (kind_[at] == 1) {
        p = pdb::EncodeText(views_[at], p);
      } else if (kind_[at] == 2) {
        pdb::PutU16(p, d ? pdb::ToDateType(*d) : 0);
        p += 2;
      } else if (auto type = zeroFields_[at]->DataType()) {
        const size_t w = *type == TPDBPSFieldType::PSString ? 1 : PSFixedWidth(*type);
        std::memset(p, 0, w);
        p += w;
      }
    }
    return p;
  });
}

void PrevRetiEncoder::Put(RowView row) {
  if (direct_ && PutDirect(row)) return;
  // field by field: the path that says what is wrong with a record the direct one refused
  pdm_.Append();
  for (const Copy& c : text_) c.field->SetAsPSString(TextOf(row, c.column, Def(c), scratch_));
  // the date rule drops its own failures: the record goes without a date
  if (auto d = RuleDay(row, date_.column, Def(date_), scratch_))
    date_.field->SetAsPSDate(TDateTime::FromDate(*d));
  qtPrev_.field->SetAsPSString(
      FloatNum(TextOf(row, qtPrev_.column, Def(qtPrev_), scratch_), 5, options_.separators));
  qtCons_.field->SetAsPSString(
      FloatNum(TextOf(row, qtCons_.column, Def(qtCons_), scratch_), 5, options_.separators));
  psq_.SetAsPSString(options_.maskProduct(TextOf(row, arv_.column, Def(arv_), scratch_)));
  oper_.SetAsPSString(options_.operatorCode);
  pdm_.Post();
}

void ImportaPDBPrevReti(TClientDataSet& ds, const PrevRetiOptions& options, TPDBPocketStudio& pdm,
                        PdbProgress& progress) {
  PrevRetiEncoder encoder(ds.FieldDefs(), ds.Name(), options, pdm);
  progress.Database(std::string(kPrevRetiDbName) + ".pdb");
  progress.Start(ds.RecordCount());
  pdm.ExpectRecords(ds.RecordCount());
  for (ds.First(); !ds.Eof(); ds.Next()) {
    encoder.Put(ds.CurrentRowView());
    progress.Step();
  }
}

std::function<std::string(std::string_view)> ProductMaskFormatter(std::string mask) {
  return [m = EditMask(mask)](std::string_view value) { return m.Format(value, " "); };
}

namespace {

// The database's folder is set on `pdm` by the caller.
// Opens the database on `pdm`, one field per column in column order.
void CreatePrevReti(const std::vector<FieldDef>& columns, TPDBPocketStudio& pdm) {
  pdm.SetDBName(std::string(kPrevRetiDbName));
  for (const FieldDef& def : columns) {
    TPDBPSField& f = pdm.Fields().Add();
    f.SetFieldName(def.name);
    if (def.name == "DTPREVRETI")
      f.SetDataType(TPDBPSFieldType::PSDate);
    else if (auto t = PSTypeOf(def.type))
      f.SetDataType(*t);
    f.SetSize(0);
  }
  pdm.SetPDBFilename(kFile);
  pdm.CreateDatabase();
}

void WritePrevReti(TClientDataSet& ds, const PrevRetiOptions& options, TPDBPocketStudio& pdm,
                   PdbProgress& progress) {
  CreatePrevReti(ds.FieldDefs(), pdm);
  ImportaPDBPrevReti(ds, options, pdm, progress);
  ds.Close();
  pdm.CloseDatabase();
  progress.Finish();
}

}  // namespace

void CriaPDBPrevReti(TClientDataSet& ds, const std::filesystem::path& folder,
                     const PrevRetiOptions& options, TPDBPocketStudio& pdm, PdbProgress& progress) {
  FieldListGuard guard(pdm);
  pdm.Fields().Clear();
  pdm.SetDirectory(folder);
  WritePrevReti(ds, options, pdm, progress);
}

void CriaPDBPrevReti(TClientDataSet& ds, const std::filesystem::path& folder,
                     const PrevRetiOptions& options, PdbProgress& progress) {
  TPDBPocketStudio pdm;
  ConfigureWriter(pdm);
  CriaPDBPrevReti(ds, folder, options, pdm, progress);
}

void CriaPDBPrevReti(TClientDataSet& ds, FileSystem& fs, const std::string& folder,
                     const PrevRetiOptions& options, PdbProgress& progress) {
  TPDBPocketStudio pdm;
  ConfigureWriter(pdm);
  FieldListGuard guard(pdm);
  pdm.SetDirectory(fs, folder);
  WritePrevReti(ds, options, pdm, progress);
}

struct PrevRetiStream::State {
  PrevRetiOptions options;  // the encoder's, kept for as long as it runs
  TPDBPocketStudio pdm;
  FieldListGuard guard{pdm};
  std::optional<PrevRetiEncoder> encoder;
};

PrevRetiStream::PrevRetiStream(const std::vector<FieldDef>& columns,
                               const std::filesystem::path& folder, const PrevRetiOptions& options,
                               int expectedRows)
    : s_(std::make_unique<State>()) {
  s_->options = options;
  ConfigureWriter(s_->pdm);
  s_->pdm.SetDirectory(folder);
  CreatePrevReti(columns, s_->pdm);
  s_->encoder.emplace(columns, kPrevRetiDbName, s_->options, s_->pdm);
  if (expectedRows >= 0) s_->pdm.ExpectRecords(expectedRows);
}

PrevRetiStream::~PrevRetiStream() = default;

void PrevRetiStream::Add(RowView row) {
  if (!s_->pdm.Active()) throw Error(fmt::format("{}: the database is already finished", kFile));
  s_->encoder->Put(row);
}

int PrevRetiStream::RecordCount() const { return s_->pdm.RecordCount(); }

void PrevRetiStream::Finish() {
  if (!s_->pdm.Active()) throw Error(fmt::format("{}: the database is already finished", kFile));
  s_->pdm.CloseDatabase();
}

}  // namespace kve::palm
