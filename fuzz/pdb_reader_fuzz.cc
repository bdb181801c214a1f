// Feeds bytes to the Palm database reader and prints whatever it accepts in every form
// kve-inspect has. Anything malformed must be a FormatError, never a crash or a read out of
// bounds.
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <string>

#include "platform/common/error.h"
#include "inspect/pdb_print.h"
#include "platform/pdb/pdb_reader.h"

namespace {

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  NullBuffer sink;
  std::ostream out(&sink);
  try {
    const kve::pdb::PdbFile db = kve::pdb::PdbFile::Parse(std::move(bytes), "fuzz.pdb");
    for (auto format :
         {kve::InspectFormat::Text, kve::InspectFormat::Json, kve::InspectFormat::Csv}) {
      try {
        kve::pdb::PrintPdb(out, db, kve::InspectOptions{format, -1});
      } catch (const kve::FormatError&) {
        // a record that does not match the description: already told apart from the rest
      }
    }
  } catch (const kve::FormatError&) {
  }
  return 0;
}
