#include "palm/prevreti.h"

#include <fmt/format.h>

#include <algorithm>

#include "palm/pdb_conversion.h"
#include "platform/common/error.h"
#include "platform/dataset/value_text.h"
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

// The date rule on column i. A date column's eight-digit text always reads back as its own
// date, so that date is taken as it is; a text column goes through the cut.
std::optional<TDateTime> RuleDate(RowView row, int i, const FieldDef& def, std::string& scratch) {
  if (row.IsNull(i)) return std::nullopt;
  if (def.type == FieldType::Date || def.type == FieldType::DateTime) {
    const TDateTime date = TDateTime::FromMs(row.Int(i)).DateOnly();
    if (!pdb::FitsDateType(date.date())) return std::nullopt;
    return date;
  }
  return DateFromRuleText(TextOf(row, i, def, scratch));
}

}  // namespace

std::string FloatNum(std::string_view s, int n, NumberSeparators sep) {
  n = std::max(n, 0);
  for (char c : s)
    if ((c < '0' || c > '9') && c != sep.thousand && c != sep.decimal) return std::string(s);
  std::string r(s);
  for (char& c : r)
    if (c == ',') c = '.';
  const size_t point = r.find('.');
  if (point == std::string::npos) {
    if (r.empty()) return r;
    r += sep.decimal;
    r.append(static_cast<size_t>(n), '0');
    return r;
  }
  if (point == 0) r.insert(r.begin(), '0');
  const size_t decimals = r.size() - r.find('.') - 1;
  if (decimals < static_cast<size_t>(n)) r.append(static_cast<size_t>(n) - decimals, '0');
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

  std::string scratch;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    const RowView row = ds.CurrentRowView();
    pdm.Append();
    for (const Copy& c : text) c.field->SetAsPSString(TextOf(row, c.column, def(c), scratch));
    // the date rule drops its own failures: the record goes without a date
    if (auto d = RuleDate(row, date.column, def(date), scratch)) date.field->SetAsPSDate(*d);
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

void CriaPDBPrevReti(TClientDataSet& ds, const std::filesystem::path& folder,
                     const PrevRetiOptions& options, TPDBPocketStudio& pdm, PdbProgress& progress) {
  FieldListGuard guard(pdm);
  pdm.Fields().Clear();
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
  pdm.SetDirectory(folder);
  pdm.SetPDBFilename(kFile);
  pdm.CreateDatabase();
  ImportaPDBPrevReti(ds, options, pdm, progress);
  ds.Close();
  pdm.CloseDatabase();
  progress.Finish();
}

void CriaPDBPrevReti(TClientDataSet& ds, const std::filesystem::path& folder,
                     const PrevRetiOptions& options, PdbProgress& progress) {
  TPDBPocketStudio pdm;
  ConfigureWriter(pdm);
  CriaPDBPrevReti(ds, folder, options, pdm, progress);
}

}  // namespace kve::palm
