#pragma once
// The demo workstation of the central kitchen "0001", laid out in one folder as a real site
// would be: its configuration file, the registry file with the Palm base folder
// ("PALMDir") and the installation folder ("UninstallPath"), drive C: with the Palm export
// folders and application files and the eeePC client files, the HotSync queue root with the
// user "Palm 01", and the eeePC "NOTE-KITCHEN-01" with its shared folder "Orvanta Web".

#include <filesystem>
#include <string>

namespace kve::demo {

struct DemoSiteOptions {
  std::filesystem::path folder;  // replaced as a whole
  std::string databaseUrl;       // the host database, "sqlite:FILE" or "postgresql://..."
  std::string serverHost = "127.0.0.1";
  int serverPort = 8211;
};

// The HotSync user of Palm "001" and the computer name of eeePC "002" in the demo data.
inline constexpr const char* kDemoHotSyncUser = "Palm 01";
inline constexpr const char* kDemoEeepc = "NOTE-KITCHEN-01";

// Writes the site, removing whatever the folder held, and returns the configuration file.
// A relative "sqlite:" database path is taken from the working folder (and written relative to
// the site's folder, so the site can move with its database). Raises
// std::filesystem::filesystem_error when a file cannot be written.
std::filesystem::path WriteDemoSite(const DemoSiteOptions& options);

}  // namespace kve::demo
