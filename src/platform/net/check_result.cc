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

namespace {

const std::vector<std::string>& Images(const RemoteValue& answer) {
  if (answer.isText()) {
    const auto& text = std::get<std::string>(answer.value);
    throw Error(text.empty() ? "the application server failed without a message" : text);
  }
  const auto* images = std::get_if<std::vector<std::string>>(&answer.value);
  if (images == nullptr)
    throw FormatError("GetTabelas: slot 0: answer holds one table, not a list of tables");
  return *images;
}

void LoadSlot(const std::vector<std::string>& images, size_t i, TClientDataSet& ds) {
  const std::string name = ds.Name().empty() ? "" : " (" + ds.Name() + ")";
  if (i >= images.size())
    throw FormatError("GetTabelas: slot " + std::to_string(i) + name + ": missing, answer has " +
                      std::to_string(images.size()) + " tables");
  try {
    ds.SetData(images[i]);
  } catch (const Error& e) {
    throw FormatError("GetTabelas: slot " + std::to_string(i) + name + ": " + e.what());
  }
}

}  // namespace

void LoadTableImages(const RemoteValue& answer, std::span<TClientDataSet* const> slots) {
  const std::vector<std::string>& images = Images(answer);
  for (size_t i = 0; i < slots.size(); ++i)
    if (slots[i]) LoadSlot(images, i, *slots[i]);
}

void LoadTableImages(RemoteValue&& answer, std::span<TClientDataSet* const> slots) {
  auto& images = const_cast<std::vector<std::string>&>(Images(answer));
  for (size_t i = 0; i < slots.size(); ++i) {
    if (!slots[i]) continue;
    LoadSlot(images, i, *slots[i]);
    std::string().swap(images[i]);
  }
}

}  // namespace kve
