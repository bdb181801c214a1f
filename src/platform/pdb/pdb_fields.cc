// The field list of the PDB component and the encoding of one field in a record.
#include "platform/pdb/pdb_writer.h"

#include <fmt/format.h>

#include <cstring>
#include <iterator>
#include <utility>

#include "platform/common/error.h"
#include "platform/dataset/cp1252.h"
#include "platform/pdb/pdb_format.h"

namespace kve {

std::string_view PSTypeName(TPDBPSFieldType t) {
  static constexpr std::string_view kNames[] = {"PSString", "PSInt8",   "PSInt16",  "PSInt32",
                                                "PSDate",   "PSDouble", "PSBoolean"};
  const auto i = static_cast<size_t>(t);
  return i < std::size(kNames) ? kNames[i] : std::string_view("?");
}

// ---------------------------------------------------------------- TPDBPSField

void TPDBPSField::Require(TPDBPSFieldType t) const {
  owner_->RequireRecord("assign a field");
  if (type_ != t)
    throw ValueError(fmt::format("{}: {}: a {} field cannot take a {} value", owner_->Context(),
                                 name_, type_ ? PSTypeName(*type_) : "untyped", PSTypeName(t)));
}

void TPDBPSField::SetAsPSString(std::string_view utf8) {
  Require(TPDBPSFieldType::PSString);
  text_.clear();
  const size_t bad = AppendCp1252(utf8, text_);
  if (bad != kEncodedOk)
    throw ValueError(fmt::format("{}: {}: {} has no Windows-1252 form", owner_->Context(), name_,
                                 DescribeUnencodable(utf8, bad)));
  // a NUL would end the text early on the handheld and shift nothing else: refuse it
  if (text_.find('\0') != std::string::npos)
    throw ValueError(fmt::format("{}: {}: text holds a NUL character", owner_->Context(), name_));
  assigned_ = true;
}

void TPDBPSField::SetAsPSInt8(int8_t v) {
  Require(TPDBPSFieldType::PSInt8);
  int_ = v;
  assigned_ = true;
}

void TPDBPSField::SetAsPSInt16(int16_t v) {
  Require(TPDBPSFieldType::PSInt16);
  int_ = v;
  assigned_ = true;
}

void TPDBPSField::SetAsPSInt32(int32_t v) {
  Require(TPDBPSFieldType::PSInt32);
  int_ = v;
  assigned_ = true;
}

void TPDBPSField::SetAsPSSingle(float v) {
  Require(TPDBPSFieldType::PSDouble);
  double_ = static_cast<double>(v);
  assigned_ = true;
}

void TPDBPSField::SetAsPSDate(TDateTime v) {
  Require(TPDBPSFieldType::PSDate);
  const CivilDate d = v.date();
  if (!pdb::FitsDateType(d))
    throw ValueError(fmt::format("{}: {}: date {} lies outside the Palm's years {}-{}",
                                 owner_->Context(), name_, FormatDate(v), pdb::kFirstPalmYear,
                                 pdb::kLastPalmYear));
  int_ = pdb::ToDateType(d);
  assigned_ = true;
}

void TPDBPSField::SetAsPSBoolean(bool v) {
  Require(TPDBPSFieldType::PSBoolean);
  int_ = v ? 1 : 0;
  assigned_ = true;
}

void TPDBPSField::Encode(std::string& out) const {
  if (!type_) return;
  char b[8];
  const int64_t v = assigned_ ? int_ : 0;
  switch (*type_) {
    case TPDBPSFieldType::PSString:
      if (assigned_) out += text_;
      out += '\0';
      return;
    case TPDBPSFieldType::PSInt8:
    case TPDBPSFieldType::PSBoolean:
      out += static_cast<char>(v);
      return;
    case TPDBPSFieldType::PSInt16:
    case TPDBPSFieldType::PSDate:
      pdb::PutU16(b, static_cast<uint16_t>(v));
      out.append(b, 2);
      return;
    case TPDBPSFieldType::PSInt32:
      pdb::PutU32(b, static_cast<uint32_t>(v));
      out.append(b, 4);
      return;
    case TPDBPSFieldType::PSDouble: {
      uint64_t bits = 0;
      const double d = assigned_ ? double_ : 0.0;
      std::memcpy(&bits, &d, 8);
      pdb::PutU32(b, static_cast<uint32_t>(bits >> 32));
      pdb::PutU32(b + 4, static_cast<uint32_t>(bits));
      out.append(b, 8);
      return;
    }
  }
}

// ---------------------------------------------------------------- TPDBPSFields

TPDBPSField& TPDBPSFields::Add() {
  items_.push_back(std::make_unique<TPDBPSField>(owner_));
  return *items_.back();
}

TPDBPSField& TPDBPSFields::GetItem(int i) {
  return const_cast<TPDBPSField&>(std::as_const(*this).GetItem(i));
}

const TPDBPSField& TPDBPSFields::GetItem(int i) const {
  if (i < 0 || i >= Count())
    throw Error(fmt::format("field list: no field at position {} (it holds {})", i, Count()));
  return *items_[static_cast<size_t>(i)];
}

void TPDBPSFields::Clear() { items_.clear(); }

const TPDBPSFields& PdmTipos() {
  static const TPDBPSFields table = [] {
    TPDBPSFields t(nullptr);
    static constexpr int kSizes[] = {0, 1, 2, 4, 2, 8, 1};
    for (int i = 0; i < 7; ++i) {
      TPDBPSField& f = t.Add();
      f.SetDataType(static_cast<TPDBPSFieldType>(i));
      f.SetSize(kSizes[i]);
    }
    return t;
  }();
  return table;
}

}  // namespace kve
