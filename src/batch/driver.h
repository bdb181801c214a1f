#pragma once
// The batch face of the export screen: opens the screen on the given services, fills its
// controls as an operator would (typing each field and leaving it through the form's focus,
// so every exit rule runs), presses Export and tells how it ended. It holds no rule of its
// own: every check and every message is the screen's.

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "batch/options.h"
#include "batch/progress_view.h"
#include "record/summary.h"
#include "batch/terminal_dialogs.h"
#include "screen/frm_exp_dados.h"

namespace kve::batch {

// The install-queue entries of a HotSync user, for the summary.
using QueueLister = std::function<std::vector<std::string>(const std::string& user)>;

// `services` must carry `dialogs` and `progress` as its dialogs and busy view. The screen is
// not closed afterwards: its close step withdraws the export's files from the HotSync queues,
// and the Palm has yet to fetch them. Each file the run wrote is shown to `keep` with its
// bytes as the summary reads it back.
record::Summary RunExport(const ExportOptions& options, ExpDadosServices& services,
                  TerminalDialogs& dialogs, ProgressView& progress,
                  const QueueLister& queueOf = {}, const record::FileVisitor& keep = {});

}  // namespace kve::batch
