#include "palm/prevreti.h"

#include <fmt/format.h>

#include "palm/pdb_conversion.h"
#include "platform/common/error.h"
#include "platform/pdb/pdb_format.h"

namespace kve::palm {
namespace {

constexpr const char* kFile = "PREVRETI.pdb";
// Columns copied as their text, in the order they are assigned.
constexpr const char* kTextColumns[] = {"CDFILIAL",   "CDSERVFILI", "CDPRODUTO",
                                        "CDARVPROD",  "NMPRODUTO",  "SGUNIDADE",
                                        "CDTIPORETI", "NMTIPORETI", "FILSERPRDT"};

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

}  // namespace

std::string FloatNum(std::string_view s, int n, NumberSeparators sep) {
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
  switch (f.DataType()) {
    case FieldType::Date:
    case FieldType::DateTime: {
      const CivilDate d = f.AsDateTime().date();
      return fmt::format("{:02}{:02}{:04}", d.day, d.month, d.year);
    }
    default:
      return f.AsString();
  }
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

void ImportaPDBPrevReti(TClientDataSet& ds, const PrevRetiOptions& options,
                        TPDBPocketStudio& pdm, PdbProgress& progress) {
  if (!options.maskProduct) throw Error(fmt::format("{}: no product mask formatter given", kFile));
  progress.Start(ds.RecordCount());
  // look the fields up once: the names are fixed, the walk is long
  TPDBPSField* text[std::size(kTextColumns)];
  int textCol[std::size(kTextColumns)];
  for (size_t k = 0; k < std::size(kTextColumns); ++k) {
    text[k] = &pdm.FieldByName(kTextColumns[k]);
    textCol[k] = ds.FieldByName(kTextColumns[k]).Index();
  }
  TPDBPSField& date = pdm.FieldByName("DTPREVRETI");
  TPDBPSField& qtPrev = pdm.FieldByName("QTPREVRETI");
  TPDBPSField& qtCons = pdm.FieldByName("QTCONSRETI");
  TPDBPSField& psq = pdm.FieldByName("CDPSQPROD");
  TPDBPSField& oper = pdm.FieldByName("CDOPERADOR");
  const int dateCol = ds.FieldByName("DTPREVRETI").Index();
  const int qtPrevCol = ds.FieldByName("QTPREVRETI").Index();
  const int qtConsCol = ds.FieldByName("QTCONSRETI").Index();
  const int arvCol = ds.FieldByName("CDARVPROD").Index();

  for (ds.First(); !ds.Eof(); ds.Next()) {
    pdm.Append();
    for (size_t k = 0; k < std::size(kTextColumns); ++k)
      text[k]->SetAsPSString(ds.Fields(textCol[k]).AsString());
    // the date rule drops its own failures: the record goes without a date
    if (auto d = DateFromRuleText(DateRuleText(ds.Fields(dateCol)))) date.SetAsPSDate(*d);
    qtPrev.SetAsPSString(FloatNum(ds.Fields(qtPrevCol).AsString(), 5, options.separators));
    qtCons.SetAsPSString(FloatNum(ds.Fields(qtConsCol).AsString(), 5, options.separators));
    psq.SetAsPSString(options.maskProduct(ds.Fields(arvCol).AsString()));
    oper.SetAsPSString(options.operatorCode);
    pdm.Post();
    progress.Step();
  }
}

void CriaPDBPrevReti(TClientDataSet& ds, const std::filesystem::path& folder,
                     const PrevRetiOptions& options, TPDBPocketStudio& pdm,
                     PdbProgress& progress) {
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
