#include "palm/pdb_conversion.h"

#include <fmt/format.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <system_error>

#include "platform/common/error.h"

namespace kve::palm {
namespace {

// Position in the type table of each column type; -1 for none.
int TypePosition(FieldType t) {
  switch (t) {
    case FieldType::String:
      return 0;
    case FieldType::Int16:
      return 1;
    case FieldType::Int32:
      return 2;
    case FieldType::Int64:
      return 3;
    case FieldType::Date:
    case FieldType::DateTime:
      return 4;
    case FieldType::Float:
      return 5;
    case FieldType::Boolean:
      return 6;
    case FieldType::Time:
      return -1;
  }
  return -1;
}

bool EndsWithXml(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string_view ext = name.substr(name.size() - 4);
  return ext[0] == '.' && (ext[1] | 0x20) == 'x' && (ext[2] | 0x20) == 'm' &&
         (ext[3] | 0x20) == 'l';
}

// Hands column i of `row` to `out` by the mapping above.
void CopyValue(RowView row, int i, const FieldDef& def, TPDBPSField& out, TPDBPocketStudio& pdm) {
  const bool null = row.IsNull(i);
  switch (def.type) {
    case FieldType::String:
      out.SetAsPSString(null ? std::string_view() : row.Str(i));
      return;
    case FieldType::Int16:
      out.SetAsPSInt8(static_cast<int8_t>(null ? 0 : row.Int(i)));
      return;
    case FieldType::Int32:
      out.SetAsPSInt16(static_cast<int16_t>(null ? 0 : row.Int(i)));
      return;
    case FieldType::Int64:
      out.SetAsPSInt32(static_cast<int32_t>(null ? 0 : row.Int(i)));
      return;
    case FieldType::Date:
    case FieldType::DateTime:
      // A time of day is dropped rather than losing the date; a null stays "no date".
      if (!null) out.SetAsPSDate(TDateTime::FromMs(row.Int(i)).DateOnly());
      return;
    case FieldType::Float: {
      const double v = null ? 0.0 : row.Float(i);
      if (std::isfinite(v) && std::fabs(v) > FLT_MAX)
        throw ValueError(fmt::format("{}: {}: {} does not fit single precision", pdm.Context(),
                                     out.FieldName(), v));
      out.SetAsPSSingle(static_cast<float>(v));
      return;
    }
    case FieldType::Boolean:
      out.SetAsPSBoolean(!null && row.Int(i) != 0);
      return;
    case FieldType::Time:
      return;
  }
}

}  // namespace

std::optional<TPDBPSFieldType> PSTypeOf(FieldType t) {
  const int pos = TypePosition(t);
  if (pos < 0) return std::nullopt;
  return PdmTipos().GetItem(pos).DataType();
}

void ConfigureWriter(TPDBPocketStudio& pdm) {
  pdm.SetOpenMode(TPDBOpenMode::dmModeWriteOnly);
  pdm.SetCreatorID("RKVE");
  pdm.SetDatabaseType("DBCS");
}

void DefineFields(const TClientDataSet& ds, TPDBPocketStudio& pdm) {
  for (const FieldDef& def : ds.FieldDefs()) {
    TPDBPSField& f = pdm.Fields().Add();
    f.SetFieldName(def.name);
    if (auto t = PSTypeOf(def.type)) f.SetDataType(*t);
    f.SetSize(0);
  }
}

void ImportaPDB(TClientDataSet& ds, TPDBPocketStudio& pdm, PdbProgress& progress) {
  progress.Start(ds.RecordCount());
  const int n = std::min(ds.FieldCount(), pdm.Fields().Count());
  std::vector<TPDBPSField*> fields;
  for (int i = 0; i < n; ++i) fields.push_back(&pdm.Fields().GetItem(i));
  const std::vector<FieldDef>& defs = ds.FieldDefs();
  for (ds.First(); !ds.Eof(); ds.Next()) {
    pdm.Append();
    const RowView row = ds.CurrentRowView();
    for (int i = 0; i < n; ++i)
      CopyValue(row, i, defs[static_cast<size_t>(i)], *fields[static_cast<size_t>(i)], pdm);
    pdm.Post();
    progress.Step();
  }
}

void ConvertXmlFile(const std::filesystem::path& xml, const std::filesystem::path& pdb,
                    const std::string& dbName, TPDBPocketStudio& pdm, PdbProgress& progress) {
  FieldListGuard guard(pdm);
  pdm.Fields().Clear();
  TClientDataSet ds(dbName);
  ds.LoadFromFile(xml);
  pdm.SetDBName(dbName);
  DefineFields(ds, pdm);
  pdm.SetDirectory(pdb.parent_path());
  pdm.SetPDBFilename(pdb.filename().string());
  pdm.CreateDatabase();
  ImportaPDB(ds, pdm, progress);
  ds.Close();
  pdm.CloseDatabase();
}

std::vector<std::string> ListXmlFiles(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    std::error_code fileEc;
    if (!it->is_regular_file(fileEc)) continue;
    std::string name = it->path().filename().string();
    if (EndsWithXml(name)) names.push_back(std::move(name));
  }
  if (ec)
    throw IoError(fmt::format("{}: cannot list the folder: {}", folder.string(), ec.message()));
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> ConvertXmlFolder(const std::filesystem::path& folder,
                                          TPDBPocketStudio& pdm, PdbProgress& progress) {
  std::vector<std::string> written;
  for (const std::string& f : ListXmlFiles(folder)) {
    const std::string dbName = f.substr(0, f.size() - 4);
    if (dbName == kPrevRetiDbName) continue;
    const std::string pdbName = f.substr(0, f.size() - 3) + "pdb";
    ConvertXmlFile(folder / f, folder / pdbName, dbName, pdm, progress);
    written.push_back(pdbName);
  }
  progress.Finish();
  return written;
}

std::vector<std::string> ConvertXmlFolder(const std::filesystem::path& folder,
                                          PdbProgress& progress) {
  TPDBPocketStudio pdm;
  ConfigureWriter(pdm);
  return ConvertXmlFolder(folder, pdm, progress);
}

}  // namespace kve::palm
