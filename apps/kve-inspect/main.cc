// kve-inspect: prints the export's table files, or converts a data packet into the other form.
//
//   kve-inspect [--json | --csv] [--head N] FILE...
//   kve-inspect --to xml|cds IN OUT
//   kve-inspect --to pdb IN.xml OUT.pdb   (the Palm database the export makes of IN, named
//                                         after OUT's base name)
//   kve-inspect diff [--json | --brief] [--key F1,F2] OLD NEW   (two table files or two export
//                                         folders; exit 0 equal, 1 different, 2 error)
//   kve-inspect diff --ledger DATA_DIR [...] ID1 ID2   (the kept files of two exports of the
//                                         workstation's export ledger)
//
// Exit status 0 when every file is well-formed, 1 (with the error on stderr) when one is not.
// Files are told apart by content; each kind has one function below.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "diff/export_diff.h"
#include "diff/report_print.h"
#include "ledger/ledger.h"
#include "palm/pdb_conversion.h"
#include "platform/common/error.h"
#include "platform/fs/file_sink.h"
#include "platform/dataset/dataset.h"
#include "inspect/packet_print.h"
#include "inspect/pdb_print.h"

namespace {

std::string ReadAll(const std::string& file) { return kve::ReadWholeFile(file); }

void InspectDataPacket(const std::string& file, const std::string& bytes, const kve::InspectOptions& opts) {
  kve::PacketHeader header;
  try {
    header = kve::ReadPacketHeader(bytes);
  } catch (const kve::Error& e) {
    throw kve::FormatError(file + ": " + e.what());
  }
  kve::TClientDataSet ds;
  ds.LoadFromFile(file);
  kve::PrintDataPacket(std::cout, file, header, ds, opts);
}

void InspectPdb(const std::string& file, const std::string& bytes, const kve::InspectOptions& opts) {
  kve::pdb::PrintPdb(std::cout, kve::pdb::PdbFile::Parse(bytes, file), opts);
}

// One entry per kind of file: how to recognise it, how to print it.
struct Kind {
  bool (*matches)(std::string_view bytes);
  void (*inspect)(const std::string& file, const std::string& bytes, const kve::InspectOptions& opts);
};
const Kind kKinds[] = {
    {kve::IsDataPacket, InspectDataPacket},
    {kve::pdb::IsPdb, InspectPdb},
};

void Inspect(const std::string& file, const kve::InspectOptions& opts) {
  const std::string bytes = ReadAll(file);
  for (const Kind& k : kKinds)
    if (k.matches(bytes)) return k.inspect(file, bytes, opts);
  throw kve::FormatError(file + ": not a file kve-inspect knows (data packet, Palm database)");
}

int Convert(const std::string& to, const std::string& in, const std::string& out) {
  if (to == "pdb") {
    // A bare name is a file of the current folder, which has a folder part of its own.
    const std::filesystem::path target = std::filesystem::absolute(out);
    kve::TPDBPocketStudio pdm;
    kve::palm::ConfigureWriter(pdm);
    kve::palm::NoProgress progress;
    kve::palm::ConvertXmlFile(in, target, target.stem().string(), pdm, progress);
    return 0;
  }
  kve::TClientDataSet ds;
  ds.LoadFromFile(in);
  ds.SaveToFile(out, to == "xml" ? kve::DataPacketFormat::Xml : kve::DataPacketFormat::Binary);
  return 0;
}

constexpr const char* kDiffRules = R"(
OLD and NEW are two files of one table or two export folders; with --ledger DATA_DIR, two
export numbers of the workstation's export ledger (kve-export --history), whose kept files
are compared as two folders.

Files: any pairing of .xml and .cds data packets and .pdb Palm databases; the form is told
by content. The table is named by the base name (PRODUTO.xml: PRODUTO).

Folders: the .xml, .cds and .pdb files (any letter case) are grouped by table. A file is
compared with the file of the same name on the other side (letter case ignored); a table
whose files have no namesake is compared across forms, a data packet preferred (a Palm
export folder against an eeePC one: EFETIVOS.xml with EFETIVOS.CDS). A file left over is
reported as only in OLD or only in NEW, with its rows. Other files are ignored.

Rows are matched by the table's key fields (the export table catalogue; --key to name
others), or by position for a table without key (PARAM, TRADUCAO, the tables the device
fills) or one the catalogue does not know. Rows sharing a key are matched in order.
Columns are matched by name; a column on one side only is reported.

