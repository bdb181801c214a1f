// kve-inspect: prints the export's table files, or converts a data packet into the other form.
//
//   kve-inspect [--json | --csv] [--head N] FILE...
//   kve-inspect --to xml|cds IN OUT
//   kve-inspect --to pdb IN.xml OUT.pdb   (the Palm database the export makes of IN, named
//                                         after OUT's base name)
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

#include "palm/pdb_conversion.h"
#include "platform/common/error.h"
#include "platform/dataset/dataset.h"
#include "platform/dataset/inspect.h"
#include "platform/pdb/pdb_inspect.h"

namespace {

std::string ReadAll(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw kve::IoError(file + ": cannot open");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

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
    const std::filesystem::path target(out);
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

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Prints the export's table files (.xml and .cds data packets, .pdb Palm databases), or converts one form into another."};
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
