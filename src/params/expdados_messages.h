#pragma once
// The export screen's own message catalogue: 53 lines "KEY|text", in stored order.

#include <string>
#include <vector>

namespace kve {

const std::vector<std::string>& ExpDadosMessageLines();

}  // namespace kve
