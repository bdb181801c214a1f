#include "palm/prevreti.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>

#include "palm/pdb_conversion.h"
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

void ImportaPDBPrevReti(TClientDataSet& ds, const PrevRetiOptions& options, TPDBPocketStudio& pdm,
                        PdbProgress& progress) {
  if (!options.maskProduct) throw Error(fmt::format("{}: no product mask formatter given", kFile));
  progress.Start(ds.RecordCount());
  pdm.ExpectRecords(ds.RecordCount());
  // look the fields up once: the names are fixed, the walk is long
  struct Copy {
    TPDBPSField* field;
    int column;
  };
  auto copy = [&](const char* name) {
    return Copy{&pdm.FieldByName(name), ds.FieldByName(name).Index()};
  };
  Copy text[std::size(kTextColumns)];
  for (size_t k = 0; k < std::size(kTextColumns); ++k) text[k] = copy(kTextColumns[k]);
  const Copy date = copy("DTPREVRETI"), qtPrev = copy("QTPREVRETI"), qtCons = copy("QTCONSRETI"),
             arv = copy("CDARVPROD");
  TPDBPSField& psq = pdm.FieldByName("CDPSQPROD");
  TPDBPSField& oper = pdm.FieldByName("CDOPERADOR");
  const std::vector<FieldDef>& defs = ds.FieldDefs();
  auto def = [&](const Copy& c) -> const FieldDef& { return defs[static_cast<size_t>(c.column)]; };

  // The record in field-list order, for encoding it straight into the writer: each field's
  // text (or date), or nothing for a field no column fills, which goes as its zero.
  const int nFields = pdm.Fields().Count();
  std::vector<std::string_view> views(static_cast<size_t>(nFields));
  std::vector<int> slotOfText(std::size(kTextColumns));
  int slotDate = -1, slotPrev = -1, slotCons = -1, slotPsq = -1, slotOper = -1;
  size_t zeros = 0;  // bytes of the fields left unassigned
  bool direct = true;
  for (int k = 0; k < nFields; ++k) {
    const TPDBPSField* f = &pdm.Fields().GetItem(k);
    bool isText = true;
    if (f == date.field) {
      slotDate = k;
      isText = false;
      direct &= f->DataType() == TPDBPSFieldType::PSDate;
    } else if (f == qtPrev.field) {
      slotPrev = k;
    } else if (f == qtCons.field) {
      slotCons = k;
    } else if (f == &psq) {
      slotPsq = k;
    } else if (f == &oper) {
      slotOper = k;
    } else {
      isText = false;
      for (size_t t = 0; t < std::size(kTextColumns); ++t) {
        if (f != text[t].field) continue;
        slotOfText[t] = k;
        isText = true;
      }
      if (!isText) {  // no column fills it: its zero
        if (auto type = f->DataType())
          zeros += *type == TPDBPSFieldType::PSString ? 1 : PSFixedWidth(*type);
        continue;
      }
    }
    if (isText) direct &= f->DataType() == TPDBPSFieldType::PSString;
  }
  std::vector<uint8_t> kind(static_cast<size_t>(nFields), 0);  // 1 text, 2 date, 0 zero
  for (int k : slotOfText) kind[static_cast<size_t>(k)] = 1;
  for (int k : {slotPrev, slotCons, slotPsq, slotOper}) kind[static_cast<size_t>(k)] = 1;
  kind[static_cast<size_t>(slotDate)] = 2;
  std::vector<const TPDBPSField*> zeroFields(static_cast<size_t>(nFields), nullptr);
  for (int k = 0; k < nFields; ++k)
    if (kind[static_cast<size_t>(k)] == 0)
      zeroFields[static_cast<size_t>(k)] = &pdm.Fields().GetItem(k);

  std::string scratch;
  std::vector<std::string> scratches(std::size(kTextColumns));
  std::string prevText, consText, psqText;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    const RowView row = ds.CurrentRowView();
    if (direct) {
      size_t max = zeros + 2;
      for (size_t t = 0; t < std::size(kTextColumns); ++t)
        views[static_cast<size_t>(slotOfText[t])] =
            TextOf(row, text[t].column, def(text[t]), scratches[t]);
      AssignFloatNum(TextOf(row, qtPrev.column, def(qtPrev), scratch), 5, options.separators,
                     prevText);
      AssignFloatNum(TextOf(row, qtCons.column, def(qtCons), scratch), 5, options.separators,
                     consText);
      psqText = options.maskProduct(TextOf(row, arv.column, def(arv), scratch));
      views[static_cast<size_t>(slotPrev)] = prevText;
      views[static_cast<size_t>(slotCons)] = consText;
      views[static_cast<size_t>(slotPsq)] = psqText;
      views[static_cast<size_t>(slotOper)] = options.operatorCode;
      for (int k = 0; k < nFields; ++k)
        if (kind[static_cast<size_t>(k)] == 1) max += views[static_cast<size_t>(k)].size() + 1;
      const auto d = RuleDay(row, date.column, def(date), scratch);
      const bool posted = pdm.PostEncoded(max, [&](char* p) -> char* {
        for (int k = 0; k < nFields && p; ++k) {
          const auto at = static_cast<size_t>(k);
          if (kind[at] == 1) {
            p = pdb::EncodeText(views[at], p);
          } else if (kind[at] == 2) {
            pdb::PutU16(p, d ? pdb::ToDateType(*d) : 0);
            p += 2;
          } else if (auto type = zeroFields[at]->DataType()) {
            const size_t w = *type == TPDBPSFieldType::PSString ? 1 : PSFixedWidth(*type);
            std::memset(p, 0, w);
            p += w;
          }
        }
        return p;
      });
      if (posted) {
        progress.Step();
        continue;
      }
    }
    // field by field: the path that says what is wrong with a record the direct one refused
    pdm.Append();
    for (const Copy& c : text) c.field->SetAsPSString(TextOf(row, c.column, def(c), scratch));
    // the date rule drops its own failures: the record goes without a date
    if (auto d = RuleDay(row, date.column, def(date), scratch))
      date.field->SetAsPSDate(TDateTime::FromDate(*d));
    qtPrev.field->SetAsPSString(
        FloatNum(TextOf(row, qtPrev.column, def(qtPrev), scratch), 5, options.separators));
    qtCons.field->SetAsPSString(
        FloatNum(TextOf(row, qtCons.column, def(qtCons), scratch), 5, options.separators));
    psq.SetAsPSString(options.maskProduct(TextOf(row, arv.column, def(arv), scratch)));
    oper.SetAsPSString(options.operatorCode);
    pdm.Post();
    progress.Step();
  }
}

std::function<std::string(std::string_view)> ProductMaskFormatter(std::string mask) {
  return [m = EditMask(mask)](std::string_view value) { return m.Format(value, " "); };
}

namespace {

// The database's folder is set on `pdm` by the caller.
void WritePrevReti(TClientDataSet& ds, const PrevRetiOptions& options, TPDBPocketStudio& pdm,
                   PdbProgress& progress) {
  pdm.SetDBName(std::string(kPrevRetiDbName));
  for (const FieldDef& def : ds.FieldDefs()) {
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

}  // namespace kve::palm
