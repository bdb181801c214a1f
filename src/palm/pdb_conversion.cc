#include "palm/pdb_conversion.h"

#include <fmt/format.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <system_error>

#include "platform/common/error.h"
#include "platform/fs/file_sink.h"
#include "platform/pdb/pdb_encode.h"

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

// Column i encoded straight into the record at `p`, as CopyValue would have the field encode
// it; nullptr for a value CopyValue refuses (it then reports the fault).
char* EncodeValue(RowView row, int i, FieldType type, char* p) {
  const bool null = row.IsNull(i);
  switch (type) {
    case FieldType::String:
      if (null) {
        *p = '\0';
        return p + 1;
      }
      return pdb::EncodeText(row.Str(i), p);
    case FieldType::Int16:
      *p = static_cast<char>(static_cast<int8_t>(null ? 0 : row.Int(i)));
      return p + 1;
    case FieldType::Int32:
      pdb::PutU16(p, static_cast<uint16_t>(static_cast<int16_t>(null ? 0 : row.Int(i))));
      return p + 2;
    case FieldType::Int64:
      pdb::PutU32(p, static_cast<uint32_t>(static_cast<int32_t>(null ? 0 : row.Int(i))));
      return p + 4;
    case FieldType::Date:
    case FieldType::DateTime: {
      uint16_t v = 0;
      if (!null) {
        const CivilDate d = TDateTime::FromMs(row.Int(i)).date();
        if (!pdb::FitsDateType(d)) return nullptr;
        v = pdb::ToDateType(d);
      }
      pdb::PutU16(p, v);
      return p + 2;
    }
    case FieldType::Float: {
      const double v = null ? 0.0 : row.Float(i);
      if (std::isfinite(v) && std::fabs(v) > FLT_MAX) return nullptr;
      return pdb::EncodeDouble(static_cast<double>(static_cast<float>(v)), p);
    }
    case FieldType::Boolean:
      *p = static_cast<char>(!null && row.Int(i) != 0 ? 1 : 0);
      return p + 1;
    case FieldType::Time:
      return p;
  }
  return p;
}

// True when the field list is the one DefineFields makes for these columns, so records can be
// encoded straight from the rows.
bool DefinedFromColumns(const std::vector<FieldDef>& defs, TPDBPocketStudio& pdm) {
  if (pdm.Fields().Count() != static_cast<int>(defs.size())) return false;
  for (size_t i = 0; i < defs.size(); ++i)
    if (pdm.Fields().GetItem(static_cast<int>(i)).DataType() != PSTypeOf(defs[i].type))
      return false;
  return true;
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
  pdm.ExpectRecords(ds.RecordCount());
  const int n = std::min(ds.FieldCount(), pdm.Fields().Count());
  std::vector<TPDBPSField*> fields;
  for (int i = 0; i < n; ++i) fields.push_back(&pdm.Fields().GetItem(i));
  const std::vector<FieldDef>& defs = ds.FieldDefs();
  // Records go straight from the row into the writer's buffer when the field list is the
  // usual one; the setters take a record the direct path refuses, and say what is wrong.
  const bool direct = DefinedFromColumns(defs, pdm);
  std::vector<FieldType> types;
  std::vector<int> texts;
  size_t fixed = 0;
  for (int i = 0; i < n; ++i) {
    const FieldType t = defs[static_cast<size_t>(i)].type;
    types.push_back(t);
    if (t == FieldType::String)
      texts.push_back(i);
    else if (auto ps = PSTypeOf(t))
      fixed += PSFixedWidth(*ps);
  }
  for (ds.First(); !ds.Eof(); ds.Next()) {
    const RowView row = ds.CurrentRowView();
    if (direct) {
      size_t max = fixed;
      for (int i : texts) max += (row.IsNull(i) ? 0 : row.Str(i).size()) + 1;
      const bool posted = pdm.PostEncoded(max, [&](char* p) -> char* {
        for (int i = 0; i < n && p; ++i) p = EncodeValue(row, i, types[static_cast<size_t>(i)], p);
        return p;
      });
      if (posted) {
        progress.Step();
        continue;
      }
    }
    pdm.Append();
    for (int i = 0; i < n; ++i)
      CopyValue(row, i, defs[static_cast<size_t>(i)], *fields[static_cast<size_t>(i)], pdm);
    pdm.Post();
    progress.Step();
  }
}

