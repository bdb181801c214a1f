// Placeholder until the packet readers and writers land: the in-memory table builds alone.
#include "platform/common/error.h"
#include "platform/dataset/dataset.h"

namespace kve {
void TClientDataSet::SetData(std::string_view) { throw Error("data packets not built yet"); }
std::string TClientDataSet::Data() const { throw Error("data packets not built yet"); }
void TClientDataSet::LoadFromFile(const std::filesystem::path&) { throw Error("data packets not built yet"); }
void TClientDataSet::SaveToFile(const std::filesystem::path&, DataPacketFormat) const {
  throw Error("data packets not built yet");
}
}  // namespace kve
