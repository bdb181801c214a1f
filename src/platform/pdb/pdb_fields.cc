// The field list of the PDB component and the encoding of one field in a record.
#include <fmt/format.h>

#include <cstring>
#include <iterator>
#include <utility>

#include "platform/common/error.h"
#include "platform/common/cp1252.h"
#include "platform/pdb/pdb_format.h"
#include "platform/pdb/pdb_writer.h"

namespace kve {

std::string_view PSTypeName(TPDBPSFieldType t) {
  static constexpr std::string_view kNames[] = {"PSString", "PSInt8",   "PSInt16",  "PSInt32",
                                                "PSDate",   "PSDouble", "PSBoolean"};
  const auto i = static_cast<size_t>(t);
  return i < std::size(kNames) ? kNames[i] : std::string_view("?");
}

// ---------------------------------------------------------------- TPDBPSField

void TPDBPSField::RequireSlow(TPDBPSFieldType t) const {
  owner_->RequireRecord("assign a field");  // throws when no record is under way
  // so the type is what failed
  throw ValueError(fmt::format("{}: {}: a {} field cannot take a {} value", owner_->Context(),
                               name_, type_ ? PSTypeName(*type_) : "untyped", PSTypeName(t)));
}

namespace {

// Bytes at the start of `s` that are ASCII other than NUL, and so stand for themselves in
// Windows-1252. Eight at a time: a high bit, or the borrow out of a NUL byte, sets a high bit.
size_t PlainPrefix(std::string_view s) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
  size_t i = 0;
  for (uint64_t w; i + 8 <= s.size(); i += 8) {
    std::memcpy(&w, s.data() + i, 8);
    if (((w - kOnes) | w) & kHigh) break;
  }
  while (i < s.size() && static_cast<unsigned char>(s[i]) - 1u < 0x7Fu) ++i;
  return i;
}

}  // namespace

void TPDBPSField::SetAsPSString(std::string_view utf8) {
  Require(TPDBPSFieldType::PSString);
  // Plain ASCII runs are copied whole; Latin-1 letters between them (the usual reason for
  // leaving a run) are decoded here; anything else goes to the general encoder.
  const size_t n = utf8.size();
  size_t i = PlainPrefix(utf8);
  text_.assign(utf8.data(), i);
  while (i < n) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const auto next = i + 1 < n ? static_cast<unsigned char>(utf8[i + 1]) : 0u;
    if (c == 0xC3 && (next & 0xC0) == 0x80)  // U+00C0..U+00FF
      text_ += static_cast<char>(0xC0 | (next & 0x3F));
    else if (c == 0xC2 && next >= 0xA0 && next <= 0xBF)  // U+00A0..U+00BF
      text_ += static_cast<char>(next);
    else
      break;
    i += 2;
    const size_t run = PlainPrefix(utf8.substr(i));
    text_.append(utf8.data() + i, run);
    i += run;
  }
  if (i < n) {
    const size_t tail = text_.size();
    const size_t bad = AppendCp1252(utf8.substr(i), text_);
    if (bad != kEncodedOk)
      throw ValueError(fmt::format("{}: {}: {} has no Windows-1252 form", owner_->Context(), name_,
                                   DescribeUnencodable(utf8, i + bad)));
    // a NUL would end the text early on the handheld: refuse it
    if (text_.find('\0', tail) != std::string::npos)
      throw ValueError(fmt::format("{}: {}: text holds a NUL character", owner_->Context(), name_));
  }
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

size_t PSFixedWidth(TPDBPSFieldType t) {
  switch (t) {
    case TPDBPSFieldType::PSInt8:
    case TPDBPSFieldType::PSBoolean:
      return 1;
    case TPDBPSFieldType::PSInt16:
    case TPDBPSFieldType::PSDate:
      return 2;
    case TPDBPSFieldType::PSInt32:
      return 4;
    case TPDBPSFieldType::PSDouble:
      return 8;
    case TPDBPSFieldType::PSString:
      return 0;
  }
  return 0;
}

size_t TPDBPSField::EncodedSize() const {
  if (!type_) return 0;
  if (*type_ == TPDBPSFieldType::PSString) return (assigned_ ? text_.size() : 0) + 1;
  return PSFixedWidth(*type_);
}

char* TPDBPSField::EncodeTo(char* p) const {
  if (!type_) return p;
  const int64_t v = assigned_ ? int_ : 0;
  switch (*type_) {
    case TPDBPSFieldType::PSString:
      if (assigned_) {
        std::memcpy(p, text_.data(), text_.size());
        p += text_.size();
      }
      *p = '\0';
      return p + 1;
    case TPDBPSFieldType::PSInt8:
    case TPDBPSFieldType::PSBoolean:
      *p = static_cast<char>(v);
      return p + 1;
    case TPDBPSFieldType::PSInt16:
    case TPDBPSFieldType::PSDate:
      pdb::PutU16(p, static_cast<uint16_t>(v));
      return p + 2;
    case TPDBPSFieldType::PSInt32:
      pdb::PutU32(p, static_cast<uint32_t>(v));
      return p + 4;
    case TPDBPSFieldType::PSDouble: {
      uint64_t bits = 0;
      const double d = assigned_ ? double_ : 0.0;
      std::memcpy(&bits, &d, 8);
      pdb::PutU32(p, static_cast<uint32_t>(bits >> 32));
      pdb::PutU32(p + 4, static_cast<uint32_t>(bits));
      return p + 8;
    }
  }
  return p;
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