Values: packet against packet compares the values as stored (texts byte for byte, dates
and times to the millisecond, a null only equal to a null). Packet against Palm database
compares what the handheld reads: the packet as the Palm writer stores it, with the
database's field names (a date without its time of day, floating point in single
precision, integers one width down, a null as empty text, 0 or false; a null date as no
date). PREVRETI.pdb is written with its own quantities, search code and operator, so
QTPREVRETI, QTCONSRETI, CDPSQPROD and CDOPERADOR are not compared across forms.

Output: per table "+" added rows, "-" removed rows, "~" changed rows with each changed
column's old and new value. --json prints one document.

Exit status: 0 all equal, 1 some differ, 2 error (a file that cannot be read is named; the
other tables are still compared).)";

std::vector<std::string> SplitKey(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= text.size() && !text.empty()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    if (comma > start) out.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return out;
}

int Diff(int argc, char** argv) {
  CLI::App app{"Compares two exports: two files of one table, or two export folders, table by table.", "kve-inspect diff"};
  app.footer(kDiffRules);
  std::string oldPath, newPath, key, ledgerDir;
  bool json = false, brief = false;
  app.add_option("OLD", oldPath, "the earlier file or folder (with --ledger: export number)")->required();
  app.add_option("NEW", newPath, "the later file or folder (with --ledger: export number)")->required();
  app.add_option("--ledger", ledgerDir,
                 "compare two exports of the export ledger in this data folder, e.g. "
                 "--ledger site 12 14")
      ->type_name("DATA_DIR");
  auto* j = app.add_flag("--json", json, "print as JSON");
  app.add_flag("--brief", brief, "one line per table, no rows")->excludes(j);
  auto* k = app.add_option("--key", key, "match rows by these fields (comma-separated); \"\": by position");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return e.get_exit_code() == 0 ? 0 : 2;
  }
  kve::diff::DiffOptions options;
  if (k->count() > 0) options.key = SplitKey(key);
  try {
    if (!ledgerDir.empty()) {
      const kve::ledger::Ledger ledger(ledgerDir, true);
      for (std::string* id : {&oldPath, &newPath}) {
        if (id->empty() || id->size() > 18 || id->find_first_not_of("0123456789") != std::string::npos)
          throw kve::ValueError("\"" + *id + "\" is not an export number of the ledger");
        *id = ledger.CheckedKeptFiles(std::stoll(*id)).string();
      }
    }
    const kve::diff::Report report = kve::diff::DiffPaths(oldPath, newPath, options);
    if (json)
      kve::diff::PrintJson(std::cout, report);
    else
      kve::diff::PrintText(std::cout, report, {brief});
    std::cout.flush();
    for (const auto& t : report.tables)
      if (!t.error.empty()) std::cerr << "kve-inspect diff: " << t.error << "\n";
    return report.ExitStatus();
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "kve-inspect diff: " << e.what() << "\n";
    return 2;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "diff") return Diff(argc - 1, argv + 1);
  CLI::App app{"Prints the export's table files (.xml and .cds data packets, .pdb Palm databases), or converts one form into another."};
  app.footer("kve-inspect diff OLD NEW compares two exports (kve-inspect diff --help).");
  std::vector<std::string> files;
  bool json = false, csv = false;
  int64_t head = -1;
  std::string to;
  app.add_option("FILE", files, "files to print (with --to: IN OUT)")->required();
  auto* j = app.add_flag("--json", json, "print as JSON");
  app.add_flag("--csv", csv, "print the rows as CSV")->excludes(j);
  app.add_option("--head", head, "print only the first N rows")->check(CLI::NonNegativeNumber);
  app.add_option("--to", to, "convert IN into OUT in this form")->check(CLI::IsMember({"xml", "cds", "pdb"}));
  CLI11_PARSE(app, argc, argv);

  if (!to.empty()) {
    if (files.size() != 2) {
      std::cerr << "kve-inspect: --to takes exactly two files, IN and OUT\n";
      return 2;
    }
    try {
      return Convert(to, files[0], files[1]);
    } catch (const std::exception& e) {
      std::cerr << e.what() << "\n";
      return 1;
    }
  }
  kve::InspectOptions opts;
  opts.format = json ? kve::InspectFormat::Json : csv ? kve::InspectFormat::Csv : kve::InspectFormat::Text;
  opts.head = head;
  int status = 0;
  for (const std::string& f : files) {
    try {
      Inspect(f, opts);
    } catch (const std::exception& e) {
      std::cout.flush();
      std::cerr << e.what() << "\n";
      status = 1;
    }
  }
  return status;
}