namespace {

// `ds` into the database `dbName`, whose folder and file name are set on `pdm`.
void ConvertLoaded(TClientDataSet& ds, const std::string& dbName, TPDBPocketStudio& pdm,
                   PdbProgress& progress) {
  pdm.SetDBName(dbName);
  DefineFields(ds, pdm);
  pdm.CreateDatabase();
  ImportaPDB(ds, pdm, progress);
  ds.Close();
  pdm.CloseDatabase();
}

}  // namespace

void ConvertXmlFile(const std::filesystem::path& xml, const std::filesystem::path& pdb,
                    const std::string& dbName, TPDBPocketStudio& pdm, PdbProgress& progress) {
  FieldListGuard guard(pdm);
  pdm.Fields().Clear();
  TClientDataSet ds(dbName);
  ds.LoadFromFile(xml);
  pdm.SetDirectory(pdb.parent_path());
  pdm.SetPDBFilename(pdb.filename().string());
  ConvertLoaded(ds, dbName, pdm, progress);
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
  // The folder is flushed once for all its databases, before the conversion returns; or by
  // the caller, when the writer has a FolderSync of the caller's.
  FolderSync own;
  const bool mine = pdm.GetFolderSync() == nullptr;
  if (mine) pdm.SetFolderSync(&own);
  struct Restore {
    TPDBPocketStudio& pdm;
    bool mine;
    ~Restore() {
      if (mine) pdm.SetFolderSync(nullptr);
    }
  } restore{pdm, mine};
  std::vector<std::string> written;
  for (const std::string& f : ListXmlFiles(folder)) {
    const std::string dbName = f.substr(0, f.size() - 4);
    if (dbName == kPrevRetiDbName) continue;
    const std::string pdbName = f.substr(0, f.size() - 3) + "pdb";
    ConvertXmlFile(folder / f, folder / pdbName, dbName, pdm, progress);
    written.push_back(pdbName);
  }
  own.Sync();
  progress.Finish();
  return written;
}

std::vector<std::string> ConvertXmlFolder(const std::filesystem::path& folder,
                                          PdbProgress& progress) {
  TPDBPocketStudio pdm;
  ConfigureWriter(pdm);
  return ConvertXmlFolder(folder, pdm, progress);
}

std::vector<std::string> ConvertXmlFolder(FileSystem& fs, const std::string& folder,
                                          PdbProgress& progress) {
  std::vector<std::string> names = fs.ListFiles(folder, "*.xml");
  std::sort(names.begin(), names.end());
  return ConvertXmlFiles(fs, folder, names, progress);
}

std::vector<std::string> ConvertXmlFiles(FileSystem& fs, const std::string& folder,
                                         const std::vector<std::string>& names,
                                         PdbProgress& progress) {
  TPDBPocketStudio pdm;
  ConfigureWriter(pdm);
  const std::string dir =
      folder.empty() || folder.back() == '\\' || folder.back() == '/' ? folder : folder + "\\";
  FolderBatch batch(fs);  // joins the export's batch when there is one
  std::vector<std::string> written;
  for (const std::string& f : names) {
    if (!EndsWithXml(f)) continue;
    const std::string dbName = f.substr(0, f.size() - 4);
    if (dbName == kPrevRetiDbName) continue;
    const std::string pdbName = f.substr(0, f.size() - 3) + "pdb";
    FieldListGuard guard(pdm);
    pdm.Fields().Clear();
    TClientDataSet ds(dbName);
    ds.LoadFromFile(fs, dir + f);
    pdm.SetDirectory(fs, dir);
    pdm.SetPDBFilename(pdbName);
    progress.Database(pdbName);
    ConvertLoaded(ds, dbName, pdm, progress);
    written.push_back(pdbName);
  }
  batch.Sync();
  progress.Finish();
  return written;
}

}  // namespace kve::palm
