#pragma once
// The export screen's own message catalogue: 53 lines "KEY|text", in stored order.

#include <string>
#include <string_view>
#include <vector>

namespace kve {

const std::vector<std::string>& ExpDadosMessageLines();

// Texts of our own beside the catalogue: no key of it, never looked up by one.

// Shown as the screen closes, before it withdraws an export no HotSync has taken: the Palm's
// HotSync user and the number of entries.
inline constexpr std::string_view kMsgWithdrawnOnClose =
    "A exportação para o Palm %s ainda não foi transferida pelo HotSync. Ao fechar a tela, "
    "os %s arquivos dela serão retirados da fila de instalação.";

}  // namespace kve
