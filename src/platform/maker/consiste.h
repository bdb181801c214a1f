#pragma once
// Validation helpers the screen's checks share: the error display that abandons the running
// event, the emptiness test of a field's text, and the widening of a typed code.

#include <string>
#include <string_view>

#include "platform/ui/dialogs.h"

namespace kve::Consiste {

// Shows `text` in the error box. With `abort` it then raises EAbort, which ends the running
// event silently (every clean-up on the way runs, and no second message is shown); without it
// it returns normally.
void MensErro(Dialogs& dialogs, std::string_view text, bool abort);

// True when the text holds nothing but blanks, or nothing but blanks and the date separators
// an empty date edit shows ("  /  /    "): a masked or date edit with nothing typed is empty.
bool EmptyString(std::string_view text);

// The code brought to the full width of its column: surrounding blanks dropped, then zeros
// added on the left ("7" -> "007" for width 3), so a typed code and the stored code of the
// same row compare equal. A text already as wide or wider, or empty, comes back trimmed and
// otherwise unchanged.
std::string Ajusta(std::string_view code, int width);

}  // namespace kve::Consiste
