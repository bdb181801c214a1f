#include "diff/table_file.h"

#include <fmt/format.h>

#include <cfloat>
#include <cmath>
#include <iterator>

#include "platform/common/error.h"
#include "platform/fs/file_system.h"
#include "platform/dataset/packet_format.h"
#include "platform/pdb/pdb_reader.h"

namespace kve::diff {
namespace {

// The file's bytes, or its first `limit` bytes.
std::string ReadAll(FileSystem& fs, const std::filesystem::path& file, size_t limit = std::string::npos) {
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec))
    throw IoError(fmt::format("{}: is a folder, not a file", file.string()));
  return limit == std::string::npos ? fs.ReadFile(file.string()) : fs.ReadFileHead(file.string(), limit);
}

// The column type a PS field is written from (the narrowing's other end).
FieldType ColumnType(const std::optional<TPDBPSFieldType>& t) {
  if (!t) return FieldType::Time;
  switch (*t) {
    case TPDBPSFieldType::PSString: return FieldType::String;
    case TPDBPSFieldType::PSInt8: return FieldType::Int16;
    case TPDBPSFieldType::PSInt16: return FieldType::Int32;
    case TPDBPSFieldType::PSInt32: return FieldType::Int64;
    case TPDBPSFieldType::PSDate: return FieldType::Date;
    case TPDBPSFieldType::PSDouble: return FieldType::Float;
    case TPDBPSFieldType::PSBoolean: return FieldType::Boolean;
  }
  return FieldType::Time;
}

std::unique_ptr<TClientDataSet> ReadPdb(std::string bytes, const std::string& path) {
  const size_t fileBytes = bytes.size();
  const pdb::PdbFile db = pdb::PdbFile::Parse(std::move(bytes), path);
  if (!db.HasFieldDescription())
    throw FormatError(path + ": Palm database without field description: its records hold no values to compare");
  // Fields without bytes make records of none: a table's memory must follow from the file's.
  try {
    packet::CheckCells(db.RecordCount(), db.Fields().size(), fileBytes);
  } catch (const Error&) {
    RethrowWithContext(path);
  }
  std::vector<FieldDef> defs;
  for (const pdb::PdbFieldDesc& f : db.Fields()) defs.push_back(TypedField(f.name, ColumnType(f.type)));
  auto ds = std::make_unique<TClientDataSet>(db.Header().name);
  ds->Reset(defs);
  RowBuilder row(static_cast<int>(defs.size()));
  for (int r = 0; r < db.RecordCount(); ++r) {
    const std::vector<pdb::PdbValue> values = db.Record(r);
    row.Reset();
    for (size_t i = 0; i < values.size(); ++i) {
      const pdb::PdbValue& v = values[i];
      const int c = static_cast<int>(i);
      if (!v.type) continue;
      switch (*v.type) {
        case TPDBPSFieldType::PSString: row.SetStr(c, v.text); break;
        case TPDBPSFieldType::PSDouble: row.SetFloat(c, v.real); break;
        case TPDBPSFieldType::PSDate:
          if (v.integer == 0) break;  // "no date"
          if (auto d = v.Date())
            row.SetInt(c, TDateTime::FromDate(*d).ms());
          else
            throw FormatError(fmt::format("{}: record {}: {}: {}", path, r + 1, defs[i].name, v.Text()));
          break;
        default: row.SetInt(c, v.integer); break;
      }
    }
    ds->AppendRow(row);
  }
  return ds;
}

}  // namespace

std::string_view FormName(FileForm f) {
  switch (f) {
    case FileForm::XmlPacket: return "XML data packet";
    case FileForm::BinaryPacket: return "binary data packet";
    case FileForm::PalmDatabase: return "Palm database";
  }
  return "";
}

TableFile LoadTableFile(const std::filesystem::path& file) { return LoadTableFile(*NewHostFileSystem(), file); }

TableFile LoadTableFile(FileSystem& fs, const std::filesystem::path& file) {
  TableFile t;
  t.path = file.string();
  // The form is told from the first bytes, as kve-inspect tells it; a packet is then read by
  // the table itself, without a second copy of its bytes.
  const std::string head = ReadAll(fs, file, 4096);
  const size_t first = head.find_first_not_of(" \t\r\n", head.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0);
  const bool binary = packet::IsBinaryPacket(head);
  if (binary || (first != std::string::npos && head[first] == '<')) {
    t.form = binary ? FileForm::BinaryPacket : FileForm::XmlPacket;
    t.data = std::make_unique<TClientDataSet>(file.stem().string());
    t.data->LoadFromFile(fs, file.string());  // its errors name the file
    return t;
  }
  std::string bytes = ReadAll(fs, file);
  if (!pdb::IsPdb(bytes))
    throw FormatError(t.path + ": neither a data packet (.xml, .cds) nor a Palm database (.pdb)");
  t.form = FileForm::PalmDatabase;
  t.data = ReadPdb(std::move(bytes), t.path);
  return t;
}

std::unique_ptr<TClientDataSet> PalmForm(const TClientDataSet& in) {
  std::vector<FieldDef> defs;
  for (const FieldDef& d : in.FieldDefs())
    defs.push_back(TypedField(d.name, d.type == FieldType::DateTime ? FieldType::Date : d.type));
  auto out = std::make_unique<TClientDataSet>(in.Name());
  out->Reset(defs);
  RowBuilder b(static_cast<int>(defs.size()));
  for (int r : in.StorageOrder()) {
    const RowView row = in.Row(r);
    b.Reset();
    for (int i = 0; i < static_cast<int>(defs.size()); ++i) {
      const bool null = row.IsNull(i);
      switch (defs[static_cast<size_t>(i)].type) {
        case FieldType::String: b.SetStr(i, null ? std::string_view() : row.Str(i)); break;
        case FieldType::Int16: b.SetInt(i, static_cast<int8_t>(null ? 0 : row.Int(i))); break;
        case FieldType::Int32: b.SetInt(i, static_cast<int16_t>(null ? 0 : row.Int(i))); break;
        case FieldType::Int64: b.SetInt(i, static_cast<int32_t>(null ? 0 : row.Int(i))); break;
        case FieldType::Date:
          if (!null) b.SetInt(i, TDateTime::FromMs(row.Int(i)).DateOnly().ms());
          break;
        case FieldType::Float: {
          const double v = null ? 0.0 : row.Float(i);
          // the writer refuses a finite value beyond single precision; keep it as it is, so
          // that it shows as a difference rather than as infinity
          const bool fits = !std::isfinite(v) || std::fabs(v) <= FLT_MAX;
          b.SetFloat(i, fits ? static_cast<double>(static_cast<float>(v)) : v);
          break;
        }
        case FieldType::Boolean: b.SetInt(i, !null && row.Int(i) != 0); break;
        case FieldType::Time:
        case FieldType::DateTime: break;
      }
    }
    out->AppendRow(b);
  }
  return out;
}

}  // namespace kve::diff
