#include "platform/maker/language.h"

#include "platform/maker/config.h"

namespace kve::Trad_utl {

std::string RetornaIdioma() { return maker::CurrentServices().Config().language; }

}  // namespace kve::Trad_utl
