#pragma once
// The host's values that the maker's utility unit hands out: current branch, logged-in
// operator and the application-server endpoint. Each reads the installed maker::Services
// (config.h) and throws kve::Error when none are installed.

#include <string>

namespace kve::Corvane {

std::string FiliProc();  // code of the branch the host works for
std::string Operador();  // code of the operator logged in to the host
std::string WebURL();    // application-server address
int WebPort();           // application-server port

}  // namespace kve::Corvane
