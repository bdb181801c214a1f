#pragma once
// The export run off the user-interface thread: the window repaints, the wait animation runs
// and the operator's clicks are answered while the server is asked and the files written.
//
// The run gets a view of its own whose every call is carried to the user-interface thread and
// made there on the screen's view: progress and status lines, message boxes (the run's thread
// waits for the answer, the window does not), the wait animation. Progress steps, one per
// record, travel in batches in their place among the other calls. Meanwhile the calling
// thread serves its event loop until the run has ended.

#include <functional>

#include "screen/export_run_view.h"

class QObject;

namespace kve::qt {

// Runs `body` on a thread of its own while the calling thread serves its events; returns
// when `body` has ended, raising what it raised.
void RunOffGuiThread(const std::function<void()>& body);

// Runs `body` on a thread of its own with a view that shows through `screenView` on the
// thread of `gui` (the calling thread, which serves its events meanwhile); returns when
// `body` has ended, raising what it raised.
void RunExportOffGuiThread(QObject& gui, ExportRunView& screenView,
                           const std::function<void(ExportRunView& runView)>& body);

}  // namespace kve::qt
