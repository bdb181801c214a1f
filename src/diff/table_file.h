#pragma once
// One table file of an export, loaded for comparison: a data packet (.xml, .cds) as the
// in-memory table reads it, or a Palm database (.pdb) read back through its field
// description into the same kind of table.
//
// A Palm database keeps less than a packet: the writer narrows every column one width down,
// keeps a date without its time of day, a floating-point value in single precision, and
// writes a null as its zero. So a packet is compared with a database only in the database's
// form (PalmForm below): what the handheld will read, not what the packet says beyond it.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/dataset/dataset.h"

namespace kve {
class FileSystem;
}

namespace kve::diff {

enum class FileForm { XmlPacket, BinaryPacket, PalmDatabase };
std::string_view FormName(FileForm f);  // "XML data packet", ...

struct TableFile {
  std::string path;  // as the caller named it; errors and reports carry it
  FileForm form = FileForm::XmlPacket;
  // The rows in file order. For a Palm database the columns are its fields with the column
  // types they are written from (PSString: text, PSInt8: 16-bit, PSInt16: 32-bit, PSInt32:
  // 64-bit, PSDate: date, PSDouble: floating point, PSBoolean: boolean, no type: time, always
  // null); "no date" reads as null.
  std::unique_ptr<TClientDataSet> data;
};

// Reads `file`, telling the form by content. Raises IoError or FormatError naming the file
// (a Palm database without field description is one: its records cannot be read as values).
TableFile LoadTableFile(const std::filesystem::path& file);  // through the host's file system
TableFile LoadTableFile(FileSystem& fs, const std::filesystem::path& file);

// `in` as the Palm writer stores it, read back as LoadTableFile reads a database: texts with a
// null as empty text, integers cut to the next smaller width (a null as 0), dates and
// date-times as their date (a null stays null), floating point in single precision (a null as
// 0), booleans with a null as false, times null.
std::unique_ptr<TClientDataSet> PalmForm(const TClientDataSet& in);

}  // namespace kve::diff
