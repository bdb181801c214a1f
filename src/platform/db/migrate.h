#pragma once
// The schema of the host and server databases, applied step by step. Each step is a script
// of db/schema, compiled into the program; table KVEMIGRACAO records the steps applied, so
// migrating an up-to-date database does nothing.

#include <string>
#include <string_view>
#include <vector>

#include "platform/db/database.h"

namespace kve {

// Applies the steps the database lacks, in order, each in its own transaction; returns how
// many ran. A failing step is rolled back and raises Error naming the script; the steps
// before it stay applied.
int MigrateDatabase(Database& db);

// The newest step's number: what a fully migrated database records as its highest version.
int LatestSchemaVersion();

// The highest step the database records as applied; 0 when it has no schema of ours at all.
// Raises Error when the database cannot be read (a file that is not a database).
int AppliedSchemaVersion(Database& db);

namespace db_internal {

struct SchemaScript {
  std::string_view file;  // "0002_server.sql", "0003_histpalm.sqlite.sql"
  std::string_view text;
};
// Every script of db/schema in file-name order (generated at build time).
const std::vector<SchemaScript>& EmbeddedScripts();

struct MigrationStep {
  int version = 0;
  std::string file;
  std::string_view text;
};
// The steps for one dialect: per number the dialect's own script, else the common one.
// Raises Error when a number has two candidates of the same kind or a file name is
// malformed.
std::vector<MigrationStep> StepsFor(std::string_view dialect, const std::vector<SchemaScript>& scripts);

}  // namespace db_internal
}  // namespace kve
