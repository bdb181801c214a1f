#pragma once
// Tables and helpers shared by the packet tests.

#include <filesystem>
#include <string>

#include "platform/dataset/dataset.h"
#include "support/temp_folder.h"

namespace kve::testing {

// One column of every type and attribute, rows covering nulls, limits and accented text.
inline void MakeEveryType(TClientDataSet& ds) {
  ds.SetName("AMOSTRA");
  FieldDef fixed = StringField("CDFILIAL", 4);
  fixed.fixed = true;
  fixed.required = true;
  FieldDef hidden = StringField("CDSENHAOPE", 20);
  hidden.providerFlags = pfInUpdate | pfInWhere | pfHidden;
  FieldDef ro = TypedField("PRODUTONRO", FieldType::Int32);
  ro.readOnly = true;
  FieldDef key = StringField("NMPRODUTO", 300);  // wide: a two-byte length prefix
  key.providerFlags = pfInKey;
  ds.FieldDefs() = {fixed,
                    hidden,
                    ro,
                    key,
                    TypedField("QTSMALL", FieldType::Int16),
                    TypedField("QTBIG", FieldType::Int64),
                    TypedField("VRPRECO", FieldType::Float),
                    TypedField("IDATIVO", FieldType::Boolean),
                    TypedField("DTENTREGA", FieldType::Date),
                    TypedField("HRENTREGA", FieldType::Time),
                    TypedField("DTEFETIVO", FieldType::DateTime),
                    StringField("OBS", 0)};  // no width: any length
  ds.CreateDataSet();

  const auto add = [&](std::string_view fil, std::string_view pwd, int64_t nro, std::string_view nm,
                       int64_t small, int64_t big, double price, bool on, CivilDate day,
                       CivilTime t, TDateTime when) {
    ds.Append();
    ds.FieldByName("CDFILIAL").SetAsString(fil);
    if (!pwd.empty()) ds.FieldByName("CDSENHAOPE").SetAsString(pwd);
    ds.FieldByName("PRODUTONRO").SetAsInteger(nro);
    ds.FieldByName("NMPRODUTO").SetAsString(nm);
    ds.FieldByName("QTSMALL").SetAsInteger(small);
    ds.FieldByName("QTBIG").SetAsInteger(big);
    ds.FieldByName("VRPRECO").SetAsFloat(price);
    ds.FieldByName("IDATIVO").SetAsBoolean(on);
    ds.FieldByName("DTENTREGA").SetAsDateTime(TDateTime::FromDate(day));
    ds.FieldByName("HRENTREGA").SetAsDateTime(TDateTime::FromDate({1899, 12, 30}, t));
    ds.FieldByName("DTEFETIVO").SetAsDateTime(when);
    ds.Post();
  };
  add("0001", "s3nh@", 3, "FEIJÃO CARIOCA <TIPO 1> & \"AÇÚCAR\" 'x' €", -32768, INT64_MIN, 0.1,
      true, {2008, 12, 25}, {14, 30, 5, 123}, TDateTime::FromDate({2008, 12, 25}, {14, 30, 5, 123}));
  add("9999", "", -2147483647 - 1, std::string(300, 'z'), 32767, INT64_MAX, -1.5e300, false,
      {1, 1, 1}, {0, 0, 0, 0}, TDateTime::FromDate({9999, 12, 31}, {23, 59, 59, 999}));
  add("", "tab\there\nline\r", 2147483647, "", 0, 0, 0.0, false, {2024, 2, 29}, {23, 59, 59, 999},
      TDateTime::FromDate({1899, 12, 30}));
  ds.First();
  ds.Edit();
  ds.FieldByName("OBS").SetAsString(std::string(70000 / 3, 'o') + "ção");
  ds.Post();
  // a row of nulls except the required field
  ds.Append();
  ds.FieldByName("CDFILIAL").SetAsString("N");
  ds.Post();
  ds.MergeChangeLog();
}

// Field values of every row as text ("<null>" for null), for whole-table comparisons.
inline std::vector<std::vector<std::string>> Cells(TClientDataSet& ds) {
  std::vector<std::vector<std::string>> out;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    std::vector<std::string> row;
    for (int i = 0; i < ds.FieldCount(); ++i) {
      TField f = ds.Fields(i);
      if (f.IsNull()) {
        row.push_back("<null>");
      } else if (f.DataType() == FieldType::Float) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", f.AsFloat());
        row.push_back(buf);
      } else if (f.DataType() >= FieldType::Date) {
        row.push_back(std::to_string(f.AsDateTime().ms()));
      } else {
        row.push_back(f.AsString());
      }
    }
    out.push_back(std::move(row));
  }
  return out;
}

}  // namespace kve::testing
