// kve-inspect as support staff run it: every error names the file it is about.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/temp_folder.h"

namespace {

using ::testing::HasSubstr;

// What the program wrote to stdout and stderr, and its exit status.
std::string RunInspect(const std::string& args, int* status, const std::string& in = ".") {
  std::string out;
  const std::string cd = "cd '" + in + "' && ";
  FILE* p = popen((cd + KVE_INSPECT + " " + args + " 2>&1").c_str(), "r");
  char buf[4096];
  while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  *status = pclose(p);
  return out;
}

TEST(KveInspect, AFolderGivenAsAFileIsNamed) {
  kve::testing::TempFolder dir;
  int status = 0;
  std::string out = RunInspect("'" + dir.path().string() + "'", &status);
  EXPECT_NE(status, 0);
  EXPECT_THAT(out, HasSubstr(dir.path().string() + ": is a folder, not a file"));
}

TEST(KveInspect, ConvertsIntoABareFileNameInTheCurrentFolder) {
  kve::testing::TempFolder dir;
  kve::testing::WriteBytes(dir / "T.xml",
                           R"(<?xml version="1.0" standalone="yes"?><DATAPACKET Version="2.0">)"
                           R"(<METADATA><FIELDS><FIELD attrname="A" fieldtype="string" WIDTH="4"/>)"
                           R"(</FIELDS><PARAMS/></METADATA><ROWDATA><ROW A="x"/></ROWDATA></DATAPACKET>)");
  int status = 0;
  std::string out = RunInspect("--to pdb T.xml NEW.pdb", &status, dir.path().string());
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(kve::testing::ReadBytes(dir / "NEW.pdb").substr(0, 3), "NEW");
}

}  // namespace
