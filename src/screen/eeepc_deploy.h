#pragma once
// The eeePC's deployment before its export: the shared folder, the client program and its
// runtime files pushed when newer, and the export folder on the eeePC.

#include <string>

#include "platform/fs/file_system.h"
#include "platform/registry/registry.h"
#include "screen/export_run_view.h"

namespace kve {

// Deploys to the eeePC named `name` (its computer name) and returns its export folder, ending
// with a backslash. First the share is checked (eeepc::CheckEpcShare); then the operator is
// told to close the eeePC's programs, with the wait animation paused. A failure shows its
// message and abandons the running operation (EAbort); folders created before it stay.
std::string DeployEeepc(FileSystem& files, Registry& registry, ExportRunView& view, const std::string& name);

}  // namespace kve
