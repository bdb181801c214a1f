#pragma once
#include <string>

// Asks a running application server for the 26 export tables of the demo central kitchen,
// writes each as the Palm XML file and the eeePC binary file the export will write, turns the
// XML files into Palm databases, and prints one line per table. Returns the process status.
int RunServerRound(const std::string& endpoint, const std::string& outDir);
