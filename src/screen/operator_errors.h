#pragma once
// What the operator is told of a failure the screen did not word for them: the application
// server gone or refusing, a disk full, a right lacking, a share or folder missing, a table
// too large for a Palm. The text is chosen by the error's kind and says what to do; the
// technical detail (the error's own text, with the path, address or call) is for the log.
// Both faces of the screen, the window and kve-export, show the same text.

#include <exception>
#include <string>

namespace kve {

// The Portuguese text for `e`. An error already worded for the operator (a check of the
// screen, a malformed date) is shown as it is.
std::string OperatorErrorText(const std::exception& e);

// Whether OperatorErrorText replaces the error's own text, so its detail belongs in the log.
bool HasOperatorText(const std::exception& e);

}  // namespace kve
