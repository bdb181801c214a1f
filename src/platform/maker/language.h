#pragma once
// The host's interface language: "POR", "ESP", "ING" or another code the host knows.

#include <string>

namespace kve::Trad_utl {

std::string RetornaIdioma();

}  // namespace kve::Trad_utl
