#pragma once
// What the screen does with an answer of the application server before loading it.

#include <span>
#include <string>

#include "platform/net/connection.h"

namespace kve {
class TClientDataSet;
}

namespace Consiste {

// Returns the table image of `answer`, ready for TClientDataSet::SetData. A text answer is the
// server's own error: with `raiseError` (every caller passes true) it is raised as kve::Error
// carrying that text; without, an empty packet is returned. An array answer is not one packet
// and raises kve::FormatError. `code` is the caller's context number; it is passed through for
// the error display and has no effect here.
std::string CheckResultServ(const kve::RemoteValue& answer, bool raiseError, int code);

}  // namespace Consiste

namespace kve {

// Loads the answer of GetTabelas into `slots` (element i into slots[i]). A text answer fails
// with that text; an answer with fewer images than slots, or an image that does not load,
// fails naming the slot and the dataset. A null slot's image is not loaded.
void LoadTableImages(const RemoteValue& answer, std::span<TClientDataSet* const> slots);
// The same, taking the images over and releasing each as soon as its table is loaded, so a
// large reply and the tables it fills are never both whole in memory.
void LoadTableImages(RemoteValue&& answer, std::span<TClientDataSet* const> slots);

}  // namespace kve
