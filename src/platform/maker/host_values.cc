#include "platform/maker/host_values.h"

#include "platform/maker/config.h"

namespace kve::Corvane {

std::string FiliProc() { return maker::CurrentServices().Config().branch; }
std::string Operador() { return maker::CurrentServices().Config().operator_code; }
std::string WebURL() { return maker::CurrentServices().Config().server_host; }
int WebPort() { return maker::CurrentServices().Config().server_port; }

}  // namespace kve::Corvane
