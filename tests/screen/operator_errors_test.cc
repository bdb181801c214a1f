// What the operator reads of a platform failure: chosen by what failed and its kind, never the
// technical text; errors already worded for the operator pass unchanged.
#include "screen/operator_errors.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/common/error.h"
#include "platform/net/protocol.h"
#include "platform/pdb/pdb_writer.h"

namespace kve {
namespace {

// Raises `raise` wrapped in context, as the layers above the failing call do.
std::function<void()> WithContext(std::function<void()> raise) {
  return [raise] {
    try {
      raise();
    } catch (...) {
      RethrowWithContext("ITEMAF.pdb");
    }
  };
}

TEST(OperatorErrorText, EachFailureAnOperatorMeetsHasItsOwnPortugueseText) {
  const struct {
    const char* what;
    std::function<void()> raise;
    const char* begins;  // of the operator's text; null: the error's own text is shown
  } cases[] = {
      {"server unreachable",
       [] { throw Error("application server 127.0.0.1:45617: connect: unreachable (Connection)", ErrorKind::kUnavailable); },
       "Não foi possível comunicar com o servidor de aplicação."},
      {"server call lost",
       [] { throw Error("application server 127.0.0.1:1: GetTabelas: unreachable", ErrorKind::kUnavailable); },
       "Não foi possível comunicar com o servidor de aplicação."},
      {"server refuses the token",
       [] { throw Error("application server h:1: connect: token refused (401)", ErrorKind::kPermissionDenied); },
       "O servidor de aplicação recusou o acesso desta estação."},
      {"server's certificate does not verify",
       [] { throw Error("application server h:1: connect: certificate not trusted: certificate has expired", ErrorKind::kNotTrusted); },
       "Não foi possível confirmar a identidade do servidor de aplicação"},
      {"server does not serve the screen",
       [] { throw Error("application server h:1: connect: does not serve X (404)", ErrorKind::kNotFound); },
       "O servidor de aplicação não oferece o serviço de exportação de dados."},
      {"server's own error", [] { throw rpc::RpcError(-32000, "GetTabelas: P_LISTAAGREG malformed"); },
       "O servidor de aplicação recusou a solicitação."},
      {"share gone", [] { throw IoError("\\\\NOTE\\Orvanta Web: share not reachable", ErrorKind::kUnavailable); },
       "O computador de destino ou o seu compartilhamento não respondeu."},
      {"credentials refused",
       [] { throw IoError("\\\\NOTE\\Orvanta Web: cannot open: Permission denied", ErrorKind::kPermissionDenied); },
       "Acesso negado ao diretório de exportação ou ao compartilhamento de destino."},
      {"disk full", [] { ThrowIoError("C:\\Palm\\Kve\\Exp\\FILIAL.xml", "write", ENOSPC); },
       "Não há espaço suficiente em disco"},
      {"folder missing", [] { ThrowIoError("C:\\Palm\\Kve\\Exp", "list the folder", ENOENT); },
       "Diretório, arquivo ou compartilhamento da exportação não encontrado."},
      {"Palm record limit, with context",
       WithContext([] { throw PalmRecordLimitError("ITEMAF.pdb: a Palm database holds at most 65,535 records"); }),
       "Operação bloqueada. Um banco de dados do Palm comporta no máximo 65.535 registros."},
      {"disk full, with context", WithContext([] { ThrowIoError("X.xml", "write", ENOSPC); }),
       "Não há espaço suficiente em disco"},
      {"a check of the screen", [] { throw ValueError("'31/02/2024' não é uma data válida."); }, nullptr},
      {"an error of no kind", [] { throw IoError("HotSync queue of PALM 01: 1 of 37 entries were not queued"); },
       nullptr},
      {"not the program's", [] { throw std::runtime_error("bad_alloc-like"); }, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.raise();
      FAIL() << "nothing raised";
    } catch (const std::exception& e) {
      const std::string text = OperatorErrorText(e);
      EXPECT_EQ(HasOperatorText(e), c.begins != nullptr);
      if (c.begins) {
        EXPECT_TRUE(text.starts_with(c.begins)) << text;
        EXPECT_EQ(text.find(e.what()), std::string::npos);
      } else {
        EXPECT_EQ(text, e.what());
      }
    }
  }
}

}  // namespace
}  // namespace kve
