#include "screen/operator_errors.h"

#include "platform/common/error.h"
#include "platform/net/protocol.h"
#include "platform/pdb/pdb_writer.h"

namespace kve {
namespace {

// Whether the files or shares of the export failed (IoError), else the application server (a
// connection or a call, whose errors are plain errors).
bool IsFileError(const std::exception& e) { return dynamic_cast<const IoError*>(&e) != nullptr; }

const char* TextOf(const std::exception& e) {
  if (dynamic_cast<const EAbort*>(&e)) return nullptr;
  if (dynamic_cast<const rpc::RpcError*>(&e)) {
    return "O servidor de aplicação recusou a solicitação. Tente novamente; se o problema persistir, "
           "informe o suporte.";
  }
  if (dynamic_cast<const PalmRecordLimitError*>(&e)) {
    return "Operação bloqueada. Um banco de dados do Palm comporta no máximo 65.535 registros. Reduza "
           "o período da AF ou da solicitação de compras, as filiais agregadas ou o filtro de produtos "
           "e exporte novamente.";
  }
  const auto* err = dynamic_cast<const Error*>(&e);
  if (!err) return nullptr;
  const bool file = IsFileError(e);
  switch (err->kind()) {
    case ErrorKind::kUnavailable:
      return file ? "O computador de destino ou o seu compartilhamento não respondeu. Verifique se ele "
                    "está ligado e na rede e exporte novamente."
                  : "Não foi possível comunicar com o servidor de aplicação. Verifique se ele está em "
                    "funcionamento e tente novamente.";
    case ErrorKind::kPermissionDenied:
      return file ? "Acesso negado ao diretório de exportação ou ao compartilhamento de destino. Verifique "
                    "as permissões e o usuário e senha do compartilhamento."
                  : "O servidor de aplicação recusou o acesso desta estação. Verifique a configuração de "
                    "acesso ao servidor.";
    case ErrorKind::kNoSpace:
      return "Não há espaço suficiente em disco para gravar os arquivos da exportação. Libere espaço e "
             "exporte novamente.";
    case ErrorKind::kNotFound:
      return file ? "Diretório, arquivo ou compartilhamento da exportação não encontrado. Verifique a "
                    "configuração da estação e do dispositivo."
                  : "O servidor de aplicação não oferece o serviço de exportação de dados. Verifique o "
                    "endereço do servidor na configuração.";
    case ErrorKind::kNotTrusted:
      return "Não foi possível confirmar a identidade do servidor de aplicação: o certificado dele não "
             "é válido ou não é o esperado. A exportação não foi feita. Informe o suporte.";
    case ErrorKind::kOther:
      break;
  }
  return nullptr;
}

}  // namespace

std::string OperatorErrorText(const std::exception& e) {
  const char* text = TextOf(e);
  return text ? text : e.what();
}

bool HasOperatorText(const std::exception& e) { return TextOf(e) != nullptr; }

}  // namespace kve
