#pragma once
// The withdrawal forecast's database "PREVRETI.pdb", written straight from the in-memory
// table with a layout of its own: the date as a PS date, the two quantities normalised to a
// point with five decimals, the product search code laid into the product mask, and the
// operator who runs the export in every record.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "palm/progress.h"
#include "platform/dataset/dataset.h"
#include "platform/fs/file_system.h"
#include "platform/pdb/pdb_writer.h"

namespace kve::palm {

// The host locale's number separators.
struct NumberSeparators {
  char decimal = ',';
  char thousand = '.';
};

// Normalises a quantity text: commas become points and the decimals are padded with zeros
// to `n` (never cut). A text with any character besides digits and the two separators is
// returned unchanged, the empty text stays empty, and a text without separator gets the
// locale's decimal separator and `n` zeros ("7" -> "7,00000" under a comma locale).
std::string FloatNum(std::string_view s, int n, NumberSeparators sep);

// The text the date rule cuts: "ddmmyyyy" for a date or date-time value (so the date
// survives whatever the host's date settings), the text of a text column as it stands, and
// the empty text for a null.
std::string DateRuleText(TField f);

// The date rule: day from characters 1-2, month 3-4, year 5-8, each a whole number, forming a
// valid date that a Palm DateType holds; otherwise nothing (the field stays unassigned).
std::optional<TDateTime> DateFromRuleText(std::string_view text);

// FormatMaskText(mask, value) with the mask parsed once, for a walk over many rows.
std::function<std::string(std::string_view)> ProductMaskFormatter(std::string mask);

struct PrevRetiOptions {
  // FormatMaskText with the product-tree mask, applied to CDARVPROD for CDPSQPROD.
  std::function<std::string(std::string_view)> maskProduct;
  std::string operatorCode;  // the operator logged in to the host
  NumberSeparators separators;
};

// Writes `folder`/PREVRETI.pdb from `cdsPrevReti` (open, holding the forecast), one field
// per column in column order, then closes `cdsPrevReti` and reports Finish. A failure leaves
// any earlier PREVRETI.pdb in place and the field list empty.
void CriaPDBPrevReti(TClientDataSet& cdsPrevReti, const std::filesystem::path& folder,
                     const PrevRetiOptions& options, TPDBPocketStudio& pdm, PdbProgress& progress);
void CriaPDBPrevReti(TClientDataSet& cdsPrevReti, const std::filesystem::path& folder,
                     const PrevRetiOptions& options, PdbProgress& progress);
// The same into `folder` of `fs` (the export folder "C:\Palm\Kve\Exp\").
void CriaPDBPrevReti(TClientDataSet& cdsPrevReti, FileSystem& fs, const std::string& folder,
                     const PrevRetiOptions& options, PdbProgress& progress);

// Copies every row into the open database, assigning the fields by name.
void ImportaPDBPrevReti(TClientDataSet& cdsPrevReti, const PrevRetiOptions& options,
                        TPDBPocketStudio& pdm, PdbProgress& progress);

// PREVRETI.pdb written from rows handed over one at a time, with the columns of the table
// CriaPDBPrevReti takes (found by name), for a source that never holds the whole forecast.
// Each row is encoded as it comes; Finish puts the database in place. Without Finish (a
// failure on the way) nothing is written and an earlier PREVRETI.pdb stays.
// `expectedRows`, when known, spares one move of the records at Finish.
class PrevRetiStream {
 public:
  PrevRetiStream(const std::vector<FieldDef>& columns, const std::filesystem::path& folder,
                 const PrevRetiOptions& options, int expectedRows = -1);
  ~PrevRetiStream();
  PrevRetiStream(const PrevRetiStream&) = delete;
  PrevRetiStream& operator=(const PrevRetiStream&) = delete;

  void Add(RowView row);
  int RecordCount() const;
  void Finish();

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace kve::palm
