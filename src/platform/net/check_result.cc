#include "platform/net/check_result.h"

#include "platform/common/error.h"
#include "platform/dataset/dataset.h"

namespace Consiste {

std::string CheckResultServ(const kve::RemoteValue& answer, bool raiseError, int /*code*/) {
  if (answer.isText()) {
    if (!raiseError) return {};
    const auto& text = std::get<std::string>(answer.value);
    throw kve::Error(text.empty() ? "the application server failed without a message" : text);
  }
  if (!answer.isPacket)
    throw kve::FormatError("application server answered a list of tables where one was expected");
  return std::get<std::string>(answer.value);
}

}  // namespace Consiste

namespace kve {

void LoadTableImages(const RemoteValue& answer, std::span<TClientDataSet* const> slots) {
  if (answer.isText()) {
    const auto& text = std::get<std::string>(answer.value);
    throw Error(text.empty() ? "the application server failed without a message" : text);
  }
  const auto* images = std::get_if<std::vector<std::string>>(&answer.value);
  if (images == nullptr)
    throw FormatError("GetTabelas: slot 0: answer holds one table, not a list of tables");
  for (size_t i = 0; i < slots.size(); ++i) {
    const std::string name = slots[i]->Name().empty() ? "" : " (" + slots[i]->Name() + ")";
    if (i >= images->size())
      throw FormatError("GetTabelas: slot " + std::to_string(i) + name + ": missing, answer has " +
                        std::to_string(images->size()) + " tables");
    try {
      slots[i]->SetData((*images)[i]);
    } catch (const Error& e) {
      throw FormatError("GetTabelas: slot " + std::to_string(i) + name + ": " + e.what());
    }
  }
}

}  // namespace kve
