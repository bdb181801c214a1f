#pragma once
// The export screen's own message catalogue: 53 lines "KEY|text", in stored order.

#include <string>
#include <string_view>
#include <vector>

namespace kve {

const std::vector<std::string>& ExpDadosMessageLines();

// Messages of this system's own, said in the screen's words but not part of the catalogue:
// no key looks them up, and the catalogue keeps its 53 lines.

// An export whose Palm databases would pass what a Palm database holds. %s: the limit, then
// the tables as "a tabela ITEMAF com 70.000 registros" joined by "; ".
inline constexpr const char* kPalmRecordLimitText =
    "Operação bloqueada. Um banco de dados do Palm comporta no máximo %s registros, e esta "
    "exportação geraria %s. Reduza o período da AF ou da solicitação de compras, as filiais "
    "agregadas ou o filtro de produtos e exporte novamente.";

// Shown as the screen closes, before it withdraws an export no HotSync has taken: the Palm's
// HotSync user and the number of entries.
inline constexpr std::string_view kMsgWithdrawnOnClose =
    "A exportação para o Palm %s ainda não foi transferida pelo HotSync. Ao fechar a tela, "
    "os %s arquivos dela serão retirados da fila de instalação.";

// Shown when the window of the screen is to close while an export runs.
inline constexpr std::string_view kMsgWaitForExport =
    "Exportação em andamento. Aguarde o seu término para fechar a tela.";

}  // namespace kve
