#include "platform/common/error.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace kve {
namespace {

// Adding context keeps both the class a caller catches and the kind it decides by.
TEST(ErrorKinds, ContextKeepsClassAndKindAndErrnoChoosesTheKind) {
  struct Case {
    int err;
    ErrorKind kind;
  } cases[] = {
      {ENOENT, ErrorKind::kNotFound},         {ENOSPC, ErrorKind::kNoSpace},
      {EDQUOT, ErrorKind::kNoSpace},          {EACCES, ErrorKind::kPermissionDenied},
      {EROFS, ErrorKind::kPermissionDenied},  {EHOSTDOWN, ErrorKind::kUnavailable},
      {ETIMEDOUT, ErrorKind::kUnavailable},   {EIO, ErrorKind::kOther},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    try {
      try {
        ThrowIoError("C:\\Palm\\Kve\\Exp\\FILIAL.xml", "write", c.err);
      } catch (const Error&) {
        RethrowWithContext("Palm 001");
      }
      ADD_FAILURE() << "no error";
    } catch (const IoError& e) {
      EXPECT_EQ(e.kind(), c.kind);
      EXPECT_EQ(std::string(e.what()).rfind("Palm 001: C:\\Palm\\Kve\\Exp\\FILIAL.xml: cannot write: ", 0), 0u)
          << e.what();
    }
  }
  try {
    try {
      throw FormatError("row 3", ErrorKind::kNotFound);
    } catch (const Error&) {
      RethrowWithContext("PRODUTO.xml");
    }
  } catch (const FormatError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kNotFound);
    EXPECT_STREQ(e.what(), "PRODUTO.xml: row 3");
  }
}

}  // namespace
}  // namespace kve
