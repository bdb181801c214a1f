#include "batch/progress_view.h"

namespace kve::batch {
namespace {

constexpr int kCells = 30;
// The export's wait animation; 0 is the connection's.
constexpr int kExportAnimation = 6;

}  // namespace

ProgressView::ProgressView(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}

void ProgressView::Follow(const TProgressBar& bar, const TControl& status) {
  bar_ = &bar;
  status_ = &status;
}

ProgressView::~ProgressView() { Finish(); }

void ProgressView::ShowWaitAnimation(int kind) {
  if (kind == kExportAnimation && !runStarted_) {
    runStarted_ = true;
    Finish();
    out_ << "exporting...\n" << std::flush;
  }
}

// The run stops its animation before it shows its closing message: what it filled is told
// first.
void ProgressView::HideWaitAnimation() {
  FlushFilled();
  out_ << std::flush;
}

void ProgressView::FlushFilled() {
  if (filledBars_ == 0) return;
  out_ << "progress: " << filledBars_ << (filledBars_ == 1 ? " bar" : " bars") << " filled, "
       << filledSteps_ << " steps\n";
  filledBars_ = 0;
  filledSteps_ = 0;
}

void ProgressView::Finish() {
  FlushFilled();
  out_ << std::flush;
  if (lineOpen_) out_ << '\n' << std::flush;
  lineOpen_ = false;
  drawnCells_ = drawnPercent_ = -1;
}

void ProgressView::ControlChanged(TControl& control) {
  if (bar_ && (&control == bar_ || &control == status_)) Draw();
}

void ProgressView::Draw() {
  int span = bar_->Max() - bar_->Min();
  int done = bar_->Position() - bar_->Min();
  int percent = span > 0 ? done * 100 / span : 0;
  const std::string& status = status_->Caption();
  if (!terminal_) {
    if (status != lastStatus_ && !status.empty()) {
      FlushFilled();
      out_ << "status: " << status << '\n';
    }
    lastStatus_ = status;
    bool full = span > 0 && done == span;
    if (full && !lastFull_) {
      ++filledBars_;
      filledSteps_ += span;
    }
    lastFull_ = full;
    out_ << std::flush;
    return;
  }
  int cells = span > 0 ? done * kCells / span : 0;
  if (cells == drawnCells_ && percent == drawnPercent_ && status == drawnStatus_) return;
  drawnCells_ = cells;
  drawnPercent_ = percent;
  drawnStatus_ = status;
  // \r and erase-to-end redraw the same line.
  out_ << "\r[" << std::string(cells, '#') << std::string(kCells - cells, '-') << "] "
       << (percent < 10 ? "  " : percent < 100 ? " " : "") << percent << "% " << status << "\x1b[K"
       << std::flush;
  lineOpen_ = true;
}

}  // namespace kve::batch
