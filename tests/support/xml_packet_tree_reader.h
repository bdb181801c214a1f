#pragma once
// The XML data packet read through a general XML parser's document tree: a reference reader,
// for checking that ReadXmlPacket reads every packet the same way.

#include <string>

#include "platform/dataset/dataset.h"

namespace kve {

// As ReadXmlPacket: `buffer` is parsed in place; a FormatError says what is wrong.
void ReadXmlPacketByTree(std::string& buffer, TClientDataSet& into);

}  // namespace kve
