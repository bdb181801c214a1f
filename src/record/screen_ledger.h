#pragma once
// The export ledger of the screen in the host application: each press of Export is recorded
// as kve-export records its runs (the same entry, the same kept copy, in the data folder of
// the host's configuration), once the operator has seen how it ended. The ledger never
// touches the export: a ledger or a copy that cannot be written goes to the log.

#include <functional>
#include <string_view>

#include "record/hashing_fs.h"
#include "record/export_options.h"
#include "platform/maker/config.h"
#include "screen/frm_exp_dados.h"

namespace kve::record {

// The parameters on the screen, as kve-export's options give them.
ExportOptions OptionsOnScreen(const TfrmExpDados& screen);

// What the host sets as ExpDadosServices::exportEnded: records each export in the ledger of
// `config.data_dir`, reading its files back through the screen's file system. `log` takes what
// went wrong recording it. `written`, when given, is the file system the screen writes
// through (its services' files): the hashes it worked out are taken.
std::function<void(TfrmExpDados&, const ExportEnd&)> ScreenLedger(
    maker::HostConfig config, std::function<void(std::string_view line)> log,
    HashingFileSystem* written = nullptr);

}  // namespace kve::record
